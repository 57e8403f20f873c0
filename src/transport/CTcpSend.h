#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "transport/CBlockingSocket.h"
#include "transport/LinkResult.h"

class CCancelToken;

// Seconds that each step of a TCP send may wait for room to send.
inline constexpr int kTcpSendTimeoutSeconds = 1;

// One string to one sign over a connection of its own.
struct TcpSendRequest {
    std::string host;  // "A.B.C.D"
    uint16_t port = 0;
    std::string bytes;
    // Unset: the send ends at the last byte written (the program's own send). Set: it then closes
    // its side and waits up to this long for the sign to close its own, so that a sign that resets
    // the connection or never reads is a failed send ("Await close").
    std::optional<std::chrono::milliseconds> awaitSignClose;
    std::chrono::milliseconds connectLimit = kConnectTimeout;
};

// One TCP send as steps that never block, so that one waiter can drive any number of them: the
// caller waits for what Next asks, then calls Advance. Outcomes as the send has always had them:
// SEND_OK, SEND_FAILED with the failed operation and its errno (no operation for an empty string,
// which sends nothing), SEND_CANCELLED.
class CTcpSend {
public:
    using Clock = std::chrono::steady_clock;

    // What the send waits for: events on fd (fd -1: only the time), until `until`.
    struct Need {
        int fd = -1;
        short events = 0;
        Clock::time_point until;
    };

    explicit CTcpSend(TcpSendRequest request);
    ~CTcpSend();
    CTcpSend(const CTcpSend&) = delete;
    CTcpSend& operator=(const CTcpSend&) = delete;

    // Opens the connection (or fails at once). Once, first.
    void Begin();
    bool Done() const { return m_step == Step::kDone; }
    Need Next() const { return m_need; }
    // The events the socket showed, 0 when the wait ran out.
    void Advance(short revents);
    // A wait that failed (errno) ends the send as the step under way failing with it.
    void FailWait(int error);
    // Ends the send at once, its socket closed.
    void Cancel();

    const LinkResult& Result() const { return m_result; }
    // The sign closed its end after taking every byte: only with the wait for it.
    bool SignConfirmed() const { return m_bConfirmed; }
    const TcpSendRequest& Request() const { return m_request; }

private:
    enum class Step { kIdle, kConnecting, kSending, kAwaitingClose, kDone };

    void Connected();
    void SendSome();
    void WrittenAll();
    void CloseAndFinish();
    void LookForClose(bool readable);
    // Reads and drops what the sign sent; true once it has closed its end. -1: failed (errno).
    int DiscardUntilEnd();
    // Bytes sent that the sign has not acknowledged, our own end of the stream left out; -1 with
    // errno on failure.
    int64_t UnacknowledgedBytes() const;
    void WaitFor(int fd, short events, Clock::time_point until);
    void Finish(LinkResult result);
    void Fail(LinkOperation operation, int error);
    LinkOperation StepOperation() const;

    TcpSendRequest m_request;
    Step m_step = Step::kIdle;
    int m_nSocket = -1;
    Need m_need;
    size_t m_nSent = 0;
    LinkResult m_result{SEND_CANCELLED, 0, LinkOperation::kNone};
    bool m_bConfirmed = false;
    // While waiting for the sign's close.
    Clock::time_point m_closeDeadline;
    int64_t m_nUnacknowledged = 0;
    bool m_bSignClosed = false;
};

// Milliseconds for poll from now to the time, rounded up so that poll does not wake just before it.
int WaitMsUntil(CTcpSend::Clock::time_point until);

// Drives one send to its end on the calling thread; the token, when given, cancels it at once.
void RunTcpSend(CTcpSend& send, const CCancelToken* cancel);
