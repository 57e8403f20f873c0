#include "transport/CBlockingSocket.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "transport/CCancelToken.h"

namespace {

using Clock = std::chrono::steady_clock;

// Nothing wakes a waiter when the sign acknowledges bytes, so while some are unacknowledged the
// wait looks again this often.
constexpr int kAckCheckMs = 10;
constexpr size_t kDiscardChunk = 4096;

// Milliseconds left until the deadline, rounded up so that poll does not wake just before it.
int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1'000'000));
}

// The error a reset left on the socket, else the one given.
int PendingError(int fd, int otherwise) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
        return error;
    }
    return otherwise;
}

}  // namespace

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
        // Leave the port to Connect: a bind that takes one now must pass over every port that a
        // connection of the machine holds, those waiting to close (TIME_WAIT) included, so it
        // slows as they fill the range and fails after some 28,000 sends in a minute. Connect,
        // knowing the destination, needs a port free only towards that sign, and may take over
        // one whose connection has waited long enough. A kernel without the option binds as
        // before.
        const int on = 1;
        setsockopt(m_hSocket, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &on, sizeof on);
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

size_t CBlockingSocket::Send(const char* bytes, size_t length, int seconds) {
    switch (WaitForFd(m_hSocket, POLLOUT, seconds * 1000, m_pCancel)) {
        case WaitResult::kTimedOut:
            throw CBlockingSocketException(LinkOperation::kSendTimeout, ETIMEDOUT);
        case WaitResult::kCancelled:
            throw CBlockingSocketException(LinkOperation::kCancel, ECANCELED);
        default:
            // A failed wait is no reason not to try: send tells what is wrong.
            break;
    }
    // MSG_NOSIGNAL: a sign that closes early must not end the program with SIGPIPE.
    // MSG_DONTWAIT: a blocking send of the whole rest would wait past the time-out for a sign
    // that stops reading; what does not fit now goes with the next call.
    const ssize_t sent = send(m_hSocket, bytes, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            return 0;
        }
        throw CBlockingSocketException(LinkOperation::kSend, errno);
    }
    return static_cast<size_t>(sent);
}

size_t CBlockingSocket::SendAll(const char* bytes, size_t length, int seconds) {
    size_t total = 0;
    do {
        total += Send(bytes + total, length - total, seconds);
    } while (total < length);
    return total;
}

bool CBlockingSocket::ShutdownAndAwaitClose(std::chrono::milliseconds limit) {
    // Our close of the writing side tells the sign the message is whole; a sign that reads to
    // the end then closes its own side. One that closes without reading everything resets.
    if (shutdown(m_hSocket, SHUT_WR) != 0) {
        throw CBlockingSocketException(LinkOperation::kAwaitClose, PendingError(m_hSocket, errno));
    }
    Clock::time_point deadline = Clock::now() + limit;
    size_t unacknowledged = UnacknowledgedBytes();
    bool signClosed = false;
    for (;;) {
        // Once the sign has closed, its end reads as ready for ever: only the acknowledgements
        // and a late reset (for bytes that reached it after its close) are left to look at.
        const int waitMs = unacknowledged > 0 || signClosed
                               ? std::min(kAckCheckMs, RemainingMs(deadline))
                               : RemainingMs(deadline);
        switch (WaitForFd(signClosed ? -1 : m_hSocket, POLLIN, waitMs, m_pCancel)) {
            case WaitResult::kCancelled:
                throw CBlockingSocketException(LinkOperation::kCancel, ECANCELED);
            case WaitResult::kFailed:
                throw CBlockingSocketException(LinkOperation::kAwaitClose, errno);
            case WaitResult::kReady:
                signClosed = signClosed || DiscardUntilEnd();
                break;
            case WaitResult::kTimedOut:
                break;
        }
        if (signClosed) {
            const int error = PendingError(m_hSocket, 0);
            if (error != 0) {
                throw CBlockingSocketException(LinkOperation::kAwaitClose, error);
            }
        }
        const size_t left = UnacknowledgedBytes();
        if (left == 0 && signClosed) {
            return true;
        }
        if (left < unacknowledged) {
            deadline = Clock::now() + limit;  // still taking bytes, if slowly
        }
        unacknowledged = left;
        if (RemainingMs(deadline) == 0) {
            if (unacknowledged > 0) {
                throw CBlockingSocketException(LinkOperation::kAwaitClose, ETIMEDOUT);
            }
            return false;
        }
    }
}

size_t CBlockingSocket::UnacknowledgedBytes() const {
    // The state first: should the sign acknowledge our end in between, the count below is only
    // smaller.
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(m_hSocket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        throw CBlockingSocketException(LinkOperation::kAwaitClose, errno);
    }
    int queued = 0;
    if (ioctl(m_hSocket, SIOCOUTQ, &queued) != 0) {
        throw CBlockingSocketException(LinkOperation::kAwaitClose, errno);
    }
    // Our end of the stream takes a place in the queue until the sign acknowledges it, which it
    // has not in these states.
    const bool endUnacknowledged =
        info.tcpi_state == TCP_FIN_WAIT1 || info.tcpi_state == TCP_CLOSING;
    return static_cast<size_t>(std::max(0, queued - (endUnacknowledged ? 1 : 0)));
}

bool CBlockingSocket::DiscardUntilEnd() {
    char buffer[kDiscardChunk];
    for (;;) {
        const ssize_t count = recv(m_hSocket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count == 0) {
            return true;
        }
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return false;
            }
            throw CBlockingSocketException(LinkOperation::kAwaitClose, errno);
        }
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
