#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "gateway/HttpRefusal.h"

struct HttpConnection;

// How long a client may take and how much it may hold.
struct HttpFrontLimits {
    std::chrono::milliseconds header{10'000};  // from its first byte (or the TLS handshake's)
    std::chrono::milliseconds body{30'000};    // from the end of the head to the last byte read
    std::chrono::milliseconds idle{5'000};     // between requests on a kept connection
    std::chrono::milliseconds write{10'000};   // for each wait of a write on a full socket
    size_t maxHead = 16 * 1024;                // request line and headers; over it, 431
    size_t perClient = 64;                     // connections of one client address
    size_t total = 8192;                       // connections in all
    size_t workers = 32;                       // requests answered at once
};

// The HTTP server with a front stage: a connection waits in one poller thread, not in a worker,
// until its request's head has come whole (and, over TLS, its handshake is done), and again
// between the requests of a kept connection; only then does a worker read the body and answer.
// So clients that send slowly, or not at all, cost a descriptor and a few bytes each but never
// the threads that answer the others.
class CHttpFront : public httplib::Server {
public:
    // `tls`: serve HTTPS with this context (kept by the caller); null: plain HTTP.
    explicit CHttpFront(HttpFrontLimits limits = {}, SSL_CTX* tls = nullptr);
    ~CHttpFront() override;

    // Lets a burst of clients wait in the kernel's queue rather than be dropped; after a bind.
    void WidenBacklog();
    // Told of each connection turned away or cut off, with whether it is the first time for
    // this client address and reason (from the server's threads).
    using RefusedHandler =
        std::function<void(const std::string& client, HttpRefusal why, bool first)>;
    void OnRefused(RefusedHandler refused);
    // Connections open now, waiting or being answered.
    size_t Open() const;

    // Answers the one request read from `stream` on this thread, as a worker does; false when
    // the connection is to be closed. For tests and fuzzing.
    bool Serve(httplib::Stream& stream);

private:
    class CRun;
    using ConnectionPtr = std::shared_ptr<HttpConnection>;
    enum class Progress { kWaiting, kHead, kClosed, kTooLarge };

    bool process_and_close_socket(socket_t socket) override;

    void Begin();
    void End();
    void PollLoop();
    // Reads what has come without waiting: the handshake, then the head.
    Progress Advance(HttpConnection& connection) const;
    void HandOver(const ConnectionPtr& connection);  // to the poller
    void Answer(ConnectionPtr connection);           // on a worker
    void Forget(const HttpConnection& connection);
    // Answers 431, then reads on and lets go of what the client still sends, for a while, so that
    // its answer is not lost to a reset.
    void RefuseHead(HttpConnection& connection);
    // False when the connection is to be closed.
    static bool Drain(HttpConnection& connection);
    void Refuse(const std::string& client, HttpRefusal why);

    const HttpFrontLimits m_limits;
    SSL_CTX* m_tls;
    RefusedHandler m_refused;
    // When the poller is to give freed memory back (ticks of the steady clock; 0: not due), a
    // while after the last large request.
    std::atomic<int64_t> m_releaseAt{0};
    std::atomic<bool> m_bStopping{false};

    mutable std::mutex m_mutex;                            // guards what follows
    std::map<std::string, size_t> m_clients;               // open connections by address
    std::set<int> m_open;                                  // every open socket, shut at the end
    std::set<std::pair<std::string, HttpRefusal>> m_told;  // already reported
    std::vector<ConnectionPtr> m_arrived;                  // for the poller

    int m_nEpoll = -1;
    int m_nWake = -1;  // an eventfd that wakes the poller
    std::thread m_poller;
    std::unique_ptr<httplib::ThreadPool> m_workers;
};
