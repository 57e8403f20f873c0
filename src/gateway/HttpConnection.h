#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

// One client's connection as the HTTP front holds it, passed between its poller and a worker:
// the socket (non-blocking) and its TLS session, what was read and not yet taken, the deadline.
struct HttpConnection {
    using Clock = std::chrono::steady_clock;
    static constexpr ssize_t kNotYet = -1;  // nothing to read or no room to write without waiting
    static constexpr ssize_t kFailed = -2;

    // `closed` is told as the connection ends, before its socket's number can be reused;
    // `stopping` ends every wait.
    HttpConnection(int fd, std::string from, int fromPort, const std::atomic<bool>& stopping,
                   std::function<void(const HttpConnection&)> closed);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    // Without waiting: bytes, 0 when the client closed, kNotYet or kFailed.
    ssize_t Receive(char* to, size_t size);
    ssize_t Send(const char* from, size_t size);
    // The outcome of a TLS call that did not move bytes.
    ssize_t TlsOutcome(int result);
    // Until the socket is ready for `events`, the deadline passes or the server stops.
    bool Wait(short events, Clock::time_point until) const;
    // What to wait for before the next read (or write): TLS may need the other way.
    short Awaited(short otherwise) const;

    const int socket;
    const std::string address;
    const int port;
    SSL* ssl = nullptr;
    bool secured = false;    // the handshake done
    bool wantWrite = false;  // TLS waits for room to write, even to read
    bool polledForWrite = false;
    bool idle = false;      // between requests, no byte of the next yet
    bool timedOut = false;  // a read of the request waited past its deadline
    size_t draining = 0;    // answered and shut for writing: bytes still to read and let go
    std::string pending;    // read from the client, not yet taken by the request
    size_t used = 0;        // of `pending`
    uint64_t moved = 0;     // bytes received and sent
    Clock::time_point deadline;

private:
    const std::atomic<bool>& m_bStopping;
    std::function<void(const HttpConnection&)> m_closed;
};

// What a worker reads and writes: first what the poller read, then the socket, each wait bounded
// by the request's deadline for reading and by the write time for each write.
class CConnectionStream : public httplib::Stream {
public:
    CConnectionStream(HttpConnection& connection, HttpConnection::Clock::time_point readUntil,
                      std::chrono::milliseconds write)
        : m_connection(connection), m_readUntil(readUntil), m_write(write) {}

    bool is_readable() const override;
    bool is_writable() const override;
    ssize_t read(char* to, size_t size) override;
    ssize_t write(const char* from, size_t size) override;
    void get_remote_ip_and_port(std::string& ip, int& port) const override;
    void get_local_ip_and_port(std::string& ip, int& port) const override;
    socket_t socket() const override { return m_connection.socket; }

private:
    HttpConnection& m_connection;
    const HttpConnection::Clock::time_point m_readUntil;
    const std::chrono::milliseconds m_write;
};

// "127.0.0.1" and the port of a socket's address.
std::string AddressText(const sockaddr_storage& address, int& port);
