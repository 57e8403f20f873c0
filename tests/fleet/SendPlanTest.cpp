#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>
#include <future>
#include <memory>
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

// Signs behind one address and port (an adapter takes one connection at a time) take their
// strings one connection after another, in the plan's order, each its own.
TEST(SendPlanTest, SignsBehindOneAdapterGoInOrderOneConnectionAtATime) {
    CLoopbackSigns signs({4});
    ASSERT_TRUE(signs.Ready(1));
    std::vector<NamedSign> named;
    for (int32_t unit = 1; unit <= 3; ++unit) {
        named.push_back(Addressed(signs.Sign(0, "Unit " + std::to_string(unit)),
                                  kAddressSpecificUnit, 1, unit));
    }
    const std::vector<SignSend> sends = SignSendsForMessage(named, Hello(), AllTo(""));
    auto received = std::async(std::launch::async, [&] {
        std::vector<std::string> strings;
        for (size_t i = 0; i < sends.size(); ++i) {
            strings.push_back(signs[0].AcceptAndReadAsync().get());
        }
        return strings;
    });
    CSendPlan plan(sends);
    CResultLog log;
    plan.Start(log.Callback());
    const std::vector<SignSendResult>& results = plan.Wait();
    EXPECT_EQ(received.get(),
              (std::vector<std::string>{sends[0].bytes, sends[1].bytes, sends[2].bytes}));
    EXPECT_EQ(log.Names(), (std::vector<std::string>{"Unit 1", "Unit 2", "Unit 3"}));
    for (const SignSendResult& result : results) {
        EXPECT_TRUE(result.outcome.confirmed) << result.name;
    }
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

// Entries of a folder of /proc/self: the process's threads (task) or open descriptors (fd).
size_t OwnCount(const char* folder) {
    const std::filesystem::path path = std::filesystem::path("/proc/self") / folder;
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(path),
                                             std::filesystem::directory_iterator()));
}

// The gateway sends to each sign in a plan of its own. A thousand signs that never answer (their
// listener's queue is full, so each connect waits) cost a socket each and no thread; Cancel ends
// every wait at once.
TEST(SendPlanTest, AThousandSilentSignsCostASocketEachAndNoThread) {
    constexpr size_t kSilentSigns = 1000;
    constexpr size_t kThreadsAtMost = 50;
    constexpr size_t kDescriptorsAtMost = 1100;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 4096));
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur <= kDescriptorsAtMost) {
        GTEST_SKIP() << "no room for the descriptors";
    }
    CLoopbackSigns signs({0, 4});
    ASSERT_TRUE(signs.Ready(2));
    if (!signs[0].FillAcceptQueue()) {
        GTEST_SKIP() << "the listener's queue would not fill";
    }
    auto answered = signs[1].AcceptAndReadAsync();
    CResultLog log;
    std::vector<std::unique_ptr<CSendPlan>> plans;
    for (size_t i = 0; i <= kSilentSigns; ++i) {
        const NamedSign sign = signs.Sign(i < kSilentSigns ? 0 : 1, "Sign " + std::to_string(i));
        plans.push_back(
            std::make_unique<CSendPlan>(SignSendsForString({sign}, "^C0^M", AllTo(""))));
        plans.back()->Start(log.Callback());
    }
    // Sends begin in the order they are started: once the last sign has its message, every
    // silent sign's connect is under way.
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_EQ(answered.get(), "^C0^M");
    const size_t threads = OwnCount("task");
    const size_t descriptors = OwnCount("fd");
    RecordProperty("threads", std::to_string(threads));
    RecordProperty("descriptors", std::to_string(descriptors));
    EXPECT_LT(threads, kThreadsAtMost);
    EXPECT_LT(descriptors, kDescriptorsAtMost);
    EXPECT_GT(descriptors, kSilentSigns);  // each waits on a socket of its own
    EXPECT_EQ(log.Names(), std::vector<std::string>{"Sign 1000"});

    for (const auto& plan : plans) {
        plan->Cancel();
    }
    for (size_t i = 0; i < kSilentSigns; ++i) {
        const SignSendResult& result = plans[i]->Wait().front();
        EXPECT_TRUE(result.started);
        ASSERT_EQ(result.outcome.result.code, SEND_CANCELLED) << result.name;
    }
    plans.clear();
    EXPECT_LE(OwnCount("fd"), descriptors - kSilentSigns);  // every socket closed
}

}  // namespace
