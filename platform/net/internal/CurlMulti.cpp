#include "platform/net/internal/CurlMulti.h"

#include <curl/curl.h>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/core/Log.h"

namespace murmelo::internal {

namespace {

constexpr std::size_t kIdlePerThread = 4;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            logLine("Transport: libcurl could not be initialised");
        }
    });
}

// The idle handles of the calling thread; freed with the thread.
struct IdlePool {
    std::vector<std::unique_ptr<CurlMulti>> handles;
};
thread_local IdlePool t_idle;

} // namespace

CurlMulti::CurlMulti() {
    initialiseCurlOnce();
    m_timerFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (m_timerFd < 0) {
        return; // acquire() sees no multi handle and gives nothing
    }
    m_multi = curl_multi_init();
    if (!m_multi) {
        return;
    }
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::socketCallback);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::timerCallback);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

CurlMulti::~CurlMulti() {
    m_client = nullptr;
    if (m_spareEasy) {
        curl_easy_cleanup(m_spareEasy);
    }
    if (m_multi) {
        // Closing kept-alive connections may report their sockets once more;
        // with no client those reports only drop registrations.
        curl_multi_cleanup(m_multi);
    }
    curl_slist_free_all(m_headerList);
    m_sockets.clear();
    m_runNow.invalidate();
    m_timerSource.invalidate();
    if (m_timerFd >= 0) {
        ::close(m_timerFd);
    }
}

std::unique_ptr<CurlMulti> CurlMulti::acquire() {
    auto& idle = t_idle.handles;
    if (!idle.empty()) {
        auto multi = std::move(idle.back());
        idle.pop_back();
        return multi;
    }
    std::unique_ptr<CurlMulti> multi(new CurlMulti());
    if (!multi->m_multi) {
        return nullptr;
    }
    return multi;
}

void CurlMulti::release(std::unique_ptr<CurlMulti> multi) {
    if (!multi) {
        return;
    }
    multi->detach();
    auto& idle = t_idle.handles;
    if (idle.size() < kIdlePerThread) {
        idle.push_back(std::move(multi));
    }
}

void CurlMulti::attach(Client* client, const RunLoopModes& modes) {
    m_client = client;
    m_modes = modes;
}

void CurlMulti::detach() {
    m_client = nullptr;
    m_sockets.clear();
    disarmTimer();
}

CurlMulti::Easy CurlMulti::takeEasy() {
    if (void* easy = m_spareEasy) {
        m_spareEasy = nullptr;
        return {easy, m_spareOrigin};
    }
    return {curl_easy_init(), EasyOrigin::New};
}

void CurlMulti::giveBackEasy(void* easy, EasyReuse reuse) {
    if (!easy) {
        return;
    }
    if (m_spareEasy) {
        curl_easy_cleanup(easy);
        return;
    }
    if (reuse == EasyReuse::Reset) {
        curl_easy_reset(easy);
    }
    m_spareEasy = easy;
    m_spareOrigin = reuse == EasyReuse::Reset ? EasyOrigin::New : EasyOrigin::Reused;
}

curl_slist* CurlMulti::headerListFor(const HeaderLines& fields) const {
    return m_headerList && fields == m_headerFields ? m_headerList : nullptr;
}

curl_slist* CurlMulti::keepHeaderList(HeaderLines fields, curl_slist* list) {
    curl_slist_free_all(m_headerList);
    m_headerFields = std::move(fields);
    m_headerList = list;
    return list;
}

int CurlMulti::socketCallback(void*, int socket, int what, void* userp, void*) {
    auto* self = static_cast<CurlMulti*>(userp);
    if (what == CURL_POLL_REMOVE || !self->m_client) {
        // Unwatch before libcurl closes the descriptor.
        self->m_sockets.erase(socket);
        return 0;
    }
    FdEvents interest = FdEvents::None;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) {
        interest |= FdEvents::Readable;
    }
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) {
        interest |= FdEvents::Writable;
    }
    auto found = self->m_sockets.find(socket);
    if (found != self->m_sockets.end() && found->second.isValid()) {
        found->second.setInterest(interest);
        return 0;
    }
    if (found != self->m_sockets.end()) {
        self->m_sockets.erase(found);
    }
    self->m_sockets.emplace(socket, FdSource(
                                        socket, interest,
                                        [self, socket](FdEvents events) { self->onSocket(socket, events); },
                                        self->m_modes));
    return 0;
}

int CurlMulti::timerCallback(CURLM*, long timeoutMs, void* userp) {
    auto* self = static_cast<CurlMulti*>(userp);
    self->disarmTimer();
    if (timeoutMs < 0 || !self->m_client) {
        return 0;
    }
    // libcurl must not be called back from here; the timer fires from the loop.
    if (timeoutMs == 0) {
        // "At once" is asked for at the start of every transfer. A zero-delay
        // run-loop timer is due under any clock and costs no kernel timer to
        // program and cancel.
        self->m_runNow = Timer(
            0, Timer::Repeats::No, [self] { self->onTimer(); }, self->m_modes);
        return 0;
    }
    itimerspec due{};
    due.it_value.tv_sec = timeoutMs / 1000;
    due.it_value.tv_nsec = timeoutMs % 1000 * 1000000;
    if (timerfd_settime(self->m_timerFd, 0, &due, nullptr) != 0) {
        logLine("HTTP transport: cannot arm libcurl's timer (errno %d)", errno);
        return -1;
    }
    self->m_timerArmed = true;
    self->m_timerSource = FdSource(
        self->m_timerFd, FdEvents::Readable,
        [self](FdEvents) {
            std::uint64_t expirations = 0;
            (void)::read(self->m_timerFd, &expirations, sizeof expirations);
            self->m_timerArmed = false;
            self->m_timerSource.invalidate();
            self->onTimer();
        },
        self->m_modes);
    return 0;
}

void CurlMulti::disarmTimer() {
    m_runNow.invalidate();
    m_timerSource.invalidate();
    if (m_timerArmed && m_timerFd >= 0) {
        itimerspec off{};
        (void)timerfd_settime(m_timerFd, 0, &off, nullptr);
    }
    m_timerArmed = false;
}

void CurlMulti::onSocket(int socket, FdEvents events) {
    int mask = 0;
    if (any(events & FdEvents::Readable)) {
        mask |= CURL_CSELECT_IN;
    }
    if (any(events & FdEvents::Writable)) {
        mask |= CURL_CSELECT_OUT;
    }
    if (any(events & (FdEvents::Error | FdEvents::Hangup))) {
        mask |= CURL_CSELECT_ERR;
    }
    int running = 0;
    curl_multi_socket_action(m_multi, socket, mask, &running);
    if (Client* client = m_client) {
        client->curlActivity(); // may release or destroy this handle: nothing after it
    }
}

void CurlMulti::onTimer() {
    int running = 0;
    curl_multi_socket_action(m_multi, CURL_SOCKET_TIMEOUT, 0, &running);
    if (Client* client = m_client) {
        client->curlActivity(); // may release or destroy this handle: nothing after it
    }
}

} // namespace murmelo::internal
