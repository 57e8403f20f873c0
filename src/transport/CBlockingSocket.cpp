#include "transport/CBlockingSocket.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "transport/CCancelToken.h"

void LeavePortToConnect(int fd) {
    // A bind that takes a port must pass over every port that a connection of the machine holds,
    // those waiting to close (TIME_WAIT) included, so it slows as they fill the range and fails
    // after some 28,000 sends in a minute. Connect, knowing the destination, needs a port free
    // only towards that sign, and may take over one whose connection has waited long enough. A
    // kernel without the option binds as before.
    const int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
}

CBlockingSocketException::CBlockingSocketException(LinkOperation operation, int error)
    : m_nError(error), m_strOperation(OperationName(operation)), m_operation(operation) {}

CBlockingSocket::~CBlockingSocket() {
    CloseQuietly();
}

void CBlockingSocket::Create(int type) {
    m_hSocket = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (m_hSocket == kNoSocket) {
        throw CBlockingSocketException(LinkOperation::kCreate, errno);
    }
}

void CBlockingSocket::Bind(const sockaddr_in& address) {
    if (address.sin_port == 0) {
        LeavePortToConnect(m_hSocket);
    }
    if (bind(m_hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw CBlockingSocketException(LinkOperation::kBind, errno);
    }
}

void CBlockingSocket::Connect(const sockaddr_in& address, std::chrono::milliseconds limit) {
    if (address.sin_addr.s_addr == htonl(INADDR_ANY)) {
        throw CBlockingSocketException(LinkOperation::kConnect, EADDRNOTAVAIL);
    }
    // Connect without blocking and wait for the outcome ourselves, so that the limit holds.
    const int flags = fcntl(m_hSocket, F_GETFL);
    if (flags < 0 || fcntl(m_hSocket, F_SETFL, flags | O_NONBLOCK) != 0) {
        throw CBlockingSocketException(LinkOperation::kConnect, errno);
    }
    int error = 0;
    if (connect(m_hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = errno;
    }
    if (error == EINPROGRESS) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        error = ETIMEDOUT;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const WaitResult ready =
                WaitForFd(m_hSocket, POLLOUT, static_cast<int>(std::max<int64_t>(0, left.count())),
                          m_pCancel);
            if (ready == WaitResult::kCancelled) {
                throw CBlockingSocketException(LinkOperation::kCancel, ECANCELED);
            }
            if (ready == WaitResult::kReady) {
                pollfd entry{m_hSocket, POLLOUT, 0};
                if (poll(&entry, 1, 0) == 0) {
                    continue;  // interrupted, not ready
                }
                socklen_t length = sizeof error;
                if (getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
                    error = errno;
                }
                break;
            }
            error = ready == WaitResult::kTimedOut ? ETIMEDOUT : errno;
            break;
        }
    }
    if (error != 0) {
        throw CBlockingSocketException(LinkOperation::kConnect, error);
    }
    if (fcntl(m_hSocket, F_SETFL, flags) != 0) {
        throw CBlockingSocketException(LinkOperation::kConnect, errno);
    }
}

void CBlockingSocket::Close() {
    if (m_hSocket != kNoSocket) {
        const int result = close(m_hSocket);
        m_hSocket = kNoSocket;
        if (result != 0) {
            throw CBlockingSocketException(LinkOperation::kClose, errno);
        }
    }
}

void CBlockingSocket::CloseQuietly() {
    if (m_hSocket != kNoSocket) {
        close(m_hSocket);
        m_hSocket = kNoSocket;
    }
}
