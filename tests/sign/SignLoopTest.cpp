// The sign's loop on real links in this process: what it makes of each message, in order, and how
// it ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "sign/SignLoop.h"
#include "support/SendTestSupport.h"
#include "transport/CCancelToken.h"
#include "transport/CSignPtyLink.h"
#include "transport/CSignTcpListener.h"

namespace {

// Keeps each message and ends the loop after the count; a watchdog ends it anyway, so that a lost
// message fails the test instead of hanging it.
class CRecorder : public ISignObserver {
public:
    CRecorder(CCancelToken& stop, size_t count) : m_stop(stop), m_nCount(count) {
        m_watchdog = std::thread([this, done = m_done.get_future()] {
            if (done.wait_for(std::chrono::milliseconds(kTestWaitMs)) !=
                std::future_status::ready) {
                m_stop.Cancel();
            }
        });
    }
    ~CRecorder() override {
        m_done.set_value();
        m_watchdog.join();
    }
    CRecorder(const CRecorder&) = delete;
    CRecorder& operator=(const CRecorder&) = delete;

    void OnSignMessage(const SignMessage& message) override {
        messages.push_back(message);
        if (messages.size() == m_nCount) {
            m_stop.Cancel();
        }
    }

    std::vector<SignMessage> messages;

private:
    CCancelToken& m_stop;
    size_t m_nCount;
    std::promise<void> m_done;
    std::thread m_watchdog;
};

constexpr int32_t kOneLineOfTen = 0;  // the default model

TEST(SignLoopTest, ReadsEachMessageInOrderOfArrival) {
    CSignTcpListener link;
    ASSERT_EQ(link.Listen({127, 0, 0, 1}, 0), 0);
    SendToPort(link.Port(), "^L0^E0X");
    SendToPort(link.Port(), "^A000000^P1Z");
    // A warning a byte: the loop keeps the first hundred and counts the rest.
    SendToPort(link.Port(), std::string(150, '\n'));
    SendToPort(link.Port(), "^K1^dC1AB^N^K0^dC1C");  // two lines, the first two units high

    CCancelToken stop;
    CRecorder recorder(stop, 4);
    const SignLoopEnd end = RunSignLoop(link, {&recorder}, stop);
    EXPECT_FALSE(end.linkFailed);
    ASSERT_EQ(recorder.messages.size(), 4U);
    const struct {
        const char* name;
        size_t warnings;
        size_t warningsLeftOut;
        std::string jsonHas;
        std::string jsonLacks;
    } cases[] = {
        {"a message", 2, 0, R"(,"bytes":7,"message":{)", "leftOut"},
        {"a network string", 0, 0, R"("network":{"action":"disable")", "\"message\""},
        {"a warning a byte", 100, 50, R"("bytes":150,)", "truncated"},
        {"more than the model shows", 1, 0,
         R"("leftOut":"lines 1 to 2 left out: line 1 needs 2 of the sign's 1 line")", "network"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const SignMessage& message = recorder.messages[i];
        EXPECT_EQ(message.number, static_cast<int64_t>(i + 1)) << c.name;
        EXPECT_EQ(message.source.rfind("tcp 127.0.0.1:", 0), 0U)
            << c.name << ": " << message.source;
        EXPECT_EQ(message.time.size(), std::string("2025-01-31T12:34:56.789Z").size()) << c.name;
        EXPECT_EQ(message.decoded.warnings.size(), c.warnings)
            << c.name << ", first: "
            << (message.decoded.warnings.empty() ? "" : message.decoded.warnings[0].text);
        EXPECT_EQ(message.decoded.warningsLeftOut, c.warningsLeftOut) << c.name;
        const std::string json = SignMessageJson(message, kOneLineOfTen);
        EXPECT_EQ(json.rfind("{\"number\":" + std::to_string(i + 1) + ",\"time\":\"", 0), 0U)
            << json;
        EXPECT_NE(json.find(c.jsonHas), std::string::npos) << c.name << ": " << json;
        EXPECT_EQ(json.find(c.jsonLacks), std::string::npos) << c.name << ": " << json;
    }
    const std::vector<DecodeWarning>& first = recorder.messages[0].decoded.warnings;
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), [](const DecodeWarning& warning) {
        return warning.offset == 3 &&
               warning.text.rfind("^E0 stands out of the header's order", 0) == 0;
    }));
}

TEST(SignLoopTest, TakesASetupStringThroughAPseudoTerminal) {
    char pattern[] = "/tmp/lumivex-signloop-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    const std::string path = folder + "/ttySign";
    {
        CSignPtyLink link;
        ASSERT_EQ(link.Open(path), 0);
        const int port = open(path.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(port, 0);
        const std::string setup = "^A000000^P3A020^P3R032^P3S002^P3W0";
        ASSERT_EQ(write(port, setup.data(), setup.size()), static_cast<ssize_t>(setup.size()));
        close(port);

        CCancelToken stop;
        CRecorder recorder(stop, 1);
        EXPECT_FALSE(RunSignLoop(link, {&recorder}, stop).linkFailed);
        ASSERT_EQ(recorder.messages.size(), 1U);
        const SignMessage& message = recorder.messages[0];
        EXPECT_EQ(message.source, "serial " + path);
        const std::string json = SignMessageJson(message, kOneLineOfTen);
        EXPECT_NE(json.find(R"("network":{"action":"setup","type":"profibus")"), std::string::npos)
            << json;
    }
    std::filesystem::remove_all(folder);
}

// A link that brings one message and then fails.
class CFailingLink : public ISignLink {
public:
    SignReceipt Receive(const CCancelToken&) override {
        if (m_nCalls++ == 0) {
            return {SignReceiveStatus::kMessage, "^L0^K0^dC1A", "test", false, 0};
        }
        return {SignReceiveStatus::kFailed, "", "", false, EIO};
    }

private:
    int m_nCalls = 0;
};

TEST(SignLoopTest, AFailedLinkEndsTheLoopWithItsError) {
    CFailingLink link;
    CCancelToken stop;
    CRecorder recorder(stop, 2);
    const SignLoopEnd end = RunSignLoop(link, {&recorder}, stop);
    EXPECT_TRUE(end.linkFailed);
    EXPECT_EQ(end.error, EIO);
    EXPECT_EQ(recorder.messages.size(), 1U) << "what came before the failure is shown";
}

// A connection that sends and stays open keeps its sign waiting for the close; the other sign
// must not wait with it.
TEST(SignLoopTest, SeveralSignsTakeTheirMessagesSideBySide) {
    CSignTcpListener busy;
    CSignTcpListener free;
    ASSERT_EQ(busy.Listen({127, 0, 0, 2}, 0), 0);
    ASSERT_EQ(free.Listen({127, 0, 0, 3}, 0), 0);
    const int held = SendToPort(busy.Port(), "^L0^K0^dC1A", false, 0x7f000002);
    SendToPort(free.Port(), "^L0^K0^dC1B", true, 0x7f000003);

    CCancelToken stop;
    CRecorder recorder(stop, 1);
    const SignLoopEnd end = RunSignLoops({{&busy, "busy"}, {&free, "free"}}, {&recorder}, stop);
    close(held);
    EXPECT_FALSE(end.linkFailed);
    ASSERT_EQ(recorder.messages.size(), 1U);
    EXPECT_EQ(recorder.messages[0].sign, "free");
    EXPECT_NE(SignMessageJson(recorder.messages[0], kOneLineOfTen).find(R"("sign":"free",)"),
              std::string::npos);
}

TEST(SignLoopTest, OneFailedLinkEndsEverySignAndIsNamed) {
    CFailingLink failing;
    CSignTcpListener quiet;
    ASSERT_EQ(quiet.Listen({127, 0, 0, 1}, 0), 0);
    CCancelToken stop;
    CRecorder recorder(stop, 2);
    const SignLoopEnd end =
        RunSignLoops({{&quiet, "quiet"}, {&failing, "failing"}}, {&recorder}, stop);
    EXPECT_TRUE(end.linkFailed);
    EXPECT_EQ(end.error, EIO);
    EXPECT_EQ(end.sign, "failing");
    EXPECT_EQ(recorder.messages.size(), 1U);
}

}  // namespace
