#include "transport/CSignTcpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "transport/CCancelToken.h"

namespace {

// Connections wait here while the sign reads another. A sender that connects, sends and closes
// back to back must never find the queue full: the system drops the connection, and the sender
// tries again only a second later.
constexpr int kListenBacklog = SOMAXCONN;
constexpr size_t kReadChunk = 65536;
constexpr int kWaitForever = -1;

std::string PeerName(const sockaddr_in& peer) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(peer.sin_port));
}

// Failures of accept that concern only the connection that was to be accepted.
bool AcceptMayRetry(int error) {
    switch (error) {
        case EAGAIN:
        case EINTR:
        case ECONNABORTED:
        case EPROTO:
        case ENETDOWN:
        case ENOPROTOOPT:
        case EHOSTDOWN:
        case ENONET:
        case EHOSTUNREACH:
        case EOPNOTSUPP:
        case ENETUNREACH:
            return true;
        default:
            return false;
    }
}

}  // namespace

CSignTcpListener::CSignTcpListener(size_t maxMessageBytes) : m_splitter(maxMessageBytes) {}

CSignTcpListener::~CSignTcpListener() {
    Close();
}

int CSignTcpListener::Listen(const Ipv4Octets& address, uint16_t port) {
    Close();
    m_hSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_hSocket < 0) {
        return errno;
    }
    // A sign started again at once takes its port back from connections still in TIME_WAIT; a
    // port that another program listens on stays refused.
    const int on = 1;
    setsockopt(m_hSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl((uint32_t{address[0]} << 24) | (uint32_t{address[1]} << 16) |
                                  (uint32_t{address[2]} << 8) | address[3]);
    socklen_t length = sizeof local;
    if (bind(m_hSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        listen(m_hSocket, kListenBacklog) != 0 ||
        getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        const int error = errno;
        Close();
        return error;
    }
    m_address = address;
    m_nPort = ntohs(local.sin_port);
    return 0;
}

std::string CSignTcpListener::Endpoint() const {
    return FormatIpv4(m_address) + ":" + std::to_string(m_nPort);
}

void CSignTcpListener::Close() {
    if (m_hSocket >= 0) {
        close(m_hSocket);
        m_hSocket = -1;
    }
    m_splitter.Clear();
}

SignReceipt CSignTcpListener::Receive(const CCancelToken& stop) {
    SignReceipt receipt;
    while (!m_splitter.HasMessage()) {
        const WaitResult waited = WaitForFd(m_hSocket, POLLIN, kWaitForever, &stop);
        if (waited == WaitResult::kCancelled) {
            receipt.status = SignReceiveStatus::kStopped;
            return receipt;
        }
        if (waited == WaitResult::kFailed) {
            receipt.status = SignReceiveStatus::kFailed;
            receipt.error = errno;
            return receipt;
        }
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        const int connection = accept4(m_hSocket, reinterpret_cast<sockaddr*>(&peer), &length,
                                       SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (connection < 0) {
            if (AcceptMayRetry(errno)) {
                continue;
            }
            receipt.status = SignReceiveStatus::kFailed;
            receipt.error = errno;
            return receipt;
        }
        m_strSource = "tcp " + PeerName(peer);
        const SignReceiveStatus status = ReadConnection(connection, stop);
        close(connection);
        if (status == SignReceiveStatus::kStopped) {
            m_splitter.Clear();
            receipt.status = status;
            return receipt;
        }
        m_splitter.EndMessage();
    }
    return m_splitter.TakeMessage(m_strSource);
}

SignReceiveStatus CSignTcpListener::ReadConnection(int connection, const CCancelToken& stop) {
    char buffer[kReadChunk];
    while (true) {
        const WaitResult waited = WaitForFd(connection, POLLIN, kWaitForever, &stop);
        if (waited == WaitResult::kCancelled) {
            return SignReceiveStatus::kStopped;
        }
        if (waited == WaitResult::kFailed) {
            return SignReceiveStatus::kMessage;
        }
        const ssize_t count = read(connection, buffer, sizeof buffer);
        if (count < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        // The peer's close ends the message; so does a reset, keeping what came before it.
        if (count <= 0) {
            return SignReceiveStatus::kMessage;
        }
        m_splitter.Append(std::string_view(buffer, static_cast<size_t>(count)));
    }
}
