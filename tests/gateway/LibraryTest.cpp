// The library of named messages on a core in process: signs and alerts that show one by name (or
// number) get it again when it changes, and the library is kept across a restart.
#include <gtest/gtest.h>

#include "CoreFixture.h"
#include "gateway/Schedules.h"

namespace {

TEST(Library, AChangeResendsEverySignThatShowsItAndTheLibraryIsKept) {
    CCoreFixture fixture;
    CRecordingForwarder forwarder;
    fixture.core->Commands().SetForwarding(forwarder.Forwarding());
    ASSERT_FALSE(fixture.core->Start());
    const auto put = [&](const char* name, const char* text, std::optional<int> number = {}) {
        return fixture.Ask([&](CCommands& c, CCommands::Reply reply) {
            c.PutLibraryMessage({name, number, Text(text)}, Origin::kApi, reply);
        });
    };
    const auto named = [&](const char* sign, const char* library) {
        return fixture.Ask([&](CCommands& c, CCommands::Reply reply) {
            c.SetNamedMessage(sign, library, Origin::kApi, reply);
        });
    };
    const auto remove = [&](const char* name) {
        return fixture.Ask([&](CCommands& c, CCommands::Reply reply) {
            c.RemoveLibraryMessage(name, Origin::kApi, reply);
        });
    };
    struct Step {
        std::function<GatewayResult()> act;
        ResultKind kind;
        const char* field;
        const char* toA;  // sent to A then, "" when nothing
        const char* toB;
    };
    const std::vector<Step> steps = {
        {[&] { return put("shift", "SHIFT A", 12); }, ResultKind::kAccepted, "", "", ""},
        {[&] { return named("A", "shift"); }, ResultKind::kAccepted, "", "SHIFT A", ""},
        {[&] { return named("B", "12"); }, ResultKind::kAccepted, "", "", "SHIFT A"},  // number
        {[&] { return put("press", "PRESS DOWN"); }, ResultKind::kAccepted, "", "", ""},
        {[&] {
             return fixture.Ask([&](CCommands& c, CCommands::Reply reply) {
                 c.RaiseAlert("B", "p4", {{}, 1, std::nullopt, "press"}, Origin::kApi, reply);
             });
         },
         ResultKind::kAccepted, "", "", "PRESS DOWN"},
        // Each sign that shows it now gets it again; B's alert stays over its message.
        {[&] { return put("shift", "SHIFT B", 12); }, ResultKind::kAccepted, "", "SHIFT B", ""},
        {[&] { return put("press", "PRESS 4 DOWN"); }, ResultKind::kAccepted, "", "",
         "PRESS 4 DOWN"},
        {[&] { return put("press", "PRESS 4 DOWN"); }, ResultKind::kAccepted, "", "", ""},  // same
        {[&] { return put("bad name", "X"); }, ResultKind::kRefused, "name", "", ""},
        {[&] { return put("other", "X", 12); }, ResultKind::kRefused, "number", "", ""},
        {[&] { return named("A", "nowhere"); }, ResultKind::kUnknownSign, "name", "", ""},
        {[&] { return remove("nowhere"); }, ResultKind::kUnknownSign, "name", "", ""},
    };
    for (size_t i = 0; i < steps.size(); ++i) {
        const GatewayResult result = steps[i].act();
        EXPECT_EQ(result.kind, steps[i].kind) << i;
        EXPECT_EQ(result.field, steps[i].field) << i;
        EXPECT_EQ(fixture.sender.End("A"), steps[i].toA) << i;
        EXPECT_EQ(fixture.sender.End("B"), steps[i].toB) << i;
    }
    EXPECT_EQ(ShownText(*fixture.core->Director().Find("B")->desired), "SHIFT B");
    EXPECT_EQ(forwarder.library.size(), 4u);  // each change made here, told to the others
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    const CDirector& director = fixture.core->Director();
    EXPECT_EQ(director.Library().Size(), 2u);
    EXPECT_EQ(director.FindLibraryMessage("12")->name, "shift");
    EXPECT_EQ(director.Find("A")->desiredName, "shift");
    EXPECT_EQ(director.Find("B")->alerts.On()->library, "press");
    // A removed message stays on the signs that showed it, as it was.
    EXPECT_TRUE(remove("shift").Ok());
    EXPECT_EQ(ShownText(*director.Shown(*director.Find("A"))), "SHIFT B");
}

// A playlist entry and a schedule that name a library message show it as the library has it when
// they come on; the playlist is kept across a restart.
TEST(Library, PlaylistsAndSchedulesShowALibraryMessageByName) {
    CCoreFixture fixture;
    fixture.schedules = ParseSchedules(
        R"([{"signs": ["B"], "days": ["mon", "tue", "wed", "thu", "fri", "sat", "sun"],
             "from": "00:00", "to": "23:59", "message": {"name": "shift"}}])",
        {});
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    const auto put = [&](const char* text) {
        return fixture.Ask([&](CCommands& c, CCommands::Reply reply) {
            c.PutLibraryMessage({"shift", std::nullopt, Text(text)}, Origin::kApi, reply);
        });
    };
    const auto play = [&](const char* name) {
        return fixture.Ask([&](CCommands& c, CCommands::Reply reply) {
            c.SetPlaylist(
                "A", {{{}, name, std::chrono::seconds(5)}, {Text("OWN"), "", kDefaultPlaySeconds}},
                Origin::kApi, reply);
        });
    };
    EXPECT_EQ(play("shift").field, "play[0].name");  // not in the library yet
    EXPECT_TRUE(put("SHIFT A").Ok());
    EXPECT_EQ(fixture.sender.End("B"), "SHIFT A");  // the schedule's message came to be
    EXPECT_TRUE(play("shift").Ok());
    EXPECT_EQ(fixture.sender.End("A"), "SHIFT A");
    fixture.clock.Advance(std::chrono::seconds(5));
    EXPECT_EQ(fixture.sender.End("A"), "OWN");
    EXPECT_TRUE(put("SHIFT B").Ok());
    EXPECT_EQ(fixture.sender.End("A"), "");  // not on now: shown when its turn comes
    EXPECT_EQ(fixture.sender.End("B"), "SHIFT B");
    fixture.clock.Advance(kDefaultPlaySeconds);
    EXPECT_EQ(fixture.sender.End("A"), "SHIFT B");
    fixture.Make();
    ASSERT_FALSE(fixture.core->Start());
    const SignState& kept = *fixture.core->Director().Find("A");
    ASSERT_EQ(kept.playlist.size(), 2u);
    EXPECT_EQ(kept.playlist[0].name, "shift");
    EXPECT_EQ(fixture.sender.End("A"), "SHIFT B");
}

}  // namespace
