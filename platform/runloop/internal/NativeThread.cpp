#include "platform/runloop/internal/NativeThread.h"

#include <memory>

namespace murmelo::internal {

namespace {
struct Start {
    std::string name;
    UniqueFunction<void()> body;
};

void* trampoline(void* argument) {
    std::unique_ptr<Start> start(static_cast<Start*>(argument));
    pthread_setname_np(pthread_self(), start->name.c_str());
    start->body();
    return nullptr;
}
} // namespace

NativeThread::~NativeThread() {
    join();
}

NativeThread::NativeThread(NativeThread&& other) noexcept
    : m_handle(other.m_handle), m_joinable(other.m_joinable) {
    other.m_joinable = false;
}

NativeThread& NativeThread::operator=(NativeThread&& other) noexcept {
    if (this != &other) {
        join();
        m_handle = other.m_handle;
        m_joinable = other.m_joinable;
        other.m_joinable = false;
    }
    return *this;
}

Result<NativeThread> NativeThread::spawn(const std::string& name, UniqueFunction<void()> body) {
    auto start = std::make_unique<Start>(Start{name.substr(0, 15), std::move(body)});
    NativeThread thread;
    int rc = pthread_create(&thread.m_handle, nullptr, trampoline, start.get());
    if (rc != 0) {
        return Error::posix(rc, "pthread_create");
    }
    start.release(); // the thread owns it now
    thread.m_joinable = true;
    return thread;
}

void NativeThread::join() {
    if (m_joinable) {
        pthread_join(m_handle, nullptr);
        m_joinable = false;
    }
}

} // namespace murmelo::internal
