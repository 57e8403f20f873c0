#include "gateway/CHttpFront.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollSliceMs = 100;  // how often waits look at their deadline and at a stop
constexpr int kMaxEvents = 256;
constexpr size_t kReadChunk = 16 * 1024;
constexpr size_t kMaxToldClients = 4096;
constexpr ssize_t kNotYet = -1;  // nothing to read or no room to write without waiting
constexpr ssize_t kFailed = -2;

constexpr char kHeadTooLarge[] =
    "HTTP/1.1 431 Request Header Fields Too Large\r\n"
    "Content-Type: application/json\r\nContent-Length: 42\r\nConnection: close\r\n\r\n"
    "{\"error\":\"the request's head is too large\"}";

int SliceUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, kPollSliceMs));
}

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

}  // namespace

struct CHttpFront::Connection {
    Connection(CHttpFront& owner, int fd, std::string from, int fromPort)
        : front(owner), socket(fd), address(std::move(from)), port(fromPort) {}
    ~Connection() {
        if (ssl != nullptr) {
            SSL_free(ssl);
        }
        front.Forget(*this);  // before the number can be handed to another connection
        ::close(socket);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    CHttpFront& front;
    const int socket;
    const std::string address;
    const int port;
    SSL* ssl = nullptr;
    bool secured = false;    // the handshake done
    bool wantWrite = false;  // TLS waits for room to write, even to read
    bool polledForWrite = false;
    bool idle = false;    // between requests, no byte of the next yet
    std::string pending;  // read from the client, not yet taken by the request
    size_t used = 0;      // of `pending`
    Clock::time_point deadline;

    // Without waiting: bytes, 0 when the client closed, kNotYet or kFailed.
    ssize_t Receive(char* to, size_t size) {
        if (ssl == nullptr) {
            const ssize_t got = recv(socket, to, size, 0);
            if (got >= 0) {
                return got;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNotYet : kFailed;
        }
        ERR_clear_error();
        const int got = SSL_read(ssl, to, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        return got > 0 ? got : TlsOutcome(got);
    }
    ssize_t Send(const char* from, size_t size) {
        if (ssl == nullptr) {
            const ssize_t sent = send(socket, from, size, MSG_NOSIGNAL);
            if (sent >= 0) {
                return sent;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? kNotYet : kFailed;
        }
        ERR_clear_error();
        const int sent = SSL_write(ssl, from, static_cast<int>(std::min<size_t>(size, INT32_MAX)));
        return sent > 0 ? sent : TlsOutcome(sent);
    }
    ssize_t TlsOutcome(int result) {
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
    // Until the socket is ready for what the last call waits for, the deadline passes or the
    // server stops.
    bool Wait(short events, Clock::time_point until) const {
        for (;;) {
            if (front.m_bStopping || Clock::now() >= until) {
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
    short Awaited(short otherwise) const {
        return ssl != nullptr && wantWrite ? POLLOUT : (ssl != nullptr ? POLLIN : otherwise);
    }
};

// What a worker reads and writes: first what the poller read, then the socket, each wait bounded
// by the request's deadline for reading and by the write time for each write.
class CHttpFront::CStream : public httplib::Stream {
public:
    CStream(Connection& connection, Clock::time_point readUntil, std::chrono::milliseconds write)
        : m_connection(connection), m_readUntil(readUntil), m_write(write) {}

    bool is_readable() const override {
        return m_connection.used < m_connection.pending.size() ||
               (m_connection.ssl != nullptr && SSL_pending(m_connection.ssl) > 0) ||
               m_connection.Wait(POLLIN, m_readUntil);
    }
    bool is_writable() const override { return m_connection.Wait(POLLOUT, Clock::now() + m_write); }
    ssize_t read(char* to, size_t size) override {
        Connection& c = m_connection;
        if (c.used == c.pending.size()) {
            c.pending.clear();
            c.used = 0;
            char buffer[kReadChunk];
            ssize_t got = c.Receive(buffer, sizeof(buffer));
            while (got == kNotYet && c.Wait(c.Awaited(POLLIN), m_readUntil)) {
                got = c.Receive(buffer, sizeof(buffer));
            }
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
    ssize_t write(const char* from, size_t size) override {
        Connection& c = m_connection;
        ssize_t sent = c.Send(from, size);
        while (sent == kNotYet && c.Wait(c.Awaited(POLLOUT), Clock::now() + m_write)) {
            sent = c.Send(from, size);
        }
        return sent > 0 ? sent : -1;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = m_connection.address;
        port = m_connection.port;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        sockaddr_storage address{};
        socklen_t length = sizeof(address);
        port = 0;
        if (getsockname(m_connection.socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            ip = AddressText(address, port);
        }
    }
    socket_t socket() const override { return m_connection.socket; }

private:
    Connection& m_connection;
    const Clock::time_point m_readUntil;
    const std::chrono::milliseconds m_write;
};

// The server's task queue for one run of listening: accepted sockets are handed to the poller
// at once, on the accepting thread; the end of the run ends the poller and the workers.
class CHttpFront::CRun : public httplib::TaskQueue {
public:
    explicit CRun(CHttpFront& front) : m_front(front) { m_front.Begin(); }
    void enqueue(std::function<void()> work) override { work(); }
    void shutdown() override { m_front.End(); }

private:
    CHttpFront& m_front;
};

CHttpFront::CHttpFront(HttpFrontLimits limits, SSL_CTX* tls) : m_limits(limits), m_tls(tls) {
    new_task_queue = [this] { return new CRun(*this); };
}

CHttpFront::~CHttpFront() {
    End();
}

void CHttpFront::WidenBacklog() {
    // Listening again on a listening socket only sets its queue's length.
    ::listen(svr_sock_, SOMAXCONN);
}

void CHttpFront::OnRefused(std::function<void(const std::string&)> refused) {
    m_refused = std::move(refused);
}

size_t CHttpFront::Open() const {
    const std::lock_guard lock(m_mutex);
    return m_open.size();
}

bool CHttpFront::Serve(httplib::Stream& stream) {
    bool closed = false;
    const bool kept = process_request(stream, m_bStopping, closed, nullptr);
    return kept && !closed && !m_bStopping;
}

bool CHttpFront::process_and_close_socket(socket_t socket) {
    sockaddr_storage peer{};
    socklen_t length = sizeof(peer);
    int port = 0;
    getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length);
    const std::string address = AddressText(peer, port);
    bool admitted = false;
    bool tell = false;
    {
        const std::lock_guard lock(m_mutex);
        size_t& held = m_clients[address];
        admitted = !m_bStopping && held < m_limits.perClient && m_open.size() < m_limits.total;
        if (admitted) {
            ++held;
            m_open.insert(socket);
        } else {
            if (held == 0) {
                m_clients.erase(address);
            }
            ++m_nRefused;
            tell = m_told.size() < kMaxToldClients && m_told.insert(address).second;
        }
    }
    if (!admitted) {
        ::close(socket);
        if (tell && m_refused) {
            m_refused(address);
        }
        return false;
    }
    fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
    const int yes = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    auto connection = std::make_shared<Connection>(*this, socket, address, port);
    connection->deadline = Clock::now() + m_limits.header;
    if (m_tls != nullptr) {
        connection->ssl = SSL_new(m_tls);
        if (connection->ssl == nullptr || SSL_set_fd(connection->ssl, socket) != 1) {
            return false;
        }
        SSL_set_mode(connection->ssl,
                     SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    }
    HandOver(connection);
    return true;
}

void CHttpFront::Forget(const Connection& connection) {
    const std::lock_guard lock(m_mutex);
    m_open.erase(connection.socket);
    const auto found = m_clients.find(connection.address);
    if (found != m_clients.end() && --found->second == 0) {
        m_clients.erase(found);
    }
}

void CHttpFront::Begin() {
    m_bStopping = false;
    m_nEpoll = epoll_create1(EPOLL_CLOEXEC);
    m_nWake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event wake{};
    wake.events = EPOLLIN;
    wake.data.fd = m_nWake;
    epoll_ctl(m_nEpoll, EPOLL_CTL_ADD, m_nWake, &wake);
    m_workers = std::make_unique<httplib::ThreadPool>(m_limits.workers);
    m_poller = std::thread([this] { PollLoop(); });
}

void CHttpFront::End() {
    if (!m_poller.joinable()) {
        return;
    }
    m_bStopping = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_nWake, &one, sizeof(one));
    m_poller.join();
    std::vector<ConnectionPtr> left;
    {
        // A worker's waits end at once on a socket shut under it.
        const std::lock_guard lock(m_mutex);
        for (const int socket : m_open) {
            ::shutdown(socket, SHUT_RDWR);
        }
        left.swap(m_arrived);
    }
    left.clear();
    m_workers->shutdown();
    m_workers.reset();
    ::close(m_nEpoll);
    ::close(m_nWake);
}

void CHttpFront::HandOver(const ConnectionPtr& connection) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_bStopping) {
            return;
        }
        m_arrived.push_back(connection);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_nWake, &one, sizeof(one));
}

CHttpFront::Progress CHttpFront::Advance(Connection& c) const {
    if (c.ssl != nullptr && !c.secured) {
        ERR_clear_error();
        const int accepted = SSL_accept(c.ssl);
        if (accepted != 1) {
            return c.TlsOutcome(accepted) == kNotYet ? Progress::kWaiting : Progress::kClosed;
        }
        c.secured = true;
    }
    // Only what came since the last look can complete the head.
    size_t from = c.used;
    for (;;) {
        const std::string_view unread = std::string_view(c.pending).substr(c.used);
        const std::string_view fresh = std::string_view(c.pending).substr(from);
        if (fresh.find("\r\n\r\n") != std::string_view::npos ||
            fresh.find("\n\n") != std::string_view::npos) {
            return Progress::kHead;
        }
        if (unread.size() >= m_limits.maxHead) {
            return Progress::kTooLarge;
        }
        from = std::max(c.used, c.pending.size() - std::min<size_t>(c.pending.size(), 3));
        char buffer[kReadChunk];
        const ssize_t got =
            c.Receive(buffer, std::min(sizeof(buffer), m_limits.maxHead - unread.size()));
        if (got == kNotYet) {
            return Progress::kWaiting;
        }
        if (got <= 0) {
            return Progress::kClosed;
        }
        if (c.idle) {
            c.idle = false;
            c.deadline = Clock::now() + m_limits.header;
        }
        c.pending.append(buffer, static_cast<size_t>(got));
    }
}

void CHttpFront::RefuseHead(Connection& connection) {
    connection.Send(kHeadTooLarge, sizeof(kHeadTooLarge) - 1);
}

void CHttpFront::Answer(ConnectionPtr connection) {
    Connection& c = *connection;
    for (;;) {
        CStream stream(c, Clock::now() + m_limits.body, m_limits.write);
        if (!Serve(stream)) {
            return;
        }
        c.pending.erase(0, c.used);
        c.used = 0;
        c.idle = true;
        c.deadline = Clock::now() + m_limits.idle;
        switch (Advance(c)) {
            case Progress::kHead:
                continue;  // sent with the one before
            case Progress::kWaiting:
                HandOver(connection);
                return;
            case Progress::kTooLarge:
                RefuseHead(c);
                return;
            case Progress::kClosed:
                return;
        }
    }
}

void CHttpFront::PollLoop() {
    std::map<int, ConnectionPtr> waiting;
    epoll_event events[kMaxEvents];
    auto sweep = Clock::now();
    const auto watch = [&](Connection& c, int operation) {
        epoll_event event{};
        c.polledForWrite = c.ssl != nullptr && c.wantWrite;
        event.events = c.polledForWrite ? EPOLLOUT : EPOLLIN;
        event.data.fd = c.socket;
        epoll_ctl(m_nEpoll, operation, c.socket, &event);
    };
    while (!m_bStopping) {
        const int count = epoll_wait(m_nEpoll, events, kMaxEvents, kPollSliceMs);
        std::vector<ConnectionPtr> arrived;
        {
            const std::lock_guard lock(m_mutex);
            arrived.swap(m_arrived);
        }
        for (ConnectionPtr& c : arrived) {
            watch(*c, EPOLL_CTL_ADD);
            waiting[c->socket] = std::move(c);
        }
        for (int i = 0; i < count; ++i) {
            const int socket = events[i].data.fd;
            if (socket == m_nWake) {
                uint64_t wakes = 0;
                [[maybe_unused]] const ssize_t got = ::read(m_nWake, &wakes, sizeof(wakes));
                continue;
            }
            const auto found = waiting.find(socket);
            if (found == waiting.end()) {
                continue;
            }
            Connection& c = *found->second;
            const Progress progress = Advance(c);
            if (progress == Progress::kWaiting) {
                if (c.polledForWrite != (c.ssl != nullptr && c.wantWrite)) {
                    watch(c, EPOLL_CTL_MOD);
                }
                continue;
            }
            if (progress == Progress::kHead) {
                epoll_ctl(m_nEpoll, EPOLL_CTL_DEL, socket, nullptr);
                m_workers->enqueue([this, c = found->second] { Answer(c); });
            } else if (progress == Progress::kTooLarge) {
                RefuseHead(c);
            }
            waiting.erase(found);  // closed, unless a worker has it now
        }
        const auto now = Clock::now();
        if (now >= sweep) {
            std::erase_if(waiting, [&](const auto& entry) { return entry.second->deadline < now; });
            sweep = now + std::chrono::milliseconds(kPollSliceMs);
        }
    }
}
