#include "transport/CTcpSend.h"

#include <arpa/inet.h>
#include <linux/sockios.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "transport/CCancelToken.h"

namespace {

// Nothing wakes a waiter when the sign acknowledges bytes, so while some are unacknowledged the
// wait looks again this often.
constexpr std::chrono::milliseconds kAckCheck{10};
constexpr size_t kDiscardChunk = 4096;
constexpr std::chrono::seconds kSendStep{kTcpSendTimeoutSeconds};

// The error a reset left on the socket, else the one given.
int PendingError(int fd, int otherwise) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0) {
        return error;
    }
    return otherwise;
}

bool WouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

CTcpSend::CTcpSend(TcpSendRequest request) : m_request(std::move(request)) {}

CTcpSend::~CTcpSend() {
    if (m_nSocket >= 0) {
        close(m_nSocket);
    }
}

void CTcpSend::Begin() {
    if (m_step != Step::kIdle) {
        return;
    }
    m_step = Step::kConnecting;
    m_nSocket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_nSocket < 0) {
        Fail(LinkOperation::kCreate, errno);
        return;
    }
    LeavePortToConnect(m_nSocket);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(m_nSocket, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Fail(LinkOperation::kBind, errno);
        return;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(m_request.port);
    if (inet_pton(AF_INET, m_request.host.c_str(), &remote.sin_addr) != 1) {
        Fail(LinkOperation::kConnect, EINVAL);
        return;
    }
    // 0.0.0.0 names no sign; Linux would connect to this machine.
    if (remote.sin_addr.s_addr == htonl(INADDR_ANY)) {
        Fail(LinkOperation::kConnect, EADDRNOTAVAIL);
        return;
    }
    if (connect(m_nSocket, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
        Connected();
    } else if (errno == EINPROGRESS) {
        WaitFor(m_nSocket, POLLOUT, Clock::now() + m_request.connectLimit);
    } else {
        Fail(LinkOperation::kConnect, errno);
    }
}

void CTcpSend::Advance(short revents) {
    const bool ranOut = revents == 0 && Clock::now() >= m_need.until;
    switch (m_step) {
        case Step::kConnecting:
            if (revents != 0) {
                const int error = PendingError(m_nSocket, 0);
                if (error != 0) {
                    Fail(LinkOperation::kConnect, error);
                } else {
                    Connected();
                }
            } else if (ranOut) {
                Fail(LinkOperation::kConnect, ETIMEDOUT);
            }
            break;
        case Step::kSending:
            if (revents != 0) {
                SendSome();
            } else if (ranOut) {
                Fail(LinkOperation::kSendTimeout, ETIMEDOUT);
            }
            break;
        case Step::kAwaitingClose:
            if (revents != 0 || ranOut) {
                LookForClose(revents != 0);
            }
            break;
        case Step::kIdle:
        case Step::kDone:
            break;
    }
}

void CTcpSend::Connected() {
    m_step = Step::kSending;
    // Every step, the first included, waits for room to send.
    WaitFor(m_nSocket, POLLOUT, Clock::now() + kSendStep);
}

void CTcpSend::SendSome() {
    const std::string& bytes = m_request.bytes;
    // MSG_NOSIGNAL: a sign that closes early must not end the program with SIGPIPE. Never 0x8000
    // (MSG_MORE on Linux).
    const ssize_t sent = send(m_nSocket, bytes.data() + m_nSent, bytes.size() - m_nSent,
                              MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && !WouldBlock(errno)) {
        Fail(LinkOperation::kSend, errno);
        return;
    }
    m_nSent += static_cast<size_t>(std::max<ssize_t>(sent, 0));
    if (m_nSent < bytes.size()) {
        WaitFor(m_nSocket, POLLOUT, Clock::now() + kSendStep);
    } else {
        WrittenAll();  // an empty string too, after its one try
    }
}

void CTcpSend::WrittenAll() {
    if (m_nSent == 0 || !m_request.awaitSignClose) {
        CloseAndFinish();
        return;
    }
    // Our close of the writing side tells the sign the message is whole; a sign that reads to the
    // end then closes its own side. One that closes without reading everything resets.
    if (shutdown(m_nSocket, SHUT_WR) != 0) {
        Fail(LinkOperation::kAwaitClose, PendingError(m_nSocket, errno));
        return;
    }
    m_step = Step::kAwaitingClose;
    m_closeDeadline = Clock::now() + *m_request.awaitSignClose;
    m_nUnacknowledged = UnacknowledgedBytes();
    if (m_nUnacknowledged < 0) {
        Fail(LinkOperation::kAwaitClose, errno);
        return;
    }
    WaitFor(m_nSocket, POLLIN,
            m_nUnacknowledged > 0 ? std::min(Clock::now() + kAckCheck, m_closeDeadline)
                                  : m_closeDeadline);
}

void CTcpSend::CloseAndFinish() {
    const int closed = close(m_nSocket);
    m_nSocket = -1;
    if (closed != 0) {
        Fail(LinkOperation::kClose, errno);
        return;
    }
    Finish(m_nSent == 0 ? LinkResult{SEND_FAILED, 0, LinkOperation::kNone} : LinkResult{});
}

void CTcpSend::LookForClose(bool readable) {
    if (readable) {
        const int ended = DiscardUntilEnd();
        if (ended < 0) {
            Fail(LinkOperation::kAwaitClose, errno);
            return;
        }
        m_bSignClosed = m_bSignClosed || ended > 0;
    }
    if (m_bSignClosed) {
        // A late reset: bytes that reached the sign after its close.
        const int error = PendingError(m_nSocket, 0);
        if (error != 0) {
            Fail(LinkOperation::kAwaitClose, error);
            return;
        }
    }
    const int64_t left = UnacknowledgedBytes();
    if (left < 0) {
        Fail(LinkOperation::kAwaitClose, errno);
        return;
    }
    const Clock::time_point now = Clock::now();
    if (left == 0 && m_bSignClosed) {
        m_bConfirmed = true;
        CloseAndFinish();
        return;
    }
    if (left < m_nUnacknowledged) {
        m_closeDeadline = now + *m_request.awaitSignClose;  // still taking bytes, if slowly
    }
    m_nUnacknowledged = left;
    if (now >= m_closeDeadline) {
        if (m_nUnacknowledged > 0) {
            Fail(LinkOperation::kAwaitClose, ETIMEDOUT);
        } else {
            CloseAndFinish();  // took every byte and kept the connection: not confirmed
        }
        return;
    }
    // Once the sign has closed, its end reads as ready for ever: only the acknowledgements and a
    // late reset are left to look at, by the time alone.
    const bool looksAgain = m_nUnacknowledged > 0 || m_bSignClosed;
    WaitFor(m_bSignClosed ? -1 : m_nSocket, POLLIN,
            looksAgain ? std::min(now + kAckCheck, m_closeDeadline) : m_closeDeadline);
}

int64_t CTcpSend::UnacknowledgedBytes() const {
    // The state first: should the sign acknowledge our end in between, the count below is only
    // smaller.
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(m_nSocket, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) {
        return -1;
    }
    int queued = 0;
    if (ioctl(m_nSocket, SIOCOUTQ, &queued) != 0) {
        return -1;
    }
    // Our end of the stream takes a place in the queue until the sign acknowledges it, which it
    // has not in these states.
    const bool endUnacknowledged =
        info.tcpi_state == TCP_FIN_WAIT1 || info.tcpi_state == TCP_CLOSING;
    return std::max(0, queued - (endUnacknowledged ? 1 : 0));
}

int CTcpSend::DiscardUntilEnd() {
    char buffer[kDiscardChunk];
    for (;;) {
        const ssize_t count = recv(m_nSocket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (count == 0) {
            return 1;
        }
        if (count < 0) {
            return WouldBlock(errno) ? 0 : -1;
        }
    }
}

void CTcpSend::WaitFor(int fd, short events, Clock::time_point until) {
    m_need = {fd, events, until};
}

void CTcpSend::Finish(LinkResult result) {
    if (m_nSocket >= 0) {
        close(m_nSocket);
        m_nSocket = -1;
    }
    m_result = result;
    m_step = Step::kDone;
    m_need = {};
}

void CTcpSend::Fail(LinkOperation operation, int error) {
    m_bConfirmed = false;
    Finish({SEND_FAILED, error, operation});
}

void CTcpSend::FailWait(int error) {
    if (!Done()) {
        Fail(StepOperation(), error);
    }
}

void CTcpSend::Cancel() {
    if (!Done()) {
        m_bConfirmed = false;
        Finish({SEND_CANCELLED, ECANCELED, LinkOperation::kCancel});
    }
}

LinkOperation CTcpSend::StepOperation() const {
    switch (m_step) {
        case Step::kSending:
            return LinkOperation::kSend;
        case Step::kAwaitingClose:
            return LinkOperation::kAwaitClose;
        default:
            return LinkOperation::kConnect;
    }
}

int WaitMsUntil(CTcpSend::Clock::time_point until) {
    constexpr int64_t kLongestWaitMs = 1'000'000;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - CTcpSend::Clock::now());
    return static_cast<int>(std::clamp<int64_t>(left.count(), 0, kLongestWaitMs));
}

void RunTcpSend(CTcpSend& send, const CCancelToken* cancel) {
    send.Begin();
    while (!send.Done()) {
        const CTcpSend::Need wait = send.Next();
        switch (WaitForFd(wait.fd, wait.events, WaitMsUntil(wait.until), cancel)) {
            case WaitResult::kCancelled:
                send.Cancel();
                break;
            case WaitResult::kFailed:
                send.FailWait(errno);
                break;
            case WaitResult::kTimedOut:
                send.Advance(0);
                break;
            case WaitResult::kReady: {
                // Also after an interruption: look at what the socket shows now.
                pollfd entry{wait.fd, wait.events, 0};
                send.Advance(poll(&entry, 1, 0) > 0 ? entry.revents : 0);
                break;
            }
        }
    }
}
