#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "SendTestSupport.h"
#include "transport/CSendDispatcher.h"
#include "transport/LinkResult.h"

namespace {

// Maps "COMn" to the test's devices and records which n was asked for; the TCP link answers as
// scripted, without a connection.
class CScriptedDispatcher : public CSendDispatcher {
public:
    explicit CScriptedDispatcher(std::string devicePath = "/nonexistent/ttyLumivex")
        : CSendDispatcher([this](int comNumber) {
              m_comNumbers.push_back(comNumber);
              return m_strDevicePath;
          }),
          m_strDevicePath(std::move(devicePath)) {
        SetMessageService(m_messages);
    }

    int SendOverTcp() override {
        ++m_nTcpSends;
        return m_nTcpResult;
    }

    std::string m_strDevicePath;
    std::vector<int> m_comNumbers;
    int m_nTcpSends = 0;
    int m_nTcpResult = SEND_OK;
    RecordingMessageService m_messages;
};

LinkSettings Port(int32_t comPort) {
    LinkSettings link;
    link.comPort = comPort;
    return link;
}

std::vector<std::string> Texts(const RecordingMessageService& messages) {
    std::vector<std::string> texts;
    for (const RecordingMessageService::Shown& message : messages.shown) {
        texts.push_back(message.text);
    }
    return texts;
}

TEST(SendDispatcherTest, PortIndexChoosesTheComPort) {
    const struct {
        int32_t index;
        int comNumber;
    } cases[] = {{0, 1}, {1, 2}, {2, 3}, {3, 4},  {4, 5},  {5, 6},
                 {6, 7}, {7, 8}, {9, 1}, {-1, 1}, {100, 1}};
    for (const auto& c : cases) {
        CScriptedDispatcher dispatcher;
        EXPECT_FALSE(dispatcher.SendToMarquee("^C0^M", Port(c.index))) << c.index;
        EXPECT_EQ(dispatcher.m_comNumbers, std::vector<int>{c.comNumber}) << c.index;
        EXPECT_EQ(dispatcher.m_nTcpSends, 0) << c.index;
        ASSERT_EQ(dispatcher.m_messages.shown.size(), 1u) << c.index;
        const RecordingMessageService::Shown& box = dispatcher.m_messages.shown.front();
        EXPECT_EQ(box.text, "Invalid Port");
        EXPECT_EQ(box.icon, MessageIcon::kExclamation);
        EXPECT_EQ(box.buttons, MessageButtons::kOk);
        EXPECT_EQ(box.caption, "") << "the application's title";
    }
}

TEST(SendDispatcherTest, EthernetFillsTheTcpMembersAndAddsNoBox) {
    for (const int tcpResult : {SEND_OK, SEND_FAILED}) {
        CScriptedDispatcher dispatcher;
        dispatcher.m_nTcpResult = tcpResult;
        LinkSettings link = Port(8);
        link.ipAddress = {10, 0, 0, 7};
        EXPECT_EQ(dispatcher.SendToMarquee("^C0^M", link), tcpResult == SEND_OK);
        EXPECT_EQ(dispatcher.m_nTcpSends, 1);
        EXPECT_EQ(dispatcher.m_strHostAddress, "10.0.0.7");
        EXPECT_EQ(dispatcher.m_nHostPort, 49999);
        EXPECT_EQ(dispatcher.m_strSendText, "^C0^M");
        EXPECT_TRUE(dispatcher.m_comNumbers.empty());
        EXPECT_TRUE(dispatcher.m_messages.shown.empty());
    }
}

TEST(SendDispatcherTest, SerialSendShowsAtMostOneBox) {
    CPtyPair pty;
    {
        CScriptedDispatcher dispatcher(pty.SlavePath());
        auto reading = pty.ReadAsync(5);
        EXPECT_TRUE(dispatcher.SendToMarquee("^C0^M", Port(2)));
        EXPECT_EQ(reading.get(), "^C0^M");
        EXPECT_TRUE(dispatcher.m_messages.shown.empty());
    }
    {
        const int holder = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        CScriptedDispatcher dispatcher(pty.SlavePath());
        EXPECT_FALSE(dispatcher.SendToMarquee("^C0^M", Port(2)));
        EXPECT_EQ(Texts(dispatcher.m_messages),
                  std::vector<std::string>{"Port in use Retry later"});
        close(holder);
    }
    {
        // A raw system code: the caller reports the failure, the dispatcher shows nothing.
        CScriptedDispatcher dispatcher("/dev/null");
        EXPECT_FALSE(dispatcher.SendToMarquee("^C0^M", Port(2)));
        EXPECT_TRUE(dispatcher.m_messages.shown.empty());
    }
}

TEST(SendDispatcherTest, LinkErrorTexts) {
    const struct {
        int code;
        std::vector<std::string> texts;
    } cases[] = {
        {SEND_OK, {}},
        {SEND_INVALID_PORT, {"Invalid Port"}},
        {SEND_PORT_IN_USE, {"Port in use Retry later"}},
        {SEND_FAILED, {"Error in sending data"}},
        {4, {}},
        {ENOTTY, {}},
        {-1, {}},
    };
    for (const auto& c : cases) {
        CScriptedDispatcher dispatcher;
        dispatcher.ShowLinkError(c.code);
        EXPECT_EQ(Texts(dispatcher.m_messages), c.texts) << c.code;
    }
}

TEST(SendDispatcherTest, UnconfiguredAddressFailsWithOneErrorBox) {
    // The real TCP link; 0.0.0.0 is refused before any traffic.
    RecordingMessageService messages;
    CSendDispatcher dispatcher([](int) { return std::string(); });
    dispatcher.SetMessageService(messages);
    EXPECT_FALSE(dispatcher.SendToMarquee("^C0^M", Port(8)));
    EXPECT_EQ(dispatcher.m_strHostAddress, "0.0.0.0");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown.front().text, std::strerror(EADDRNOTAVAIL));
    EXPECT_EQ(messages.shown.front().caption, "Error");
}

}  // namespace
