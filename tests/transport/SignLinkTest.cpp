#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>
#include <vector>

#include "support/SendTestSupport.h"
#include "transport/CCancelToken.h"
#include "transport/CSignInbox.h"
#include "transport/CSignMessageSplitter.h"
#include "transport/CSignPtyLink.h"
#include "transport/CSignTcpListener.h"

namespace {

constexpr Ipv4Octets kLoopback = {127, 0, 0, 1};

// What "Program Marquee" sends for Profibus-DP at group 0, unit 0: the setup string, then its
// confirmation.
const std::string kSetup = "^A000000^P3A020^P3R032^P3S002^P3W0";
const std::string kConfirmation =
    "^A000000^E1^L0^C1^D1^K0^dC1Profibus Communication Attributes Programmed.^N";

// Takes on a thread of its own, so that a fault fails the test instead of hanging it.
template <typename Take>
auto Bounded(Take take, CCancelToken& stop) {
    auto taking = std::async(std::launch::async, take);
    if (taking.wait_for(std::chrono::milliseconds(kTestWaitMs)) != std::future_status::ready) {
        ADD_FAILURE() << "nothing was received";
        stop.Cancel();
    }
    return taking.get();
}

SignReceipt ReceiveBounded(ISignLink& link, CCancelToken& stop) {
    return Bounded([&] { return link.Receive(stop); }, stop);
}

SignReceipt NextBounded(CSignInbox& inbox, CCancelToken& stop) {
    return Bounded([&] { return inbox.Next(stop).receipt; }, stop);
}

class CTempFolder {
public:
    CTempFolder() {
        char pattern[] = "/tmp/lumivex-sign-XXXXXX";
        m_strPath = mkdtemp(pattern);
    }
    ~CTempFolder() { std::filesystem::remove_all(m_strPath); }
    std::string Path(const char* name) const { return m_strPath + "/" + name; }

private:
    std::string m_strPath;
};

std::string LinkTarget(const std::string& path) {
    char target[256] = {};
    const ssize_t length = readlink(path.c_str(), target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<size_t>(length)) : std::string();
}

bool Exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

TEST(SignTcpListenerTest, EachConnectionIsOneMessageInTurn) {
    CSignTcpListener sign;
    ASSERT_EQ(sign.Listen(kLoopback, 0), 0);
    ASSERT_NE(sign.Port(), 0);
    EXPECT_EQ(sign.Endpoint(), "127.0.0.1:" + std::to_string(sign.Port()));
    // Queued before the sign reads any: it takes them one at a time, each up to its close.
    SendToPort(sign.Port(), "^L0^K0^dC1FIRST");
    SendToPort(sign.Port(), "");
    SendToPort(sign.Port(), ByteCycle(200000));
    CCancelToken stop;
    const SignReceipt first = ReceiveBounded(sign, stop);
    EXPECT_EQ(first.status, SignReceiveStatus::kMessage);
    EXPECT_EQ(first.bytes, "^L0^K0^dC1FIRST");
    EXPECT_EQ(first.source.rfind("tcp 127.0.0.1:", 0), 0U) << first.source;
    const SignReceipt second = ReceiveBounded(sign, stop);
    EXPECT_EQ(second.bytes, ByteCycle(200000)) << "the empty connection is no message";
    EXPECT_FALSE(second.truncated);

    // A new header ends the message before it, inside one connection too.
    SendToPort(sign.Port(), kSetup + kConfirmation);
    const SignReceipt setup = ReceiveBounded(sign, stop);
    EXPECT_EQ(setup.bytes, kSetup);
    const SignReceipt confirmation = ReceiveBounded(sign, stop);
    EXPECT_EQ(confirmation.bytes, kConfirmation);
    EXPECT_EQ(confirmation.source, setup.source);
}

TEST(SignTcpListenerTest, APortInUseIsRefused) {
    CSignTcpListener first;
    ASSERT_EQ(first.Listen(kLoopback, 0), 0);
    CSignTcpListener second;
    EXPECT_EQ(second.Listen(kLoopback, first.Port()), EADDRINUSE);
}

TEST(SignTcpListenerTest, AMessageBeyondTheLimitIsCut) {
    CSignTcpListener sign(10);
    ASSERT_EQ(sign.Listen(kLoopback, 0), 0);
    SendToPort(sign.Port(), "0123456789ABCDEF");
    SendToPort(sign.Port(), "next");
    CCancelToken stop;
    const SignReceipt cut = ReceiveBounded(sign, stop);
    EXPECT_EQ(cut.bytes, "0123456789");
    EXPECT_TRUE(cut.truncated);
    const SignReceipt next = ReceiveBounded(sign, stop);
    EXPECT_EQ(next.bytes, "next");
    EXPECT_FALSE(next.truncated);
}

TEST(SignTcpListenerTest, StopEndsAWaitEvenInsideAConnection) {
    CSignTcpListener sign;
    ASSERT_EQ(sign.Listen(kLoopback, 0), 0);
    CCancelToken idle;
    idle.Cancel();
    EXPECT_EQ(sign.Receive(idle).status, SignReceiveStatus::kStopped);

    const int open = SendToPort(sign.Port(), "never closed", false);
    CCancelToken stop;
    auto receiving = std::async(std::launch::async, [&] { return sign.Receive(stop); });
    stop.Cancel();
    ASSERT_EQ(receiving.wait_for(std::chrono::milliseconds(kTestWaitMs)),
              std::future_status::ready);
    EXPECT_EQ(receiving.get().status, SignReceiveStatus::kStopped);
    close(open);
}

TEST(SignPtyLinkTest, BytesUntilAQuietGapAreOneMessage) {
    const CTempFolder folder;
    const std::string link = folder.Path("ttySign");
    CSignPtyLink sign;
    ASSERT_EQ(sign.Open(link), 0);
    EXPECT_EQ(LinkTarget(link), sign.DevicePath());

    const int port = open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(port, 0);
    // Written in pieces, all before the sign reads: one message.
    ASSERT_EQ(write(port, "^L0^K0", 6), 6);
    ASSERT_EQ(write(port, "^dC1AB\n", 7), 7);
    CCancelToken stop;
    const SignReceipt first = ReceiveBounded(sign, stop);
    EXPECT_EQ(first.status, SignReceiveStatus::kMessage);
    EXPECT_EQ(first.bytes, "^L0^K0^dC1AB\n") << "the line passes bytes unchanged";
    EXPECT_EQ(first.source, "serial " + link);
    // The first message ended only after the line was quiet: what follows is another.
    ASSERT_EQ(write(port, "second", 6), 6);
    EXPECT_EQ(ReceiveBounded(sign, stop).bytes, "second");
    close(port);
}

TEST(SignPtyLinkTest, ASetupStringAndItsConfirmationBackToBackAreTwoMessages) {
    const CTempFolder folder;
    const std::string link = folder.Path("ttySign");
    CSignPtyLink sign;
    ASSERT_EQ(sign.Open(link), 0);
    // As "Program Marquee" sends them: each in an open of the port of its own, with no pause.
    for (const std::string& bytes : {kSetup, kConfirmation}) {
        const int port = open(link.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0);
        ASSERT_EQ(write(port, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        close(port);
    }
    CCancelToken stop;
    EXPECT_EQ(ReceiveBounded(sign, stop).bytes, kSetup);
    EXPECT_EQ(ReceiveBounded(sign, stop).bytes, kConfirmation);
}

TEST(SignPtyLinkTest, ASendersExclusiveUseEndsWithItsClose) {
    const CTempFolder folder;
    const std::string link = folder.Path("ttySign");
    // A gap that never ends during the test: only the sender's close can lift its lock.
    CSignPtyLink sign(std::chrono::milliseconds(10 * kTestWaitMs));
    ASSERT_EQ(sign.Open(link), 0);
    // Opened first: only root may open a terminal that is in exclusive use.
    const int observer = open(sign.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const int sender = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(ioctl(sender, TIOCEXCL), 0);
    ASSERT_EQ(write(sender, "x", 1), 1);
    CCancelToken stop;
    auto receiving = std::async(std::launch::async, [&] { return sign.Receive(stop); });
    int exclusive = 1;
    ASSERT_EQ(ioctl(observer, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    close(sender);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTestWaitMs);
    while (exclusive != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
        ASSERT_EQ(ioctl(observer, TIOCGEXCL, &exclusive), 0);
    }
    EXPECT_EQ(exclusive, 0) << "the next sender would find the port in use";
    stop.Cancel();
    EXPECT_EQ(receiving.get().status, SignReceiveStatus::kStopped);
    close(observer);
}

TEST(SignPtyLinkTest, TheLinkIsOursAlone) {
    const CTempFolder folder;
    const std::string taken = folder.Path("taken");
    close(open(taken.c_str(), O_CREAT | O_WRONLY, 0600));
    CSignPtyLink refused;
    EXPECT_EQ(refused.Open(taken), EEXIST);
    EXPECT_EQ(refused.FailedStep(), CSignPtyLink::OpenStep::kLink);
    EXPECT_TRUE(Exists(taken)) << "a path that is not ours stays";

    const std::string link = folder.Path("ttySign");
    {
        CSignPtyLink sign;
        ASSERT_EQ(sign.Open(link), 0);
        EXPECT_TRUE(Exists(link));
    }
    EXPECT_FALSE(Exists(link)) << "closing removes the link";

    CSignPtyLink replaced;
    ASSERT_EQ(replaced.Open(link), 0);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
    replaced.Close();
    EXPECT_EQ(LinkTarget(link), "/dev/null") << "a link someone else put there stays";
}

// Pieces as a link reads them, and the messages they make once the link ends the last.
TEST(SignMessageSplitterTest, ANewHeaderEndsTheMessageBeforeIt) {
    const struct {
        const char* name;
        std::vector<std::string> pieces;
        std::vector<std::string> messages;
        size_t limit = kMaxSignMessageBytes;
        std::vector<bool> truncated = {};
    } cases[] = {
        {"setup and confirmation", {kSetup + kConfirmation}, {kSetup, kConfirmation}},
        {"a header at the start ends nothing", {"^A01X"}, {"^A01X"}},
        {"a header across two pieces",
         {"^A000000^P1Z^", "A000000^P1L"},
         {"^A000000^P1Z", "^A000000^P1L"}},
        {"a caret at a piece's end, no header", {"AB^", "K1"}, {"AB^K1"}},
        {"a caret at the message's end", {"AB^"}, {"AB^"}},
        {"a caret before a header", {"X^^A01Y"}, {"X^", "^A01Y"}},
        {"headers back to back", {"^A^A", "^A"}, {"^A", "^A", "^A"}},
        {"no message from nothing", {"", ""}, {}},
        {"a cut message still ends at a header",
         {"0123456789^A01"},
         {"01234567", "^A01"},
         8,
         {true, false}},
    };
    for (const auto& c : cases) {
        CSignMessageSplitter splitter(c.limit);
        for (const std::string& piece : c.pieces) {
            splitter.Append(piece);
        }
        splitter.EndMessage();
        EXPECT_FALSE(splitter.Gathering()) << c.name;
        std::vector<std::string> messages;
        std::vector<bool> truncated;
        while (splitter.HasMessage()) {
            const SignReceipt message = splitter.TakeMessage("tcp");
            messages.push_back(message.bytes);
            truncated.push_back(message.truncated);
        }
        EXPECT_EQ(messages, c.messages) << c.name;
        EXPECT_EQ(truncated,
                  c.truncated.empty() ? std::vector<bool>(c.messages.size(), false) : c.truncated)
            << c.name;
    }
}

// The sign's reader holds on to the first message, as while it decodes and draws a long one:
// later senders are still taken, each read to its end and closed, and none is lost.
TEST(SignInboxTest, TakesConnectionsWhileTheReaderIsBusy) {
    constexpr int kSenders = 50;
    CSignTcpListener sign;
    ASSERT_EQ(sign.Listen(kLoopback, 0), 0);
    CSignInbox inbox(sign);
    CCancelToken stop;
    SendToPort(sign.Port(), "first");
    EXPECT_EQ(NextBounded(inbox, stop).bytes, "first");
    for (int i = 0; i < kSenders; ++i) {
        const int sender = SendToPort(sign.Port(), std::to_string(i), false);
        shutdown(sender, SHUT_WR);
        // The sign's close reaches the sender only once it has read the message to its end.
        pollfd entry{sender, POLLIN, 0};
        char byte = 0;
        ASSERT_TRUE(poll(&entry, 1, kTestWaitMs) == 1 && read(sender, &byte, 1) == 0)
            << "sender " << i << " was not taken";
        close(sender);
    }
    for (int i = 0; i < kSenders; ++i) {
        const SignReceipt receipt = NextBounded(inbox, stop);
        EXPECT_EQ(receipt.status, SignReceiveStatus::kMessage);
        EXPECT_EQ(receipt.bytes, std::to_string(i));
    }
    stop.Cancel();
    EXPECT_EQ(inbox.Next(stop).receipt.status, SignReceiveStatus::kStopped);
}

}  // namespace
