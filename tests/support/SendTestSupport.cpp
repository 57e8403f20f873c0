#include "support/SendTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>

namespace {

bool WaitReadable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, kTestWaitMs) > 0;
}

// Accepts one connection within the bound; -1 when none came.
int AcceptOne(int listener) {
    if (!WaitReadable(listener)) {
        ADD_FAILURE() << "no connection came";
        return -1;
    }
    return accept(listener, nullptr, nullptr);
}

// Reads a connection to its end or until nothing has come for the tests' bound.
std::string ReadToEnd(int connection) {
    std::string received;
    char buffer[65536];
    while (WaitReadable(connection)) {
        const ssize_t n = read(connection, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

sockaddr_in Loopback(uint16_t port, const char* host = "127.0.0.1") {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host, &address.sin_addr);
    return address;
}

uint16_t BoundPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Every address of this process's own once, at most.
constexpr int kOwnAddresses = 254;

// Tries addresses of this process's own until `make` gives something that holds its port there.
template <typename T, typename Make, typename Holds>
std::unique_ptr<T> AtOwnAddress(Make make, Holds holds) {
    for (int attempt = 0; attempt < kOwnAddresses; ++attempt) {
        std::unique_ptr<T> made = make(NextOwnLoopbackAddress());
        if (holds(*made)) {
            return made;
        }
    }
    return nullptr;
}

}  // namespace

std::string NextOwnLoopbackAddress() {
    static int next = 0;
    next = next % kOwnAddresses + 1;
    const uint32_t process = static_cast<uint32_t>(getpid()) & 0xFFFF;
    return "127." + std::to_string(process >> 8) + "." + std::to_string(process & 0xFF) + "." +
           std::to_string(next);
}

std::string FreeLoopbackAddress(uint16_t port) {
    const auto held = CRefusingPort::AsSign(port);
    return held ? held->Host() : std::string();
}

uint16_t FreeLoopbackPort() {
    return CRefusingPort().Port();
}

CPtyPair::CPtyPair() {
    char name[PATH_MAX] = {};
    if (openpty(&m_nMaster, &m_nSlave, name, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    m_strSlavePath = name;
}

CPtyPair::~CPtyPair() {
    CloseMaster();
    if (m_nSlave >= 0) {
        close(m_nSlave);
    }
}

void CPtyPair::CloseMaster() {
    if (m_nMaster >= 0) {
        close(m_nMaster);
        m_nMaster = -1;
    }
}

std::future<std::string> CPtyPair::ReadAsync(size_t count) const {
    const int master = m_nMaster;
    return std::async(std::launch::async, [master, count] {
        std::string received;
        char buffer[65536];
        while (received.size() < count && WaitReadable(master)) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            received.append(buffer, static_cast<size_t>(n));
        }
        return received;
    });
}

std::string CPtyPair::ReadPending() const {
    std::string received;
    char buffer[4096];
    pollfd entry{m_nMaster, POLLIN, 0};
    while (poll(&entry, 1, 0) > 0) {
        const ssize_t n = read(m_nMaster, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        received.append(buffer, static_cast<size_t>(n));
    }
    return received;
}

CLoopbackListener::CLoopbackListener(uint16_t port, int receiveBuffer, const char* address,
                                     int backlog) {
    in_addr host{};
    inet_pton(AF_INET, address, &host);
    m_nHost = ntohl(host.s_addr);
    m_nSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(m_nSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (receiveBuffer > 0) {
        // Accepted connections inherit it, and it holds before they are accepted.
        setsockopt(m_nSocket, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    }
    const sockaddr_in local = Loopback(port, address);
    if (bind(m_nSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        listen(m_nSocket, backlog) != 0) {
        close(m_nSocket);
        m_nSocket = -1;
        return;
    }
    m_nPort = BoundPort(m_nSocket);
}

std::unique_ptr<CLoopbackListener> CLoopbackListener::AsSign(uint16_t signPort, int receiveBuffer) {
    return AtOwnAddress<CLoopbackListener>(
        [&](const std::string& host) {
            return std::make_unique<CLoopbackListener>(signPort, receiveBuffer, host.c_str());
        },
        [](const CLoopbackListener& listener) { return listener.Listening(); });
}

std::array<uint8_t, 4> CLoopbackListener::Address() const {
    return {static_cast<uint8_t>(m_nHost >> 24), static_cast<uint8_t>(m_nHost >> 16),
            static_cast<uint8_t>(m_nHost >> 8), static_cast<uint8_t>(m_nHost)};
}

std::string CLoopbackListener::Host() const {
    const std::array<uint8_t, 4> octets = Address();
    return std::to_string(octets[0]) + "." + std::to_string(octets[1]) + "." +
           std::to_string(octets[2]) + "." + std::to_string(octets[3]);
}

CLoopbackListener::~CLoopbackListener() {
    for (const int client : m_queued) {
        close(client);
    }
    const std::lock_guard lock(m_heldMutex);
    for (const int connection : m_held) {
        close(connection);
    }
    if (m_nSocket >= 0) {
        close(m_nSocket);
    }
}

bool CLoopbackListener::FillAcceptQueue() {
    constexpr int kMaxClients = 16;
    constexpr int kAnswerMs = 200;
    const sockaddr_in address = Loopback(m_nPort, Host().c_str());
    for (int i = 0; i < kMaxClients; ++i) {
        const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        m_queued.push_back(client);
        if (connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
            continue;
        }
        pollfd entry{client, POLLOUT, 0};
        if (errno == EINPROGRESS && poll(&entry, 1, kAnswerMs) == 0) {
            return true;  // this connect went unanswered: the queue is full
        }
    }
    return false;
}

std::future<std::string> CLoopbackListener::AcceptAndReadAsync() const {
    const int listener = m_nSocket;
    return std::async(std::launch::async, [listener] {
        const int connection = AcceptOne(listener);
        if (connection < 0) {
            return std::string();
        }
        std::string received = ReadToEnd(connection);
        close(connection);
        return received;
    });
}

std::future<std::string> CLoopbackListener::AcceptReadAndHoldAsync() {
    return std::async(std::launch::async, [this] {
        const int connection = AcceptOne(m_nSocket);
        if (connection < 0) {
            return std::string();
        }
        std::string received = ReadToEnd(connection);
        const std::lock_guard lock(m_heldMutex);
        m_held.push_back(connection);
        return received;
    });
}

std::future<void> CLoopbackListener::AcceptAndResetAsync() const {
    const int listener = m_nSocket;
    return std::async(std::launch::async, [listener] {
        const int connection = AcceptOne(listener);
        if (connection < 0) {
            return;
        }
        WaitReadable(connection);
        // A close that lingers for no time resets the connection, whatever waits unread.
        const linger abort{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        close(connection);
    });
}

std::future<void> CLoopbackListener::AcceptAndCloseAsync() const {
    const int listener = m_nSocket;
    return std::async(std::launch::async, [listener] {
        const int connection = AcceptOne(listener);
        if (connection >= 0) {
            close(connection);
        }
    });
}

CRefusingPort::CRefusingPort(const char* address, uint16_t port) : m_strHost(address) {
    m_nSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in local = Loopback(port, address);
    if (bind(m_nSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) {
        m_nPort = BoundPort(m_nSocket);
    }
}

std::unique_ptr<CRefusingPort> CRefusingPort::AsSign(uint16_t signPort) {
    return AtOwnAddress<CRefusingPort>(
        [&](const std::string& host) {
            return std::make_unique<CRefusingPort>(host.c_str(), signPort);
        },
        [](const CRefusingPort& port) { return port.Bound(); });
}

CRefusingPort::~CRefusingPort() {
    close(m_nSocket);
}

CTcpCaller::CTcpCaller(const char* address, uint16_t port) {
    m_nSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const sockaddr_in remote = Loopback(port, address);
    connect(m_nSocket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
}

CTcpCaller::~CTcpCaller() {
    close(m_nSocket);
}

std::string ByteCycle(size_t length) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i) {
        bytes[i] = static_cast<char>(i % 256);
    }
    return bytes;
}

int SendToPort(uint16_t port, const std::string& bytes, bool close, uint32_t host) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host);
    EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
    if (close) {
        ::close(fd);
        return -1;
    }
    return fd;
}
