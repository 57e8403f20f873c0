#include "gateway/HttpConnection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = HttpConnection::Clock;

constexpr int kPollSliceMs = 100;  // how often a wait looks at a stop
constexpr size_t kReadChunk = 16 * 1024;

int SliceUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kPollSliceMs));
}

bool Again() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

}  // namespace

std::string AddressText(const sockaddr_storage& address, int& port) {
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof(text));
        port = ntohs(in.sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto& in = reinterpret_cast<const sockaddr_in6&>(address);
        inet_ntop(AF_INET6, &in.sin6_addr, text, sizeof(text));
        port = ntohs(in.sin6_port);
    }
    return text;
}

HttpConnection::HttpConnection(int fd, std::string from, int fromPort,
                               const std::atomic<bool>& stopping,
                               std::function<void(const HttpConnection&)> closed)
    : socket(fd),
      address(std::move(from)),
      port(fromPort),
      m_bStopping(stopping),
      m_closed(std::move(closed)) {}

HttpConnection::~HttpConnection() {
    if (ssl != nullptr) {
        SSL_free(ssl);
    }
    m_closed(*this);
    ::close(socket);
}

ssize_t HttpConnection::Receive(char* to, size_t size) {
    ssize_t got = 0;
    if (ssl == nullptr) {
        got = recv(socket, to, size, 0);
        got = got >= 0 ? got : (Again() ? kNotYet : kFailed);
    } else {
        ERR_clear_error();
        const int read = SSL_read(ssl, to, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        got = read > 0 ? read : TlsOutcome(read);
    }
    moved += got > 0 ? static_cast<uint64_t>(got) : 0;
    return got;
}

ssize_t HttpConnection::Send(const char* from, size_t size) {
    ssize_t sent = 0;
    if (ssl == nullptr) {
        sent = send(socket, from, size, MSG_NOSIGNAL);
        sent = sent >= 0 ? sent : (Again() ? kNotYet : kFailed);
    } else {
        ERR_clear_error();
        const int written =
            SSL_write(ssl, from, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        sent = written > 0 ? written : TlsOutcome(written);
    }
    moved += sent > 0 ? static_cast<uint64_t>(sent) : 0;
    return sent;
}

ssize_t HttpConnection::TlsOutcome(int result) {
    switch (SSL_get_error(ssl, result)) {
        case SSL_ERROR_WANT_READ:
            wantWrite = false;
            return kNotYet;
        case SSL_ERROR_WANT_WRITE:
            wantWrite = true;
            return kNotYet;
        case SSL_ERROR_ZERO_RETURN:
            return 0;
        default:
            return kFailed;
    }
}

bool HttpConnection::Wait(short events, Clock::time_point until) const {
    for (;;) {
        if (m_bStopping || Clock::now() >= until) {
            return false;
        }
        pollfd ready{socket, events, 0};
        const int got = poll(&ready, 1, SliceUntil(until));
        if (got > 0) {
            return true;  // an error too: the next call says it
        }
        if (got < 0 && errno != EINTR) {
            return false;
        }
    }
}

short HttpConnection::Awaited(short otherwise) const {
    if (ssl == nullptr) {
        return otherwise;
    }
    return wantWrite ? POLLOUT : POLLIN;
}

bool CConnectionStream::is_readable() const {
    if (m_connection.used < m_connection.pending.size() ||
        (m_connection.ssl != nullptr && SSL_pending(m_connection.ssl) > 0) ||
        m_connection.Wait(POLLIN, m_readUntil)) {
        return true;
    }
    m_connection.timedOut = Clock::now() >= m_readUntil;
    return false;
}

bool CConnectionStream::is_writable() const {
    return m_connection.Wait(POLLOUT, Clock::now() + m_write);
}

ssize_t CConnectionStream::read(char* to, size_t size) {
    HttpConnection& c = m_connection;
    if (c.used == c.pending.size()) {
        c.pending.clear();
        c.used = 0;
        char buffer[kReadChunk];
        ssize_t got = c.Receive(buffer, sizeof(buffer));
        while (got == HttpConnection::kNotYet && c.Wait(c.Awaited(POLLIN), m_readUntil)) {
            got = c.Receive(buffer, sizeof(buffer));
        }
        c.timedOut = got == HttpConnection::kNotYet && Clock::now() >= m_readUntil;
        if (got <= 0) {
            return got == 0 ? 0 : -1;
        }
        c.pending.assign(buffer, static_cast<size_t>(got));
    }
    const size_t taken = std::min(size, c.pending.size() - c.used);
    std::memcpy(to, c.pending.data() + c.used, taken);
    c.used += taken;
    return static_cast<ssize_t>(taken);
}

ssize_t CConnectionStream::write(const char* from, size_t size) {
    HttpConnection& c = m_connection;
    ssize_t sent = c.Send(from, size);
    while (sent == HttpConnection::kNotYet && c.Wait(c.Awaited(POLLOUT), Clock::now() + m_write)) {
        sent = c.Send(from, size);
    }
    return sent > 0 ? sent : -1;
}

void CConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
    ip = m_connection.address;
    port = m_connection.port;
}

void CConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    port = 0;
    if (getsockname(m_connection.socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        ip = AddressText(address, port);
    }
}
