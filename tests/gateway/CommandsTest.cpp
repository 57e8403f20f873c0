// The one way in, on a core in process: what is kept, forwarded or refused, and what survives a
// restart.
#include <gtest/gtest.h>

#include <QJsonArray>

#include "CoreFixture.h"

#include <QJsonDocument>
#include <set>

namespace {

// Keeps what the director tells of desired messages.
class CDesiredLog : public IDirectorListener {
public:
    void DesiredChanged(const SignState& state) override { origins.push_back(state.stamp.origin); }
    std::vector<Origin> origins;
};

TEST(Commands, MessagesAreKeptForwardedOrRefusedByWhereTheyComeFrom) {
    CCoreFixture fixture;
    CRecordingForwarder forwarder;
    ASSERT_FALSE(fixture.core->Start());
    CDesiredLog desired;
    fixture.core->Director().AddListener(&desired);
    struct Case {
        const char* sign;
        Origin origin;
        bool forwarder;
        ResultKind kind;
    };
    const Case cases[] = {
        {"a", Origin::kApi, false, ResultKind::kAccepted},     // names without regard to case
        {"C", Origin::kApi, false, ResultKind::kUnknownSign},  // another's, no broker
        {"C", Origin::kApi, true, ResultKind::kForwarded},
        {"C", Origin::kBroker, true, ResultKind::kUnknownSign},  // its own gateway takes it
        {"Nowhere", Origin::kApi, true, ResultKind::kUnknownSign},
        {"B", Origin::kBroker, true, ResultKind::kAccepted},
    };
    for (const Case& c : cases) {
        fixture.core->Commands().SetForwarding(c.forwarder ? forwarder.Forwarding()
                                                           : SignForwarding{});
        EXPECT_EQ(fixture.SetMessage(c.sign, "HELLO", c.origin).kind, c.kind) << c.sign;
    }
    // Handed on once, and again to each new forwarding until hall-a is seen to have it.
    EXPECT_EQ(std::set(forwarder.forwarded.begin(), forwarder.forwarded.end()),
              (std::set<std::pair<std::string, std::string>>{{"C", "HELLO"}}));
    EXPECT_EQ(desired.origins, (std::vector<Origin>{Origin::kApi, Origin::kBroker}));
    // Stamped elsewhere: the newest version wins, whatever the order of arrival; the sign's own
    // version coming back (this gateway's copy on the set topic) changes nothing.
    const Stamp kept = fixture.core->Director().Find("B")->stamp;
    struct Stamped {
        uint64_t version;
        const char* text;
        bool signedByPeer;  // with the key both gateways share
        ResultKind kind;
        const char* desired;
    };
    const Stamped stamped[] = {
        {kept.version, "ECHO", false, ResultKind::kAccepted, "HELLO"},
        {kept.version - 1, "OLDER", true, ResultKind::kConflict, "HELLO"},
        {kept.version + 9, "UNSIGNED", false, ResultKind::kForbidden, "HELLO"},
        {kept.version + 5, "NEWER", true, ResultKind::kAccepted, "NEWER"},
        {kept.version + 4, "BETWEEN", true, ResultKind::kConflict, "NEWER"},
    };
    for (const Stamped& c : stamped) {
        // The echo is this gateway's own copy; the others are forwarded by hall-a.
        const Stamp given{c.version, kTestStart, c.version == kept.version ? "hall-b" : "hall-a",
                          Origin::kApi};
        const GatewayResult result = fixture.Ask([&](CCommands& commands, CCommands::Reply reply) {
            commands.SetMessage("B", Text(c.text), Origin::kBroker, reply, given, c.signedByPeer);
        });
        EXPECT_EQ(result.kind, c.kind) << c.text;
        EXPECT_EQ(ShownText(*fixture.core->Director().Find("B")->desired), c.desired) << c.text;
    }
    EXPECT_EQ(fixture.core->Director().Find("B")->stamp.by, "hall-a");
    // A message set here afterwards is newer still.
    fixture.SetMessage("B", "LATEST");
    EXPECT_EQ(fixture.core->Director().Find("B")->stamp.version, kept.version + 6);
    EXPECT_EQ(desired.origins.size(), 4u);
}

TEST(Commands, WhatWasKeptComesBackAfterARestart) {
    CCoreFixture fixture;
    ASSERT_FALSE(fixture.core->Start());
    fixture.SetMessage("A", "{count} PARTS");
    EXPECT_TRUE(fixture
                    .Ask([](CCommands& commands, CCommands::Reply reply) {
                        commands.SetVariable("count", "412", Origin::kApi, reply);
                    })
                    .Ok());
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    const SignState& state = *fixture.core->Director().Find("A");
    EXPECT_EQ(ShownText(*state.desired), "{count} PARTS");
    EXPECT_EQ(state.stamp.setAt, kTestStart);
    EXPECT_EQ(fixture.sender.sent.back().text, "412 PARTS");
}

TEST(Commands, VariablesAreCheckedKeptAndSharedOnlyWhenSetHere) {
    CCoreFixture fixture;
    CRecordingForwarder forwarder;
    fixture.core->Commands().SetForwarding(forwarder.Forwarding());
    ASSERT_FALSE(fixture.core->Start());
    struct Case {
        const char* name;
        std::string value;  // "-": the value removed
        Origin origin;
        ResultKind kind;
        const char* field;
    };
    const Case cases[] = {
        {"count", "7", Origin::kApi, ResultKind::kAccepted, ""},
        {"part", "7", Origin::kBroker, ResultKind::kAccepted, ""},
        {"old", "7", Origin::kBroker, ResultKind::kAccepted, ""},
        {"old", "-", Origin::kApi, ResultKind::kAccepted, ""},
        {"old", "-", Origin::kApi, ResultKind::kUnknownSign, "var"},
        {"now", "7", Origin::kApi, ResultKind::kRefused, "var"},
        {"a b", "7", Origin::kApi, ResultKind::kRefused, "var"},
        {"big", std::string(257, 'x'), Origin::kApi, ResultKind::kRefused, "value"},
    };
    for (const Case& c : cases) {
        const GatewayResult result = fixture.Ask([&](CCommands& commands, CCommands::Reply reply) {
            if (c.value == "-") {
                commands.RemoveVariable(c.name, c.origin, reply);
            } else {
                commands.SetVariable(c.name, c.value, c.origin, reply);
            }
        });
        EXPECT_EQ(result.kind, c.kind) << c.name;
        EXPECT_EQ(result.field, c.field) << c.name;
    }
    EXPECT_EQ(forwarder.shared,
              (std::vector<std::pair<std::string, std::string>>{{"count", "7"}, {"old", ""}}));
    // Each value kept on its own, a removed one included, across a restart.
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    EXPECT_EQ(fixture.core->Director().Values(), (VariableValues{{"count", "7"}, {"part", "7"}}));
}

TEST(Commands, ASelectionReachesEverySignOfItsTagAcrossGateways) {
    CCoreFixture fixture;
    CRecordingForwarder forwarder;
    ASSERT_FALSE(fixture.core->Start());
    struct Case {
        SignSelection selection;
        bool forwarder;
        ResultKind kind;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {{{}, "HALL", false}, true, ResultKind::kAccepted, {"A", "C"}},
        {{{}, "hall", false}, false, ResultKind::kAccepted, {"A"}},
        {{{}, std::nullopt, true}, true, ResultKind::kAccepted, {"A", "B", "C"}},
        {{{"b", "B"}, std::nullopt, false}, true, ResultKind::kAccepted, {"B"}},
        {{{}, "paint", false}, true, ResultKind::kUnknownSign, {}},
        {{{"A", "Nowhere"}, std::nullopt, false}, true, ResultKind::kUnknownSign, {}},
        {{{"A"}, "hall", false}, true, ResultKind::kRefused, {}},
    };
    for (const Case& c : cases) {
        fixture.core->Commands().SetForwarding(c.forwarder ? forwarder.Forwarding()
                                                           : SignForwarding{});
        std::optional<Result<std::vector<CCommands::SignAnswer>>> answer;
        fixture.core->Commands().SendToSelection(
            c.selection, Text("GO"), Origin::kApi,
            [&](const Result<std::vector<CCommands::SignAnswer>>& result) { answer = result; });
        ASSERT_TRUE(PumpUntil([&] { return answer.has_value(); }));
        std::vector<std::string> names;
        if (answer->Ok()) {
            for (const CCommands::SignAnswer& sign : answer->Value()) {
                names.push_back(sign.name);
                EXPECT_EQ(sign.kind,
                          sign.name == "C" ? ResultKind::kForwarded : ResultKind::kAccepted);
            }
        }
        EXPECT_EQ(answer->Ok() ? ResultKind::kAccepted : answer->Failure().kind, c.kind);
        EXPECT_EQ(names, c.names);
    }
}

// A write or an alert answered "forwarded" is kept until the sign's own gateway is seen to have
// it: a stop while the broker is away loses nothing.
TEST(Commands, AForwardedWriteGoesAgainUntilItsGatewayHasIt) {
    CCoreFixture fixture;
    CRecordingForwarder forwarder;
    fixture.core->Commands().SetForwarding(forwarder.Forwarding());
    ASSERT_FALSE(fixture.core->Start());
    EXPECT_EQ(fixture.SetMessage("C", "FOR HALL A").kind, ResultKind::kForwarded);
    // An alert handed on too, and kept the same way.
    EXPECT_EQ(fixture
                  .Ask([](CCommands& c, CCommands::Reply reply) {
                      c.RaiseAlert("C", "press4", {Text("PRESS 4"), 1, std::nullopt, {}},
                                   Origin::kApi, reply);
                  })
                  .kind,
              ResultKind::kForwarded);
    for (const bool taken : {false, true}) {
        fixture.Make();
        ASSERT_FALSE(fixture.core->Start());
        CRecordingForwarder again;
        fixture.core->Commands().SetForwarding(again.Forwarding());
        EXPECT_EQ(again.forwarded.size(), taken ? 0u : 1u);
        EXPECT_EQ(again.alerts.size(), taken ? 0u : 1u);
        // Hall A publishes its sign's state, with the forwarded version and the alert up.
        QJsonObject stamp;
        WriteStamp(stamp, NextStamp(kTestStart, "hall-b", Origin::kApi, 0));
        const QJsonArray alerts{QJsonObject{{"key", "press4"}}};
        fixture.core->Others().Take(
            "C", QJsonDocument(QJsonObject{{"stamp", stamp}, {"alerts", alerts}}).toJson());
    }
}

}  // namespace
