#include "gateway/CHttpFront.h"

#include "gateway/HttpConnection.h"
#include "gateway/MemoryRelease.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

using Clock = HttpConnection::Clock;

constexpr int kPollSliceMs = 100;  // how often the poller looks at the deadlines and a stop
constexpr int kMaxEvents = 256;
constexpr size_t kReadChunk = 16 * 1024;
constexpr size_t kMaxToldClients = 4096;
// After a 431 the client may still be sending its head: read on this long and this much at most.
constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr size_t kDrainBytes = 256 * 1024;
// A request that moved this much leaves, a while after the last such, its memory to the system.
constexpr uint64_t kLargeRequest = 256 * 1024;
constexpr auto kReleaseDelay = std::chrono::seconds(1);

const std::string kHeadTooLargeBody = R"({"error":"the request's head is too large"})";
const std::string kHeadTooLarge =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: application/json\r\n"
    "Content-Length: " +
    std::to_string(kHeadTooLargeBody.size()) + "\r\nConnection: close\r\n\r\n" + kHeadTooLargeBody;

}  // namespace

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

void CHttpFront::OnRefused(RefusedHandler refused) {
    m_refused = std::move(refused);
}

void CHttpFront::Refuse(const std::string& client, HttpRefusal why) {
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_told.size() < kMaxToldClients && m_told.emplace(client, why).second;
    }
    if (m_refused) {
        m_refused(client, why, first);
    }
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
    bool stopping = false;
    HttpRefusal why = HttpRefusal::kClientLimit;
    {
        const std::lock_guard lock(m_mutex);
        size_t& held = m_clients[address];
        stopping = m_bStopping;
        why = held < m_limits.perClient ? HttpRefusal::kTotalLimit : HttpRefusal::kClientLimit;
        admitted = !stopping && held < m_limits.perClient && m_open.size() < m_limits.total;
        if (admitted) {
            ++held;
            m_open.insert(socket);
        } else if (held == 0) {
            m_clients.erase(address);
        }
    }
    if (!admitted) {
        if (!stopping) {
            Refuse(address, why);  // before the client can see its connection end
        }
        ::close(socket);
        return false;
    }
    fcntl(socket, F_SETFL, fcntl(socket, F_GETFL) | O_NONBLOCK);
    const int yes = 1;
    setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof(yes));
    auto connection = std::make_shared<HttpConnection>(
        socket, address, port, m_bStopping, [this](const HttpConnection& c) { Forget(c); });
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

void CHttpFront::Forget(const HttpConnection& connection) {
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

CHttpFront::Progress CHttpFront::Advance(HttpConnection& c) const {
    if (c.ssl != nullptr && !c.secured) {
        ERR_clear_error();
        const int accepted = SSL_accept(c.ssl);
        if (accepted != 1) {
            return c.TlsOutcome(accepted) == HttpConnection::kNotYet ? Progress::kWaiting
                                                                     : Progress::kClosed;
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
        if (got == HttpConnection::kNotYet) {
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

void CHttpFront::RefuseHead(HttpConnection& c) {
    Refuse(c.address, HttpRefusal::kHeadTooLarge);
    c.Send(kHeadTooLarge.data(), kHeadTooLarge.size());
    if (c.ssl != nullptr) {
        SSL_shutdown(c.ssl);
    }
    // Closed with the client's bytes unread, the socket would send a reset, which may reach the
    // client before it has read its answer.
    ::shutdown(c.socket, SHUT_WR);
    c.draining = kDrainBytes;
    c.wantWrite = false;
    c.deadline = Clock::now() + kDrainTime;
}

bool CHttpFront::Drain(HttpConnection& c) {
    for (;;) {
        char buffer[kReadChunk];
        // Raw bytes: over TLS too, nothing of them is read.
        const ssize_t got = recv(c.socket, buffer, std::min(sizeof(buffer), c.draining), 0);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            return true;
        }
        if (got <= 0 || static_cast<size_t>(got) >= c.draining) {
            return false;
        }
        c.draining -= static_cast<size_t>(got);
    }
}

void CHttpFront::Answer(ConnectionPtr connection) {
    HttpConnection& c = *connection;
    for (;;) {
        CConnectionStream stream(c, Clock::now() + m_limits.body, m_limits.write);
        const uint64_t before = c.moved;
        c.timedOut = false;
        const bool kept = Serve(stream);
        if (c.moved - before >= kLargeRequest) {
            m_releaseAt = (Clock::now() + kReleaseDelay).time_since_epoch().count();
        }
        if (c.timedOut && !m_bStopping) {
            Refuse(c.address, HttpRefusal::kBodyTimeout);
            return;  // whatever came of its answer: what it sends next is no request
        }
        if (!kept) {
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
                HandOver(connection);
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
    const auto watch = [&](HttpConnection& c, int operation) {
        epoll_event event{};
        c.polledForWrite = c.ssl != nullptr && c.wantWrite;
        event.events = c.polledForWrite ? EPOLLOUT : EPOLLIN;
        event.data.fd = c.socket;
        epoll_ctl(m_nEpoll, operation, c.socket, &event);
    };
    // Moves a connection on as far as what has come allows; false when it leaves the poller.
    const auto step = [&](const ConnectionPtr& connection) {
        HttpConnection& c = *connection;
        if (c.draining > 0) {
            return Drain(c);
        }
        const Progress progress = Advance(c);
        if (progress == Progress::kWaiting) {
            if (c.polledForWrite != (c.ssl != nullptr && c.wantWrite)) {
                watch(c, EPOLL_CTL_MOD);
            }
            return true;
        }
        if (progress == Progress::kHead) {
            epoll_ctl(m_nEpoll, EPOLL_CTL_DEL, c.socket, nullptr);
            m_workers->enqueue([this, connection] { Answer(connection); });
        } else if (progress == Progress::kTooLarge) {
            RefuseHead(c);
            if (c.polledForWrite) {
                watch(c, EPOLL_CTL_MOD);
            }
            return Drain(c);
        }
        return false;
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
            if (!step(found->second)) {
                waiting.erase(found);  // closed, unless a worker has it now
            }
        }
        const auto now = Clock::now();
        if (now < sweep) {
            continue;
        }
        sweep = now + std::chrono::milliseconds(kPollSliceMs);
        int64_t release = m_releaseAt;
        if (release != 0 && now.time_since_epoch().count() >= release &&
            m_releaseAt.compare_exchange_strong(release, 0)) {
            ReleaseFreedMemory();
        }
        for (auto entry = waiting.begin(); entry != waiting.end();) {
            HttpConnection& c = *entry->second;
            if (c.deadline >= now) {
                ++entry;
                continue;
            }
            // What came in time counts, though looked at late; a first byte after the idle
            // wait starts the head's time.
            const bool waits = step(entry->second);
            if (waits && c.deadline >= now) {
                ++entry;
                continue;
            }
            if (waits && !c.idle && c.draining == 0) {
                Refuse(c.address, HttpRefusal::kHeadTimeout);
            }
            entry = waiting.erase(entry);
        }
    }
}
