// CurlMulti: a libcurl multi handle whose sockets and timer are run-loop
// sources of the calling thread, in the modes of the one transfer that uses
// it at a time. libcurl's timer is a timerfd on the real monotonic clock, not
// a run-loop Timer: libcurl measures its own deadlines in real time, so its
// wake-ups must not follow a test's manual clock (a request's own time-out,
// in URLConnection, does). The one exception is a deadline of 0 ("act at
// once", asked for by every new transfer): a zero-delay run-loop Timer is
// due under either clock and saves programming a kernel timer. Each thread keeps a few idle multi
// handles, and with them their open connections, so a later transfer on the
// same thread reuses a kept-alive connection.
//
// Threading: one thread — the one whose pool it came from. Owned by a
// unique_ptr: the transfer holds it while running and gives it back with
// release(). Never calls its client from inside libcurl; after the client
// call it touches nothing, so the client may release or destroy it there.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/runloop/FdSource.h"
#include "platform/runloop/RunLoopModes.h"
#include "platform/runloop/Timer.h"

typedef void CURLM;
struct curl_slist;

namespace murmelo::internal {

class CurlMulti {
public:
    class Client {
    public:
        // libcurl made progress; read its messages.
        virtual void curlActivity() = 0;

    protected:
        ~Client() = default;
    };

    // An idle multi handle of this thread, or a new one; null when libcurl
    // cannot make one.
    static std::unique_ptr<CurlMulti> acquire();
    // Gives an idle handle back to this thread's pool (or frees it when the
    // pool is full). REQUIRES: no easy handle attached, detach() called.
    static void release(std::unique_ptr<CurlMulti> multi);

    ~CurlMulti();
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;

    CURLM* handle() const { return m_multi; }
    // Routes socket and timer events to `client`, in `modes`.
    void attach(Client* client, const RunLoopModes& modes);
    void detach();
    enum class EasyOrigin { New, Reused };
    struct Easy {
        void* handle = nullptr; // null when libcurl cannot make one
        EasyOrigin origin = EasyOrigin::New;
    };
    // An easy handle for the next transfer: the one a finished transfer gave
    // back, with the options that transfer set still set (not reset: the
    // transport sets again each option that differs between transfers, and
    // a reset would free and re-allocate libcurl's buffers every time), or a
    // new one.
    Easy takeEasy();
    // The libcurl header list of the last transfer when it was made from the
    // same header fields (the app sends the same few over and over), or
    // null; keepHeaderList() stores a new one, owned here from then on.
    using HeaderLines = std::vector<std::pair<std::string, std::string>>;
    curl_slist* headerListFor(const HeaderLines& fields) const;
    curl_slist* keepHeaderList(HeaderLines fields, curl_slist* list);
    // Takes back a handle no longer attached to any multi handle. One whose
    // transfer failed or was cut short is reset to libcurl's defaults
    // (`Reset`): nothing of an interrupted transfer may carry over.
    enum class EasyReuse { AsIs, Reset };
    void giveBackEasy(void* easy, EasyReuse reuse);

private:
    CurlMulti();
    static int socketCallback(void* easy, int socket, int what, void* userp, void* socketp);
    static int timerCallback(CURLM* multi, long timeoutMs, void* userp);
    void onSocket(int socket, FdEvents events);
    void onTimer();
    void disarmTimer();

    CURLM* m_multi = nullptr;
    Client* m_client = nullptr;
    RunLoopModes m_modes{RunLoop::kDefaultMode};
    std::unordered_map<int, FdSource> m_sockets;
    int m_timerFd = -1; // timerfd, one-shot, armed while libcurl waits for a deadline
    bool m_timerArmed = false;
    FdSource m_timerSource;
    Timer m_runNow; // a deadline of 0: due at once, no timerfd needed
    void* m_spareEasy = nullptr;
    EasyOrigin m_spareOrigin = EasyOrigin::New;
    HeaderLines m_headerFields;
    curl_slist* m_headerList = nullptr;
};

} // namespace murmelo::internal
