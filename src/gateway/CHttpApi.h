#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gateway/AccessRoles.h"

namespace httplib {
class Stream;
struct Request;
struct Response;
}  // namespace httplib

class CGatewayCore;
class CDashboard;
class CHttpFront;
class CTlsContext;

// Wrong tokens by client address: after ten in a minute, that address is refused for the rest of
// the minute, so that a token cannot be guessed at the speed of the network.
class CTokenGuesses {
public:
    bool Allowed(const std::string& client);
    void Failed(const std::string& client);

    static constexpr size_t kMaxFailures = 10;
    static constexpr std::chrono::seconds kWindow{60};
    static constexpr size_t kMaxClients = 4096;

private:
    std::mutex m_mutex;
    std::map<std::string, std::deque<std::chrono::steady_clock::time_point>> m_failures;
};

// The gateway's HTTP server: the API's routes and the signs page, served on threads of its own;
// what a request asks of the gateway runs on the gateway's thread, the request waiting for it.
// Here: listening (HTTPS when the configuration names a certificate), the token, stopping.
class CHttpApi {
public:
    // Throws CGatewayConfigError when the configuration's certificate cannot be served.
    explicit CHttpApi(CGatewayCore& core);
    ~CHttpApi();
    CHttpApi(const CHttpApi&) = delete;
    CHttpApi& operator=(const CHttpApi&) = delete;

    // Binds the configured address (port 0: any free one) and serves from then on. False with
    // the reason when the address cannot be had.
    bool Listen(std::string& error);
    uint16_t Port() const { return m_nPort; }
    bool Secure() const { return m_tls != nullptr; }
    // Connections open now (the slow ones too).
    size_t OpenConnections() const;
    // Answers one request read from `stream` on this thread as if a client had sent it; false
    // when its connection would be closed. For fuzzing.
    bool Serve(httplib::Stream& stream);
    // Stops serving; the gateway's thread keeps handling what requests still wait for. False
    // when a client still held a thread of the server after `wait` (a slow one, sending a byte at
    // a time): the server's threads then end with the process.
    bool Stop(std::chrono::milliseconds wait = std::chrono::hours(1));

private:
    void SetUp();
    // Whether the request may go on: its Host this gateway's, its token's role the one its route
    // needs, a write's Origin and type right. The answer is made when it may not.
    bool Admit(const httplib::Request& request, httplib::Response& response) const;
    bool KnownHost(const std::string& host) const;
    // GET /api/session: the role of the token given, and with it the page's pass for reading.
    void Session(const httplib::Request& request, httplib::Response& response) const;

    CGatewayCore& m_core;
    std::unique_ptr<CTlsContext> m_tls;  // null: plain HTTP
    std::unique_ptr<CHttpFront> m_server;
    std::unique_ptr<CDashboard> m_dashboard;  // the live page and its event streams
    std::thread m_thread;
    std::atomic<bool> m_bServing{false};
    uint16_t m_nPort = 0;
    mutable CTokenGuesses m_guesses;
    CReadPass m_pass;  // the page's, for its event stream and pictures
};
