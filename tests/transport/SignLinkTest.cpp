#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "SendTestSupport.h"
#include "transport/CCancelToken.h"
#include "transport/CSignPtyLink.h"
#include "transport/CSignTcpListener.h"

namespace {

constexpr Ipv4Octets kLoopback = {127, 0, 0, 1};

// A connection to the listener; sends the bytes and, unless told otherwise, closes.
int SendToPort(uint16_t port, const std::string& bytes, bool close = true) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
    if (close) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Receives on a thread of its own, so that a fault fails the test instead of hanging it.
SignReceipt ReceiveBounded(ISignLink& link, CCancelToken& stop) {
    auto receiving = std::async(std::launch::async, [&] { return link.Receive(stop); });
    if (receiving.wait_for(std::chrono::milliseconds(kTestWaitMs)) != std::future_status::ready) {
        ADD_FAILURE() << "nothing was received";
        stop.Cancel();
    }
    return receiving.get();
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

}  // namespace
