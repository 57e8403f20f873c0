#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "fleet/SignCheck.h"
#include "fleet/SignReport.h"
#include "support/FleetTestSupport.h"

namespace {

using namespace std::chrono_literals;

NamedSign OnSerial(const std::string& name, int32_t comPort) {
    NamedSign sign;
    sign.name = name;
    sign.comPort = comPort;
    return sign;
}

// Each sign is told reachable or not without anything sent to it, a silent one within the limit;
// all are checked at once.
TEST(SignCheckTest, SaysForEachSignWhetherItCanBeReached) {
    CLoopbackSigns signs({4, 0});
    ASSERT_TRUE(signs.Ready(2));
    ASSERT_TRUE(signs[1].FillAcceptQueue());
    const CRefusingPort refusing(signs.Host(0).c_str());
    ASSERT_TRUE(refusing.Bound());
    NamedSign refused = signs.Sign(0, "Refusing");
    refused.tcpPort = refusing.Port();
    CPtyPair pty;
    const std::string link = "Ethernet " + signs.Host(0) + ":";
    const struct {
        NamedSign sign;
        bool reachable;
        std::string line;
    } cases[] = {
        {signs.Sign(0, "Listening"), true,
         "Listening: " + link + std::to_string(signs.Port()) + ": accepts connections"},
        {refused, false,
         "Refusing: " + link + std::to_string(refusing.Port()) + ": Connection refused"},
        {signs.Sign(1, "Silent"), false,
         "Silent: Ethernet " + signs.Host(1) + ":" + std::to_string(signs.Port()) +
             ": no answer within 0.2 s"},
        {OnSerial("Plugged", 0), true,
         "Plugged: COM1 (" + pty.SlavePath() + "): Present and usable."},
        {OnSerial("Unplugged", 1), false,
         "Unplugged: COM2 (/nonexistent/ttyLumivex): Not present: plug the adapter in, or choose "
         "another device."},
    };
    std::vector<NamedSign> named;
    for (const auto& c : cases) {
        named.push_back(c.sign);
    }
    const auto resolve = [&pty](int comNumber) {
        return comNumber == 1 ? pty.SlavePath() : std::string("/nonexistent/ttyLumivex");
    };
    size_t heard = 0;
    const std::vector<SignCheckResult> results =
        CheckSigns(named, resolve, nullptr, [&](const SignCheckResult&) { ++heard; }, {200ms, {}});
    ASSERT_EQ(results.size(), std::size(cases));
    EXPECT_EQ(heard, std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].sign.name);
        EXPECT_EQ(results[i].reachable, cases[i].reachable);
        EXPECT_EQ(SignCheckLine(results[i]), cases[i].line);
    }
}

// The line for each sign: what was sent and how long it took, or the link and the reason in the
// words a single send shows.
TEST(SignReportTest, OneLinePerSign) {
    auto result = [](const char* name, bool overTcp, const char* device, LinkResult link,
                     bool started = true, bool confirmed = false) {
        SignSendResult r;
        r.name = name;
        r.bytes = 412;
        r.seconds = 0.114;
        r.started = started;
        r.outcome.overTcp = overTcp;
        r.outcome.portName = overTcp ? "Ethernet" : "COM2";
        r.outcome.devicePath = device;
        r.outcome.result = link;
        r.outcome.confirmed = confirmed;
        return r;
    };
    const struct {
        SignSendResult result;
        std::string line;
    } cases[] = {
        {result("Line 3", false, "/dev/ttyUSB0", {}), "Line 3: sent, 412 bytes in 0.11 s"},
        {result("Dock 2", true, "192.168.0.20:49999", {}, true, true),
         "Dock 2: sent, 412 bytes in 0.11 s"},
        {result("Dock 2", true, "192.168.0.20:49999", {}),
         "Dock 2: sent, not confirmed, 412 bytes in 0.11 s: the sign kept the connection open"},
        {result("Dock 2", true, "192.168.0.20:49999",
                {SEND_FAILED, ECONNRESET, LinkOperation::kAwaitClose}),
         "Dock 2: Ethernet 192.168.0.20:49999: the sign reset the connection"},
        {result("Dock 2", true, "192.168.0.20:49999",
                {SEND_FAILED, ETIMEDOUT, LinkOperation::kAwaitClose}),
         "Dock 2: Ethernet 192.168.0.20:49999: the sign stopped reading before the end of the "
         "message"},
        {result("Dock 2", true, "192.168.0.20:49999",
                {SEND_FAILED, ECONNREFUSED, LinkOperation::kConnect}),
         "Dock 2: Ethernet 192.168.0.20:49999: connection refused"},
        {result("Line 3", false, "/dev/ttyUSB0", {SEND_PORT_IN_USE, EBUSY, LinkOperation::kOpen}),
         "Line 3: COM2 (/dev/ttyUSB0): Port in use Retry later"},
        {result("Line 3", false, "/dev/ttyUSB0", {SEND_FAILED, 0, LinkOperation::kWrite}),
         "Line 3: COM2 (/dev/ttyUSB0): Error in sending data"},
        {result("Dock 2", true, "192.168.0.20:49999", {SEND_FAILED, 0, {}}),
         "Dock 2: Ethernet 192.168.0.20:49999: nothing sent: the command string is empty"},
        {result("Dock 2", true, "192.168.0.20:49999", {SEND_CANCELLED, 0, {}}, false),
         "Dock 2: not sent: stopped before its turn"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SignSendLine(c.result), c.line);
    }
    EXPECT_EQ(SignSendJson(cases[5].result),
              R"({"sign":"Dock 2","link":"Ethernet 192.168.0.20:49999","sent":false,)"
              R"("confirmed":false,"bytes":412,"seconds":0.11,"result":3,"error":111,)"
              R"("reason":"connection refused"})");
    EXPECT_EQ(SignSendJson(cases[1].result),
              R"({"sign":"Dock 2","link":"Ethernet 192.168.0.20:49999","sent":true,)"
              R"("confirmed":true,"bytes":412,"seconds":0.11,"result":0,"error":0,"reason":""})");
}

}  // namespace
