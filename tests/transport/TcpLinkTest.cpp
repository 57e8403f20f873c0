#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <set>
#include <utility>

#include "support/SendTestSupport.h"
#include "transport/CBlockingSocket.h"
#include "transport/CCancelToken.h"
#include "transport/CSendDispatcher.h"
#include "transport/CTcpSendLoop.h"
#include "transport/LinkResult.h"

namespace {

// Far more than loopback takes in when the peer does not read: the sender's buffer grows to 4 MiB
// at most (tcp_wmem) and the peer's is held small.
constexpr size_t kMoreThanTheBuffersHold = 32u << 20;
constexpr int kSmallReceiveBuffer = 4096;

// One send as the program sends (no wait, on the caller's thread) or as the fleet does, in the
// shared send loop: with a wait for the sign's close, `confirmed` tells whether it came.
LinkResult SendOverTcp(const std::string& bytes, const std::string& host, uint16_t port,
                       const CCancelToken* cancel = nullptr,
                       std::optional<std::chrono::milliseconds> awaitClose = {},
                       bool* confirmed = nullptr) {
    if (!awaitClose) {
        CSendDispatcher dispatcher([](int) { return std::string(); });
        dispatcher.m_strSendText = bytes;
        dispatcher.m_strHostAddress = host;
        dispatcher.m_nHostPort = port;
        return dispatcher.SendOverTcp(cancel);
    }
    std::promise<std::pair<LinkResult, bool>> ended;
    std::future<std::pair<LinkResult, bool>> ending = ended.get_future();
    CTcpSendLoop::Shared().Start({host, port, bytes, awaitClose}, cancel,
                                 [&ended](const CTcpSend& send) {
                                     ended.set_value({send.Result(), send.SignConfirmed()});
                                 });
    const auto [result, signConfirmed] = ending.get();
    if (confirmed != nullptr) {
        *confirmed = signConfirmed;
    }
    return result;
}

enum class SignKind { kReadsAndCloses, kReadsAndHolds, kResets, kNeverReads };

// Plays one kind of sign on the listener: what it read, for those that read.
std::future<std::string> Play(CLoopbackListener& sign, SignKind kind) {
    if (kind == SignKind::kReadsAndCloses || kind == SignKind::kReadsAndHolds) {
        return kind == SignKind::kReadsAndCloses ? sign.AcceptAndReadAsync()
                                                 : sign.AcceptReadAndHoldAsync();
    }
    auto resetting = kind == SignKind::kResets ? sign.AcceptAndResetAsync() : std::future<void>();
    return std::async(std::launch::deferred, [resetting = std::move(resetting)]() mutable {
        if (resetting.valid()) {
            resetting.get();
        }
        return std::string();
    });
}

TEST(TcpLinkTest, DeliversTheBytesExactly) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"caret codes", "^C0^M"},         {"every byte value", ByteCycle(256)},
        {"9,999 bytes", ByteCycle(9999)}, {"10,000 bytes", ByteCycle(10000)},
        {"1 MB", ByteCycle(1u << 20)},
    };
    for (const auto& c : cases) {
        CLoopbackListener sign;
        ASSERT_TRUE(sign.Listening());
        auto receiving = sign.AcceptAndReadAsync();
        EXPECT_EQ(SendOverTcp(c.bytes, "127.0.0.1", sign.Port()).code, SEND_OK) << c.name;
        EXPECT_EQ(receiving.get(), c.bytes) << c.name;
    }
}

TEST(TcpLinkTest, AnEmptyStringConnectsSendsNothingAndFailsWithoutABox) {
    CLoopbackListener sign;
    ASSERT_TRUE(sign.Listening());
    auto receiving = sign.AcceptAndReadAsync();
    const LinkResult result = SendOverTcp("", "127.0.0.1", sign.Port());
    EXPECT_EQ(result.code, SEND_FAILED);
    EXPECT_EQ(result.operation, LinkOperation::kNone)
        << "no operation failed: nothing to tell the operator";
    EXPECT_EQ(receiving.get(), "");
}

// Each failure names the operation and the error it met itself, and the program survives a sign
// that hangs up mid-send.
TEST(TcpLinkTest, AFailureShowsTheErrorOfTheFailingOperation) {
    CRefusingPort refusing;
    CLoopbackListener neverReads(0, kSmallReceiveBuffer);
    CLoopbackListener hangsUp(0, kSmallReceiveBuffer);
    ASSERT_TRUE(neverReads.Listening() && hangsUp.Listening());
    auto hangingUp = hangsUp.AcceptAndCloseAsync();
    const std::string huge(kMoreThanTheBuffersHold, 'x');

    const struct {
        const char* name;
        std::string host;
        uint16_t port;
        const std::string& bytes;
        LinkOperation operation;
        std::set<int> errors;  // one of these
    } cases[] = {
        {"refused", "127.0.0.1", refusing.Port(), "^C0^M", LinkOperation::kConnect, {ECONNREFUSED}},
        {"unconfigured address",
         "0.0.0.0",
         refusing.Port(),
         "^C0^M",
         LinkOperation::kConnect,
         {EADDRNOTAVAIL}},
        {"peer never reads",
         "127.0.0.1",
         neverReads.Port(),
         huge,
         LinkOperation::kSendTimeout,
         {ETIMEDOUT}},
        {"peer closes at once",
         "127.0.0.1",
         hangsUp.Port(),
         huge,
         LinkOperation::kSend,
         {EPIPE, ECONNRESET}},
    };
    for (const auto& c : cases) {
        const LinkResult result = SendOverTcp(c.bytes, c.host, c.port);
        EXPECT_EQ(result.code, SEND_FAILED) << c.name;
        EXPECT_EQ(result.operation, c.operation) << c.name;
        EXPECT_EQ(c.errors.count(result.error), 1u) << c.name << ": " << result.error;
    }
    hangingUp.get();
}

// Waiting for the sign's close after the last byte tells a sign that read the message from one
// that reset the connection or never took the bytes; without the wait (the program's own send)
// each result is what it always was.
TEST(TcpLinkTest, OnlyASignThatClosesAfterReadingConfirmsWhenTheLinkWaitsForIt) {
    // For the signs that never close; the others close long before kSignCloseWait.
    constexpr std::chrono::milliseconds kRunsOut{200};
    const std::string small = "^C0^M";
    const std::string megabyte = ByteCycle(1u << 20);
    const std::string fitsOnlyOurBuffer = ByteCycle(64u << 10);
    const std::string huge(kMoreThanTheBuffersHold, 'x');
    const LinkResult ok;
    const LinkResult reset{SEND_FAILED, ECONNRESET, LinkOperation::kAwaitClose};  // or EPIPE
    const LinkResult untaken{SEND_FAILED, ETIMEDOUT, LinkOperation::kAwaitClose};
    const LinkResult noRoom{SEND_FAILED, ETIMEDOUT, LinkOperation::kSendTimeout};
    const struct {
        const char* name;
        SignKind sign;
        const std::string& bytes;
        std::chrono::milliseconds wait;
        LinkResult waited;
        bool confirmed;
        LinkCode unwaited;  // the program's own send
    } cases[] = {
        {"reads, closes", SignKind::kReadsAndCloses, small, kSignCloseWait, ok, true, SEND_OK},
        {"reads 1 MB, closes", SignKind::kReadsAndCloses, megabyte, kSignCloseWait, ok, true,
         SEND_OK},
        {"reads, never closes", SignKind::kReadsAndHolds, small, kRunsOut, ok, false, SEND_OK},
        {"resets", SignKind::kResets, small, kSignCloseWait, reset, false, SEND_OK},
        {"never reads", SignKind::kNeverReads, fitsOnlyOurBuffer, kRunsOut, untaken, false,
         SEND_OK},
        {"never reads, huge", SignKind::kNeverReads, huge, kRunsOut, noRoom, false, SEND_FAILED},
    };
    for (const auto& c : cases) {
        for (const bool waits : {true, false}) {
            SCOPED_TRACE(std::string(c.name) + (waits ? ", waiting" : ", not waiting"));
            CLoopbackListener sign(0, kSmallReceiveBuffer);
            ASSERT_TRUE(sign.Listening());
            auto received = Play(sign, c.sign);
            bool confirmed = false;
            const LinkResult result =
                SendOverTcp(c.bytes, "127.0.0.1", sign.Port(), nullptr,
                            waits ? std::optional(c.wait) : std::nullopt, &confirmed);
            const bool reads =
                c.sign == SignKind::kReadsAndCloses || c.sign == SignKind::kReadsAndHolds;
            EXPECT_EQ(received.get(), reads ? c.bytes : "");
            EXPECT_EQ(confirmed, waits && c.confirmed);
            if (!waits) {
                EXPECT_EQ(result.code, c.unwaited);
                continue;
            }
            EXPECT_EQ(result.code, c.waited.code);
            EXPECT_EQ(result.operation, c.waited.operation);
            EXPECT_TRUE(result.error == c.waited.error ||
                        (c.waited.error == ECONNRESET && result.error == EPIPE))
                << result.error;
        }
    }
}

// The gateway stops a sign's send at once, also while it waits for the sign's close: the wait
// here is far longer than the test waits for the send.
TEST(TcpLinkTest, CancelEndsTheWaitForTheSignsClose) {
    CLoopbackListener sign;
    ASSERT_TRUE(sign.Listening());
    auto received = sign.AcceptReadAndHoldAsync();
    CCancelToken cancel;
    auto sending = std::async(std::launch::async, [&] {
        return SendOverTcp("^C0^M", "127.0.0.1", sign.Port(), &cancel,
                           std::chrono::milliseconds(3 * kTestWaitMs));
    });
    EXPECT_EQ(received.get(), "^C0^M");  // the sign has had our close: the link waits
    cancel.Cancel();
    ASSERT_EQ(sending.wait_for(std::chrono::milliseconds(kTestWaitMs)), std::future_status::ready);
    EXPECT_EQ(sending.get().code, SEND_CANCELLED);
}

uint16_t LocalPort(int socket) {
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(socket, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// A bind that took a port itself would have to pass over every port held by a connection still
// waiting to close: after some 28,000 sends in a minute it finds none left ("Bind" fails).
TEST(TcpLinkTest, AWildcardBindLeavesThePortToConnect) {
    CLoopbackListener sign;
    ASSERT_TRUE(sign.Listening());
    auto receiving = sign.AcceptAndReadAsync();
    CBlockingSocket socket;
    socket.Create();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    socket.Bind(address);
    EXPECT_EQ(LocalPort(socket.m_hSocket), 0);
    address.sin_port = htons(sign.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socket.Connect(address);
    EXPECT_NE(LocalPort(socket.m_hSocket), 0);
    socket.Close();
    EXPECT_EQ(receiving.get(), "");
}

// A sign that never answers the connection: a listener whose queue is full. The wait ends at the
// limit with a time-out of Connect (the program's own limit is 20 s; a short one here).
TEST(TcpLinkTest, AConnectNobodyAnswersEndsAtItsLimit) {
    CLoopbackListener full(0, 0, "127.0.0.1", 0);
    ASSERT_TRUE(full.Listening());
    if (!full.FillAcceptQueue()) {
        GTEST_SKIP() << "the listener's queue would not fill";
    }
    CBlockingSocket socket;
    socket.Create();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(full.Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    try {
        socket.Connect(address, std::chrono::milliseconds(100));
        ADD_FAILURE() << "connected to a full queue";
    } catch (const CBlockingSocketException& error) {
        EXPECT_STREQ(error.what(), "Connect");
        EXPECT_EQ(error.m_nError, ETIMEDOUT);
    }
}

// The operator's Cancel ends a send to a sign that stopped reading at once, not after the
// time-outs of every step.
TEST(TcpLinkTest, CancelEndsTheWaitAtOnce) {
    CLoopbackListener neverReads(0, kSmallReceiveBuffer);
    ASSERT_TRUE(neverReads.Listening());
    CCancelToken cancel;
    cancel.Cancel();
    const LinkResult result = SendOverTcp(std::string(kMoreThanTheBuffersHold, 'x'), "127.0.0.1",
                                          neverReads.Port(), &cancel);
    EXPECT_EQ(result.code, SEND_CANCELLED);
}

// A token's descriptor is made when a waiter first asks for it (a send in the shared loop never
// does); a cancel reaches every waiter, also one that asked only after the cancel, and the shared
// waiter's own descriptor.
TEST(TcpLinkTest, ACancelReachesEveryWaiterWheneverItCame) {
    const auto readable = [](int fd) {
        pollfd entry{fd, POLLIN, 0};
        return poll(&entry, 1, 0) == 1;
    };
    for (const bool askedFirst : {true, false}) {
        SCOPED_TRACE(askedFirst ? "asked before the cancel" : "asked after it");
        CCancelToken cancel;
        const int shared = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        cancel.AlsoWake(shared);
        const int early = askedFirst ? cancel.Fd() : -1;
        EXPECT_FALSE(cancel.Cancelled());
        cancel.Cancel();
        EXPECT_TRUE(cancel.Cancelled());
        EXPECT_TRUE(readable(cancel.Fd()));
        EXPECT_EQ(cancel.Fd(), askedFirst ? early : cancel.Fd());
        EXPECT_TRUE(readable(shared));
        EXPECT_EQ(WaitForFd(-1, POLLIN, 3 * kTestWaitMs, &cancel), WaitResult::kCancelled);
        close(shared);
    }
}

}  // namespace
