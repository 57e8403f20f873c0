#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "editor/BodyEncoder.h"
#include "fleet/CSendPlan.h"
#include "fleet/SignReport.h"
#include "support/CellLines.h"
#include "support/FleetTestSupport.h"
#include "transport/CSignPtyLink.h"

namespace {

ComDeviceResolver AllTo(const std::string& device) {
    return [device](int) { return device; };
}

MessageDocument Hello() {
    MessageDocument message;
    message.settings.address = kAddressSpecificUnit;  // the message's own address is replaced
    message.settings.groupNumber = 7;
    message.settings.unitNumber = 7;
    message.lines = {Cells("HELLO", 2, kGreen)};
    return message;
}

NamedSign Addressed(NamedSign sign, int32_t address, int32_t group, int32_t unit) {
    sign.address = address;
    sign.groupNumber = group;
    sign.unitNumber = unit;
    return sign;
}

// Counts the openings and closes of a device from now on.
class COpenCounter {
public:
    explicit COpenCounter(const std::string& device)
        : m_nFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(m_nFd, device.c_str(), IN_OPEN | IN_CLOSE);
    }
    ~COpenCounter() { close(m_nFd); }

    // Openings and closes seen so far.
    std::pair<int, int> Count() const {
        alignas(inotify_event) char buffer[4096];
        std::pair<int, int> counts{};
        ssize_t length = 0;
        while ((length = read(m_nFd, buffer, sizeof buffer)) > 0) {
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                counts.first += (event->mask & IN_OPEN) != 0 ? 1 : 0;
                counts.second += (event->mask & IN_CLOSE) != 0 ? 1 : 0;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return counts;
    }

private:
    int m_nFd;
};

// One message to signs behind three links: each gets the text with its own address code, not the
// message's, and each is told apart in its own outcome.
TEST(SendPlanTest, EachSignGetsTheMessageWithItsOwnAddress) {
    CLoopbackSigns signs({4, 4, 4});
    ASSERT_TRUE(signs.Ready(3));
    const MessageDocument message = Hello();
    const struct {
        NamedSign sign;
        const char* addressCode;
    } cases[] = {
        {Addressed(signs.Sign(0, "Line 3"), kAddressSpecificUnit, 1, 5), "^A010005"},
        {Addressed(signs.Sign(1, "Hall B"), kAddressSpecificGroup, 2, 0), "^A020000"},
        {Addressed(signs.Sign(2, "Dock 2"), kAddressDefault, 0, 0), ""},
    };
    std::vector<NamedSign> named;
    std::vector<std::future<std::string>> received;
    for (size_t i = 0; i < std::size(cases); ++i) {
        named.push_back(cases[i].sign);
        received.push_back(signs[i].AcceptAndReadAsync());
    }
    const std::string rest = BuildCommandString(SettingsForSign(message.settings, cases[2].sign),
                                                EncodeCellLines(message.lines));

    CSendPlan plan(SignSendsForMessage(named, message, AllTo("")));
    plan.Start();
    const std::vector<SignSendResult>& results = plan.Wait();
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].sign.name);
        EXPECT_EQ(received[i].get(), cases[i].addressCode + rest);
        EXPECT_EQ(results[i].name, cases[i].sign.name);
        EXPECT_TRUE(results[i].outcome.Delivered());
        EXPECT_EQ(results[i].outcome.devicePath,
                  signs.Host(i) + ":" + std::to_string(signs.Port()));
    }
}

// The plan waits for each sign's close: one that resets the connection did not get the message,
// and one that reads but keeps the connection open got it, not confirmed.
TEST(SendPlanTest, ASignOnTcpConfirmsByClosing) {
    CLoopbackSigns signs({4, 4, 4});
    ASSERT_TRUE(signs.Ready(3));
    auto reads = signs[0].AcceptAndReadAsync();
    auto resets = signs[1].AcceptAndResetAsync();
    auto holds = signs[2].AcceptReadAndHoldAsync();
    SendPlanOptions options;
    options.signCloseWait = std::chrono::milliseconds(200);  // runs out for the one that holds
    CSendPlan plan(SignSendsForString({signs.Sign(0, "A"), signs.Sign(1, "B"), signs.Sign(2, "C")},
                                      "^C0^M", AllTo("")),
                   options);
    plan.Start();
    const std::vector<SignSendResult>& results = plan.Wait();
    resets.get();
    EXPECT_EQ(reads.get() + holds.get(), "^C0^M^C0^M");
    EXPECT_TRUE(results[0].outcome.confirmed);
    EXPECT_EQ(results[1].outcome.result.operation, LinkOperation::kAwaitClose);
    EXPECT_EQ(SignSendState(results[2]).rfind("sent, not confirmed, 5 bytes in ", 0), 0u);
    EXPECT_EQ(SignSendSummary(results), "2 of 3 signs got the message");
}

// An RS-485 line is one wire: its signs take their strings one after another, in the plan's
// order, through one opening of the port, with a pause between them that lets a sign on the line
// tell one string from the next; a sign on a missing port fails alone.
TEST(SendPlanTest, SignsOnOneSerialLineGoInOrderThroughOneOpening) {
    const QTemporaryDir folder;
    CSignPtyLink line;
    ASSERT_EQ(line.Open(folder.filePath("ttyLine").toStdString()), 0);
    const COpenCounter openings(line.DevicePath());
    NamedSign first;
    first.name = "Line 1";
    first.comPort = 2;
    NamedSign second = first;
    second.name = "Line 2";
    NamedSign missing = first;
    missing.name = "Line 9";
    missing.comPort = 7;
    const auto resolve = [&line](int comNumber) {
        return comNumber == 3 ? line.DevicePath() : std::string("/nonexistent/ttyLumivex");
    };
    const std::vector<NamedSign> named = {Addressed(first, kAddressSpecificUnit, 1, 1), missing,
                                          Addressed(second, kAddressSpecificUnit, 1, 2)};
    const std::vector<SignSend> sends = SignSendsForMessage(named, Hello(), resolve);
    CCancelToken stop;
    auto received = std::async(std::launch::async, [&] {
        std::vector<std::string> messages;
        for (int i = 0; i < 2; ++i) {
            messages.push_back(line.Receive(stop).bytes);
        }
        return messages;
    });

    CSendPlan plan(sends);
    CResultLog log;
    plan.Start(log.Callback());
    const std::vector<SignSendResult>& results = plan.Wait();
    const bool bothCame =
        received.wait_for(std::chrono::milliseconds(kTestWaitMs)) == std::future_status::ready;
    stop.Cancel();
    EXPECT_TRUE(bothCame);
    EXPECT_EQ(received.get(), (std::vector<std::string>{sends[0].bytes, sends[2].bytes}));
    EXPECT_EQ(openings.Count(), std::make_pair(1, 1));
    EXPECT_TRUE(results[0].outcome.Delivered());
    EXPECT_TRUE(results[2].outcome.Delivered());
    EXPECT_EQ(SignSendLine(results[1]), "Line 9: COM8 (/nonexistent/ttyLumivex): Invalid Port");
    const std::vector<std::string> order = log.Names();
    EXPECT_LT(std::find(order.begin(), order.end(), "Line 1"),
              std::find(order.begin(), order.end(), "Line 2"));
}

// A sign that never answers (its accept queue is full) holds up nobody: the others finish while
// it waits, and Cancel then ends its wait and says so.
TEST(SendPlanTest, ASilentSignDelaysNoOther) {
    CLoopbackSigns signs({0, 4, 4});
    ASSERT_TRUE(signs.Ready(3));
    ASSERT_TRUE(signs[0].FillAcceptQueue());
    auto first = signs[1].AcceptAndReadAsync();
    auto second = signs[2].AcceptAndReadAsync();
    CSendPlan plan(SignSendsForString(
        {signs.Sign(0, "Silent"), signs.Sign(1, "Line 1"), signs.Sign(2, "Line 2")}, "^C0^M",
        AllTo("")));
    CResultLog log;
    plan.Start(log.Callback());

    ASSERT_TRUE(log.WaitFor(2));
    EXPECT_EQ(first.get(), "^C0^M");
    EXPECT_EQ(second.get(), "^C0^M");
    const std::vector<std::string> done = log.Names();
    EXPECT_EQ(std::count(done.begin(), done.end(), "Silent"), 0);

    plan.Cancel();
    const std::vector<SignSendResult>& results = plan.Wait();
    EXPECT_EQ(results[0].outcome.result.code, SEND_CANCELLED);
    // On a loaded machine the cancel can come before the silent sign's connect has begun.
    const std::string line = SignSendLine(results[0]);
    EXPECT_TRUE(line == "Silent: Ethernet " + results[0].outcome.devicePath +
                            ": stopped; the sign may have taken part of the message" ||
                line == "Silent: not sent: stopped before its turn")
        << line;
    EXPECT_EQ(SignSendSummary(results), "2 of 3 signs got the message");
}

// Cancel ends the send under way on every link and skips the signs still waiting for their turn.
TEST(SendPlanTest, CancelStopsEveryLink) {
    CPtyPair stalled;  // its sign never reads
    CLoopbackSigns signs({0});
    ASSERT_TRUE(signs.Ready(1));
    ASSERT_TRUE(signs[0].FillAcceptQueue());
    NamedSign serial;
    serial.comPort = 0;
    std::vector<NamedSign> named = {signs.Sign(0, "Silent")};
    for (const char* name : {"Line 1", "Line 2", "Line 3"}) {
        serial.name = name;
        named.push_back(serial);
    }
    // More than a terminal holds, so that the first string waits for the sign.
    CSendPlan plan(SignSendsForString(named, ByteCycle(1 << 20), AllTo(stalled.SlavePath())));
    plan.Start();
    pollfd arriving{stalled.Master(), POLLIN, 0};
    ASSERT_EQ(poll(&arriving, 1, kTestWaitMs), 1);

    plan.Cancel();
    const std::vector<SignSendResult>& results = plan.Wait();
    for (const SignSendResult& result : results) {
        SCOPED_TRACE(result.name);
        EXPECT_EQ(result.outcome.result.code, SEND_CANCELLED);
    }
    EXPECT_TRUE(results[1].started);
    EXPECT_EQ(SignSendLine(results[3]), "Line 3: not sent: stopped before its turn");
}

}  // namespace
