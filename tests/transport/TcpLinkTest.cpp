#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "SendTestSupport.h"
#include "transport/CBlockingSocket.h"
#include "transport/CSendDispatcher.h"
#include "transport/LinkResult.h"

namespace {

// Far more than loopback takes in when the peer does not read: the sender's buffer grows to 4 MiB
// at most (tcp_wmem) and the peer's is held small.
constexpr size_t kMoreThanTheBuffersHold = 32u << 20;
constexpr int kSmallReceiveBuffer = 4096;

// One send through the link as the dispatcher sets it up; boxes go to the recorder.
int SendOverTcp(const std::string& bytes, const std::string& host, uint16_t port,
                RecordingMessageService& messages) {
    CSendDispatcher dispatcher([](int) { return std::string(); });
    dispatcher.SetMessageService(messages);
    dispatcher.m_strSendText = bytes;
    dispatcher.m_strHostAddress = host;
    dispatcher.m_nHostPort = port;
    return dispatcher.SendOverTcp();
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
        RecordingMessageService messages;
        EXPECT_EQ(SendOverTcp(c.bytes, "127.0.0.1", sign.Port(), messages), SEND_OK) << c.name;
        EXPECT_EQ(receiving.get(), c.bytes) << c.name;
        EXPECT_TRUE(messages.shown.empty()) << c.name;
    }
}

TEST(TcpLinkTest, AnEmptyStringConnectsSendsNothingAndFailsWithoutABox) {
    CLoopbackListener sign;
    ASSERT_TRUE(sign.Listening());
    auto receiving = sign.AcceptAndReadAsync();
    RecordingMessageService messages;
    EXPECT_EQ(SendOverTcp("", "127.0.0.1", sign.Port(), messages), SEND_FAILED);
    EXPECT_EQ(receiving.get(), "");
    EXPECT_TRUE(messages.shown.empty());
}

// Each failure shows one "Error" box with the text of the error its own operation met, and the
// program survives a sign that hangs up mid-send.
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
        std::set<int> errors;  // one of these
    } cases[] = {
        {"refused", "127.0.0.1", refusing.Port(), "^C0^M", {ECONNREFUSED}},
        {"unconfigured address", "0.0.0.0", refusing.Port(), "^C0^M", {EADDRNOTAVAIL}},
        {"peer never reads", "127.0.0.1", neverReads.Port(), huge, {ETIMEDOUT}},
        {"peer closes at once", "127.0.0.1", hangsUp.Port(), huge, {EPIPE, ECONNRESET}},
    };
    for (const auto& c : cases) {
        RecordingMessageService messages;
        EXPECT_EQ(SendOverTcp(c.bytes, c.host, c.port, messages), SEND_FAILED) << c.name;
        ASSERT_EQ(messages.shown.size(), 1u) << c.name;
        const RecordingMessageService::Shown& box = messages.shown.front();
        std::set<std::string> texts;
        for (const int error : c.errors) {
            texts.insert(std::strerror(error));
        }
        EXPECT_EQ(texts.count(box.text), 1u) << c.name << ": " << box.text;
        EXPECT_EQ(box.caption, "Error") << c.name;
        EXPECT_EQ(box.icon, MessageIcon::kInformation) << c.name;
        EXPECT_EQ(box.buttons, MessageButtons::kOk) << c.name;
    }
    hangingUp.get();
}

TEST(TcpLinkTest, ErrorMessageIsAlwaysTerminated) {
    const struct {
        const char* operation;
        int error;
        size_t size;
        const char* expected;
    } cases[] = {
        {"Connect", 111, 200, "Connect error #111"},
        {"Send timeout", 0, 200, "Send timeout error"},
        {"Connect", 111, 5, "Conn"},
        {"Connect", 111, 1, ""},
    };
    for (const auto& c : cases) {
        char buffer[200];
        std::memset(buffer, 'x', sizeof buffer);
        const CBlockingSocketException error(c.operation, c.error);
        EXPECT_TRUE(error.GetErrorMessage(buffer, c.size)) << c.expected;
        EXPECT_STREQ(buffer, c.expected);
    }
    char untouched = 'x';
    EXPECT_FALSE(CBlockingSocketException("Close", 9).GetErrorMessage(&untouched, 0));
    EXPECT_EQ(untouched, 'x');
}

}  // namespace
