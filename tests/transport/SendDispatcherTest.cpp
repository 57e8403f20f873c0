#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include "settings/SendNotices.h"
#include "support/SendTestSupport.h"
#include "transport/CCancelToken.h"
#include "transport/CSendDispatcher.h"
#include "transport/LinkResult.h"
#include "transport/SerialDevices.h"

namespace {

// Maps "COMn" to the test's device and records which n was asked for; the TCP link answers as
// scripted, without a connection.
class CScriptedDispatcher : public CSendDispatcher {
public:
    explicit CScriptedDispatcher(std::string devicePath = "/nonexistent/ttyLumivex")
        : CSendDispatcher([this](int comNumber) {
              m_comNumbers.push_back(comNumber);
              return m_strDevicePath;
          }),
          m_strDevicePath(std::move(devicePath)) {}

    LinkResult SendOverTcp(const CCancelToken*) override {
        ++m_nTcpSends;
        return m_tcpResult;
    }

    std::string m_strDevicePath;
    std::vector<int> m_comNumbers;
    int m_nTcpSends = 0;
    LinkResult m_tcpResult;
};

LinkSettings Port(int32_t comPort) {
    LinkSettings link;
    link.comPort = comPort;
    return link;
}

std::vector<std::string> Texts(const SendOutcome& outcome) {
    std::vector<std::string> texts;
    for (const SendNotice& notice : SendNotices(outcome)) {
        texts.push_back(notice.text);
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
        const SendOutcome outcome = dispatcher.SendToMarquee("^C0^M", Port(c.index));
        EXPECT_FALSE(outcome.Delivered()) << c.index;
        EXPECT_EQ(dispatcher.m_comNumbers, std::vector<int>{c.comNumber}) << c.index;
        EXPECT_EQ(LinkName(outcome),
                  "COM" + std::to_string(c.comNumber) + " (/nonexistent/ttyLumivex)");
        EXPECT_EQ(dispatcher.m_nTcpSends, 0) << c.index;
        const std::vector<SendNotice> notices = SendNotices(outcome);
        ASSERT_EQ(notices.size(), 1u) << c.index;
        EXPECT_EQ(notices[0].text, "Invalid Port");
        EXPECT_EQ(notices[0].icon, NoticeIcon::kExclamation);
        EXPECT_EQ(notices[0].caption, "") << "the application's title";
    }
}

TEST(SendDispatcherTest, EthernetFillsTheTcpMembers) {
    for (const LinkCode tcpResult : {SEND_OK, SEND_FAILED}) {
        CScriptedDispatcher dispatcher;
        dispatcher.m_tcpResult.code = tcpResult;
        LinkSettings link = Port(8);
        link.ipAddress = {10, 0, 0, 7};
        const SendOutcome outcome = dispatcher.SendToMarquee("^C0^M", link);
        EXPECT_EQ(outcome.Delivered(), tcpResult == SEND_OK);
        EXPECT_EQ(dispatcher.m_nTcpSends, 1);
        EXPECT_EQ(dispatcher.m_strHostAddress, "10.0.0.7");
        EXPECT_EQ(dispatcher.m_nHostPort, 49999);
        EXPECT_EQ(dispatcher.m_strSendText, "^C0^M");
        EXPECT_EQ(LinkName(outcome), "Ethernet 10.0.0.7:49999");
        EXPECT_TRUE(dispatcher.m_comNumbers.empty());
        EXPECT_TRUE(SendNotices(outcome).empty()) << "an empty string fails without a box";
    }
}

TEST(SendDispatcherTest, SerialOutcomesOnRealDevices) {
    CPtyPair pty;
    {
        CScriptedDispatcher dispatcher(pty.SlavePath());
        auto reading = pty.ReadAsync(5);
        const SendOutcome outcome = dispatcher.SendToMarquee("^C0^M", Port(2));
        EXPECT_TRUE(outcome.Delivered());
        EXPECT_EQ(reading.get(), "^C0^M");
        EXPECT_TRUE(SendNotices(outcome).empty());
    }
    {
        const int holder = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
        CScriptedDispatcher dispatcher(pty.SlavePath());
        EXPECT_EQ(Texts(dispatcher.SendToMarquee("^C0^M", Port(2))),
                  std::vector<std::string>{"Port in use Retry later"});
        close(holder);
    }
    {
        // A name with no terminal behind it is a missing port, not an unexplained failure.
        CScriptedDispatcher dispatcher("/dev/null");
        EXPECT_EQ(Texts(dispatcher.SendToMarquee("^C0^M", Port(2))),
                  std::vector<std::string>{"Invalid Port"});
    }
    {
        LinkSettings link = Port(2);
        link.line.baudRate = 12345;
        CScriptedDispatcher dispatcher(pty.SlavePath());
        EXPECT_EQ(Texts(dispatcher.SendToMarquee("^C0^M", link)),
                  std::vector<std::string>{pty.SlavePath() +
                                           " cannot run at 12345 bits per second.\nChoose another "
                                           "rate on the PC Communication Setup page."});
    }
}

// A port this user may not open: the system's reason, the device and the group to join. The send
// runs in a child without root's privileges, since root opens any device.
TEST(SendDispatcherTest, APortThisUserMayNotOpenSaysWhyAndWhichGroupToJoin) {
    CPtyPair pty;
    ASSERT_EQ(chmod(pty.SlavePath().c_str(), geteuid() == 0 ? 0600 : 0000), 0);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        constexpr uid_t kNobody = 65534;
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setresgid(kNobody, kNobody, kNobody) != 0 ||
             setresuid(kNobody, kNobody, kNobody) != 0)) {
            _exit(3);
        }
        CScriptedDispatcher dispatcher(pty.SlavePath());
        const SendOutcome outcome = dispatcher.SendToMarquee("^C0^M", Port(0));
        const std::vector<std::string> texts = Texts(outcome);
        const std::string text = texts.size() == 1 ? texts[0] : "";
        [[maybe_unused]] const ssize_t written = write(pipeFds[1], text.data(), text.size());
        _exit(0);
    }
    close(pipeFds[1]);
    std::string text;
    char buffer[512];
    for (ssize_t count; (count = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(count));
    }
    close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not drop privileges";
    const std::string group = FileGroupName(pty.SlavePath());
    EXPECT_EQ(text, std::string(std::strerror(EACCES)) + ": " + pty.SlavePath() +
                        "\nTo use this port, join the group \"" + group + "\" (sudo usermod -aG " +
                        group + " $USER) and log in again.");
}

TEST(SendDispatcherTest, CancelEndsAStalledSerialSend) {
    CPtyPair pty;  // the master never reads: the write waits for room
    CScriptedDispatcher dispatcher(pty.SlavePath());
    CCancelToken cancel;
    std::thread operatorCancels([&cancel] { cancel.Cancel(); });
    const SendOutcome outcome = dispatcher.SendToMarquee(ByteCycle(1u << 20), Port(0), &cancel);
    operatorCancels.join();
    EXPECT_EQ(outcome.result.code, SEND_CANCELLED);
    EXPECT_TRUE(SendNotices(outcome).empty()) << "the operator knows: no box of the link's";
    CScriptedDispatcher next(pty.SlavePath());
    EXPECT_TRUE(next.SendToMarquee("", Port(0)).Delivered()) << "the port was let go";
}

// Each failure's box: the program's own text, caption and icon, and below it the line that names
// the link, with the system's reason where the text does not give one.
TEST(SendDispatcherTest, NoticesOfEachFailure) {
    const auto tcp = [](LinkResult result) {
        SendOutcome outcome;
        outcome.overTcp = true;
        outcome.result = std::move(result);
        outcome.portName = "Ethernet";
        outcome.devicePath = "127.0.0.3:49999";
        return outcome;
    };
    const auto serial = [](LinkResult result) {
        SendOutcome outcome;
        outcome.result = std::move(result);
        outcome.portName = "COM3";
        outcome.devicePath = "/dev/ttyUSB0";
        return outcome;
    };
    const std::string device = "COM3 (/dev/ttyUSB0)";
    const std::string sign = "Ethernet 127.0.0.3:49999";
    const std::string kError = "Error";
    const struct {
        const char* name;
        SendOutcome outcome;
        std::vector<SendNotice> notices;
    } cases[] = {
        {"delivered", serial({}), {}},
        {"cancelled", serial({SEND_CANCELLED, 0, LinkOperation::kWrite}), {}},
        {"no such device",
         serial({SEND_INVALID_PORT, ENOENT, LinkOperation::kOpen}),
         {{"Invalid Port", "", NoticeIcon::kExclamation,
           "cannot open " + device + ": " + std::strerror(ENOENT)}}},
        {"held by another program: the text says why",
         serial({SEND_PORT_IN_USE, EWOULDBLOCK, LinkOperation::kOpen}),
         {{"Port in use Retry later", "", NoticeIcon::kExclamation, "cannot open " + device}}},
        {"unplugged while writing",
         serial({SEND_FAILED, EIO, LinkOperation::kWrite}),
         {{"Error in sending data", "", NoticeIcon::kExclamation,
           "cannot send to " + device + ": " + std::strerror(EIO)}}},
        {"the system's own reason, under Error",
         serial({SEND_SYSTEM_ERROR, ENOMEM, LinkOperation::kConfigure}),
         {{std::string(std::strerror(ENOMEM)) + ": /dev/ttyUSB0", kError, NoticeIcon::kError,
           "cannot open " + device}}},
        {"refused",
         tcp({SEND_FAILED, ECONNREFUSED, LinkOperation::kConnect}),
         {{std::strerror(ECONNREFUSED), kError, NoticeIcon::kError, "cannot connect to " + sign}}},
        {"empty string over TCP", tcp({SEND_FAILED, 0, LinkOperation::kNone}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<SendNotice> notices = SendNotices(c.outcome);
        ASSERT_EQ(notices.size(), c.notices.size());
        for (size_t i = 0; i < notices.size(); ++i) {
            EXPECT_EQ(notices[i].text, c.notices[i].text);
            EXPECT_EQ(notices[i].caption, c.notices[i].caption);
            EXPECT_EQ(notices[i].icon, c.notices[i].icon);
            EXPECT_EQ(notices[i].details, c.notices[i].details);
        }
    }
}

}  // namespace
