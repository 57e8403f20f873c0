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
    // Told each client address the first time it is turned away for holding too many
    // connections (from the accepting thread).
    void OnRefused(std::function<void(const std::string& client)> refused);
    uint64_t Refused() const { return m_nRefused; }
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
    static void RefuseHead(HttpConnection& connection);

    const HttpFrontLimits m_limits;
    SSL_CTX* m_tls;
    std::function<void(const std::string&)> m_refused;
    std::atomic<uint64_t> m_nRefused{0};
    std::atomic<bool> m_bStopping{false};

    mutable std::mutex m_mutex;               // guards what follows
    std::map<std::string, size_t> m_clients;  // open connections by address
    std::set<int> m_open;                     // every open socket, shut at the end
    std::set<std::string> m_told;             // addresses already reported refused
    std::vector<ConnectionPtr> m_arrived;     // for the poller

    int m_nEpoll = -1;
    int m_nWake = -1;  // an eventfd that wakes the poller
    std::thread m_poller;
    std::unique_ptr<httplib::ThreadPool> m_workers;
};
