// Alerts through the one way in, on a core in process: kept before they show, back after a
// restart with the time they had left, and handed to the gateway of another's sign.
#include <gtest/gtest.h>

#include "CoreFixture.h"
#include "gateway/AlertRequests.h"
#include "gateway/LibraryJson.h"

namespace {

using std::chrono::seconds;

std::vector<std::string> KeysOn(CCoreFixture& fixture, const std::string& sign) {
    std::vector<std::string> keys;
    for (const Alert& alert : fixture.core->Director().Find(sign)->alerts.All()) {
        keys.push_back(alert.key);
    }
    return keys;
}

TEST(Alerts, AreKeptAndComeBackAfterARestartWithTheTimeTheyHadLeft) {
    CCoreFixture fixture;
    ASSERT_FALSE(fixture.core->Start());
    const auto raise = [&](const char* key, const char* text, int priority,
                           std::optional<int> seconds) {
        return fixture.Ask([&](CCommands& commands, CCommands::Reply reply) {
            commands.RaiseAlert("A", key, {Text(text), priority, seconds, {}}, Origin::kApi, reply);
        });
    };
    const auto notify = [&](const char* text, int seconds) {
        return fixture.Ask([&](CCommands& commands, CCommands::Reply reply) {
            commands.Notify("A", Text(text), seconds, Origin::kApi, reply);
        });
    };
    // One alert cleared by its key (the sign named without regard to case), or all of them as
    // Home Assistant's button does.
    const auto clear = [&](const char* key) {
        return fixture.Ask([&](CCommands& commands, CCommands::Reply reply) {
            key != nullptr ? commands.ClearAlert("a", key, Origin::kApi, reply)
                           : commands.ClearAlerts("A", Origin::kBroker, reply);
        });
    };
    EXPECT_TRUE(notify("BREAK", 30).Ok());
    EXPECT_TRUE(notify("LUNCH", 60).Ok());  // a second notice beside the first
    EXPECT_TRUE(raise("press4", "PRESS 4 DOWN", 1, std::nullopt).Ok());
    EXPECT_TRUE(raise("short", "SHORT", 9, 5).Ok());
    EXPECT_EQ(raise("a b", "BAD KEY", 1, std::nullopt).field, "key");
    EXPECT_EQ(KeysOn(fixture, "A"),
              (std::vector<std::string>{"notice-1", "notice-2", "press4", "short"}));
    EXPECT_EQ(fixture.core->Director().Find("A")->alerts.On()->key, "press4");
    fixture.clock.Advance(seconds(20));
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    // The timed one that ended meanwhile stays gone; the others are back in their places.
    EXPECT_EQ(KeysOn(fixture, "A"), (std::vector<std::string>{"notice-1", "notice-2", "press4"}));
    EXPECT_EQ(fixture.sender.sent.back().text, "PRESS 4 DOWN");
    const CSignAlerts& alerts = fixture.core->Director().Find("A")->alerts;
    EXPECT_EQ(*alerts.Find("notice-1")->until, kTestStart + seconds(30));
    EXPECT_EQ(alerts.Find("notice-1")->since, kTestStart);
    EXPECT_FALSE(alerts.Find("press4")->until);
    EXPECT_TRUE(clear("press4").Ok());
    fixture.clock.Advance(seconds(10));  // notice-1 ends; a new notice takes its key again
    EXPECT_TRUE(notify("AGAIN", 30).Ok());
    EXPECT_EQ(KeysOn(fixture, "A"), (std::vector<std::string>{"notice-2", "notice-1"}));
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    EXPECT_EQ(KeysOn(fixture, "A"), (std::vector<std::string>{"notice-2", "notice-1"}));
    EXPECT_TRUE(clear(nullptr).Ok());
    EXPECT_TRUE(KeysOn(fixture, "A").empty());
}

TEST(Alerts, OnATagReachEverySignOfItAcrossGatewaysAndClearEverywhere) {
    CCoreFixture fixture;
    CRecordingForwarder forwarder;
    fixture.core->Commands().SetForwarding(forwarder.Forwarding());
    ASSERT_FALSE(fixture.core->Start());
    const auto many = [&](const SignSelection& selection, std::optional<AlertRequest> alert,
                          Origin origin) {
        std::optional<Result<std::vector<CCommands::SignAnswer>>> answer;
        fixture.core->Commands().AlertOnSelection(
            selection, "evac", alert, origin,
            [&](const Result<std::vector<CCommands::SignAnswer>>& result) { answer = result; });
        PumpUntil([&] { return answer.has_value(); });
        std::vector<std::string> names;
        for (const CCommands::SignAnswer& sign : answer->Value()) {
            names.push_back(sign.name + (sign.kind == ResultKind::kForwarded ? ">" : ""));
        }
        return names;
    };
    const AlertRequest evacuate{Text("EVACUATE"), 1, std::nullopt, {}};
    const SignSelection hall{{}, "hall", false};
    EXPECT_EQ(many(hall, evacuate, Origin::kApi), (std::vector<std::string>{"A", "C>"}));
    EXPECT_EQ(KeysOn(fixture, "A"), std::vector<std::string>{"evac"});
    EXPECT_TRUE(KeysOn(fixture, "B").empty());
    // From the broker, each gateway takes its own signs of the tag.
    EXPECT_EQ(many({{}, std::nullopt, true}, evacuate, Origin::kBroker),
              (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(many({{}, std::nullopt, true}, std::nullopt, Origin::kApi),
              (std::vector<std::string>{"A", "B", "C>"}));
    EXPECT_TRUE(KeysOn(fixture, "A").empty());
    EXPECT_TRUE(KeysOn(fixture, "B").empty());
    ASSERT_EQ(forwarder.alerts.size(), 2u);
    EXPECT_EQ(forwarder.alerts[0].first, "C/evac");
    EXPECT_EQ(forwarder.alerts[1], (std::pair<std::string, std::string>{"C/evac", ""}));
}

// What a request, a topic's payload or the state folder says of an alert or a library message,
// and the field a refusal names.
TEST(Alerts, RequestsAndPayloadsAreReadOrRefusedByTheirField) {
    struct Case {
        const char* json;
        const char* field;  // "" when taken
        int priority;
        int seconds;  // 0: held
    };
    const Case cases[] = {
        {R"({"message": {"lines": ["X"]}})", "", kDefaultAlertPriority, 0},
        {R"({"message": {"lines": ["X"]}, "priority": 1, "seconds": 60})", "", 1, 60},
        {R"({"message": {"lines": ["X"]}, "seconds": "hold"})", "", kDefaultAlertPriority, 0},
        {R"({"name": "press-down", "priority": 2})", "", 2, 0},
        {R"({"message": {"lines": ["X"]}, "priority": 10})", "priority", 0, 0},
        {R"({"message": {"lines": ["X"]}, "seconds": 0})", "seconds", 0, 0},
        {R"({"message": {"lines": ["X"]}, "seconds": "soon"})", "seconds", 0, 0},
        {R"({"priority": 1})", "message", 0, 0},
        {"PRESS 4 DOWN", "", kDefaultAlertPriority, 0},  // a topic's plain text
    };
    for (const Case& c : cases) {
        const Result<AlertRequest> alert = ReadAlertPayload(c.json);
        EXPECT_EQ(alert.Ok() ? "" : alert.Failure().field, c.field) << c.json;
        if (alert.Ok()) {
            EXPECT_EQ(alert.Value().priority, c.priority) << c.json;
            EXPECT_EQ(alert.Value().seconds.value_or(0), c.seconds) << c.json;
            // Handed to another gateway, it reads back the same.
            const Result<AlertRequest> again = ReadAlertPayload(AlertPayloadJson(alert.Value()));
            EXPECT_EQ(again.Value().library, alert.Value().library) << c.json;
            EXPECT_EQ(again.Value().seconds, alert.Value().seconds) << c.json;
        }
    }
    EXPECT_FALSE(ReadKeptAlert("{}"));  // cleared
    EXPECT_EQ(ReadLibraryMessage(R"({"lines": ["X"]})", "a b").Failure().field, "name");
    EXPECT_EQ(
        ReadLibraryMessage(R"({"message": {"lines": ["X"]}, "number": 0})", "a").Failure().field,
        "number");
    EXPECT_EQ(
        ReadLibraryMessage(R"({"message": {"lines": ["X"]}, "number": 7})", "a").Value().number, 7);
}

// The bookkeeping alone: a raised-again alert keeps its place and first time, the turn of one
// alone starts afresh when a second of its priority joins, and a sign holds 64 at most.
TEST(Alerts, ARaisedAgainAlertKeepsItsPlaceAndASignHoldsSixtyFourAtMost) {
    CSignAlerts alerts;
    const auto raise = [&](const char* key, int priority, seconds at) {
        return alerts.Raise({key, Text(key), priority, std::nullopt, kTestStart + at, {}},
                            kTestStart + at);
    };
    raise("a", 3, seconds(0));
    raise("b", 3, seconds(100));  // "a" was alone: both get a full turn from now
    EXPECT_EQ(*alerts.NextStep(seconds(8)), kTestStart + seconds(108));
    raise("a", 3, seconds(101));
    EXPECT_EQ(alerts.All().front().key, "a");
    EXPECT_EQ(alerts.All().front().since, kTestStart);
    EXPECT_FALSE(alerts.Step(kTestStart + seconds(107), seconds(8)));
    EXPECT_TRUE(alerts.Step(kTestStart + seconds(108), seconds(8)));
    EXPECT_EQ(alerts.On()->key, "b");
    for (int i = 2; i < static_cast<int>(kMaxAlertsPerSign); ++i) {
        EXPECT_TRUE(raise(std::to_string(i).c_str(), 9, seconds(200)));
    }
    EXPECT_FALSE(raise("one-too-many", 9, seconds(200)));
    EXPECT_TRUE(raise("a", 1, seconds(200)));  // one up is raised again all the same
    EXPECT_EQ(alerts.On()->key, "a");
}

}  // namespace
