// The director on a scripted clock and a recording sender: back-off, alerts, schedules, values
// and the newest message winning, each in no time at all.
#include <gtest/gtest.h>

#include "CoreFixture.h"
#include "DirectorTestSupport.h"
#include "gateway/Schedules.h"

namespace {

using std::chrono::hours;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

class Director : public testing::Test {
protected:
    void Make(GatewaySchedules schedules = {}, minutes utcOffset = {}) {
        m_clock = std::make_unique<CScriptedClock>(kTestStart, utcOffset);
        m_director = std::make_unique<CDirector>(
            std::vector<NamedSign>{TestSign("A", {"hall"}), TestSign("B")}, std::move(schedules),
            *m_clock, m_sender);
    }
    void Set(const std::string& sign, const std::string& text) {
        m_director->SetDesired(sign, Text(text),
                               NextStamp(m_clock->Now(), "hall-b", Origin::kApi, 0));
    }

    CRecordingSender m_sender;
    std::unique_ptr<CScriptedClock> m_clock;
    std::unique_ptr<CDirector> m_director;
};

TEST_F(Director, AFailedSendIsTriedAgainBackingOffToAMinute) {
    Make();
    m_director->Start();
    Set("A", "HELLO");
    std::vector<long long> waits;
    for (int attempt = 0; attempt < 9; ++attempt) {
        ASSERT_EQ(m_sender.End("A", false), "HELLO");
        const SignState& state = *m_director->Find("A");
        EXPECT_EQ(state.Waits(), WaitingFor::kRetry);
        ASSERT_TRUE(state.nextTry);
        waits.push_back(
            std::chrono::duration_cast<seconds>(*state.nextTry - m_clock->Now()).count());
        ASSERT_TRUE(m_clock->AdvanceToNextWake());
    }
    EXPECT_EQ(waits, (std::vector<long long>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
    // Delivered at last: the next failure starts again from a second.
    EXPECT_EQ(m_sender.End("A", true), "HELLO");
    EXPECT_EQ(m_director->Find("A")->Waits(), WaitingFor::kNothing);
    Set("A", "AGAIN");
    m_sender.End("A", false);
    EXPECT_EQ(*m_director->Find("A")->nextTry - m_clock->Now(), seconds(1));
}

TEST_F(Director, ANewerMessageCancelsTheRunningSendAndGoesAtOnce) {
    Make();
    m_director->Start();
    Set("A", "OLD");
    Set("A", "NEW");
    ASSERT_EQ(m_sender.Running().size(), 1u);
    EXPECT_TRUE(m_sender.Running().front()->cancelled);
    EXPECT_EQ(m_sender.End("A"), "OLD");  // its outcome comes as cancelled
    EXPECT_EQ(m_sender.End("A"), "NEW");
    const SignState& state = *m_director->Find("A");
    EXPECT_TRUE(state.last->outcome.Delivered());
    EXPECT_EQ(ShownText(*state.desired), "NEW");
    EXPECT_TRUE(m_sender.Running().empty());
    EXPECT_FALSE(state.nextTry);  // a cancelled send is not a failure
    // The same words again while they go out: that send goes on, and no other follows.
    Set("A", "SAME");
    Set("A", "SAME");
    EXPECT_FALSE(m_sender.Running().front()->cancelled);
    EXPECT_EQ(m_sender.End("A"), "SAME");
    EXPECT_EQ(m_sender.End("A"), "");
}

// The page draws what the sign last took while a newer message fails: a failed or cancelled send
// leaves it as it was.
TEST_F(Director, WhatTheSignLastTookStaysUntilAnotherArrives) {
    struct Step {
        const char* set;  // a new desired message, or a retry when null
        bool delivered;
        const char* took;  // what the state says the sign last took
    };
    const std::vector<Step> steps = {
        {"OLD", true, "OLD"},   {"NEW", false, "OLD"},   {nullptr, false, "OLD"},
        {nullptr, true, "NEW"}, {"LATER", false, "NEW"},
    };
    Make();
    m_director->Start();
    for (const Step& step : steps) {
        if (step.set != nullptr) {
            Set("A", step.set);
        } else {
            ASSERT_TRUE(m_clock->AdvanceToNextWake());
        }
        m_sender.End("A", step.delivered);
        const SignState& state = *m_director->Find("A");
        ASSERT_TRUE(state.delivered) << (step.set ? step.set : "retry");
        EXPECT_EQ(ShownText(*state.delivered), step.took);
    }
    // A send given way to a newer one took nothing.
    Set("A", "FIRST");
    Set("A", "SECOND");
    m_sender.End("A");
    EXPECT_EQ(ShownText(*m_director->Find("A")->delivered), "NEW");
}

// Alerts over the sign's own message: the highest priority on, those of one priority taking turns
// every 8 s, held ones until cleared, timed ones until their time is over.
TEST_F(Director, AlertsShowByPriorityTakeTurnsAndEndBackOnTheSignsMessage) {
    Make();
    m_director->Start();
    Set("A", "WELCOME");
    m_sender.End("A");
    struct Step {
        int at;             // seconds after the start
        const char* raise;  // the key raised, or nullptr
        int priority;
        int seconds;  // 0: held
        const char* text;
        const char* clear;  // the key cleared, or nullptr
        const char* sent;   // to A then, "" when nothing
    };
    const Step steps[] = {
        {0, "notice-1", 5, 30, "BREAK", nullptr, "BREAK"},
        {0, "notice-2", 5, 30, "LUNCH", nullptr, ""},  // a second notice waits its turn
        {8, nullptr, 0, 0, "", nullptr, "LUNCH"},
        {16, nullptr, 0, 0, "", nullptr, "BREAK"},
        {16, "press4", 1, 0, "PRESS 4 DOWN", nullptr, "PRESS 4 DOWN"},
        {30, nullptr, 0, 0, "", nullptr, ""},  // the notices end beneath it
        {40, "press4", 1, 0, "PRESS 4 JAMMED", nullptr, "PRESS 4 JAMMED"},
        {40, "fire", 1, 0, "FIRE", nullptr, ""},  // the raised again kept its place
        {47, nullptr, 0, 0, "", nullptr, ""},
        {48, nullptr, 0, 0, "", nullptr, "FIRE"},
        {50, nullptr, 0, 0, "", "fire", "PRESS 4 JAMMED"},
        {50, nullptr, 0, 0, "", "fire", ""},  // cleared already
        {600, nullptr, 0, 0, "", nullptr, ""},
        {600, nullptr, 0, 0, "", "press4", "WELCOME"},
    };
    for (const Step& step : steps) {
        m_clock->Advance(seconds(step.at) - (m_clock->Now() - kTestStart));
        if (step.raise != nullptr) {
            Alert alert{step.raise, Text(step.text), step.priority, std::nullopt, {}, {}};
            if (step.seconds > 0) {
                alert.until = m_clock->Now() + seconds(step.seconds);
            }
            EXPECT_TRUE(m_director->RaiseAlert("A", alert));
        }
        if (step.clear != nullptr) {
            m_director->ClearAlert("A", step.clear);
        }
        EXPECT_EQ(m_sender.End("A"), step.sent) << step.at << " " << step.text;
    }
    EXPECT_EQ(m_director->Find("A")->Shows(), Showing::kDesired);
    // A sign with nothing else to show is cleared when its last alert ends.
    m_director->RaiseAlert("B",
                           {"drill", Text("FIRE DRILL"), 5, m_clock->Now() + seconds(10), {}, {}});
    EXPECT_EQ(m_director->Find("B")->Shows(), Showing::kAlert);
    EXPECT_EQ(m_sender.End("B"), "FIRE DRILL");
    m_clock->Advance(seconds(10));
    EXPECT_EQ(m_sender.End("B"), "");
    EXPECT_TRUE(m_director->Find("B")->clearAfterAlert);
    EXPECT_EQ(m_sender.TextsOf("B").size(), 2u);
}

// A playlist's entries take turns for their own seconds, beneath an alert too: when the alert
// ends, the entry on then is shown. A message alone ends the turns.
TEST_F(Director, APlaylistTakesTurnsEvenBeneathAnAlert) {
    Make();
    m_director->Start();
    m_director->SetDesired("A",
                           Playlist{{Text("ONE"), "", seconds(10)},
                                    {Text("TWO"), "", seconds(5)},
                                    {Text("THREE"), "", seconds(5)}},
                           NextStamp(m_clock->Now(), "hall-b", Origin::kApi, 0));
    struct Step {
        int at;  // seconds after the start
        const char* raise;
        const char* clear;
        const char* sent;  // to A then, "" when nothing
        size_t playing;
    };
    const Step steps[] = {
        {0, nullptr, nullptr, "ONE", 0},  {9, nullptr, nullptr, "", 0},
        {10, nullptr, nullptr, "TWO", 1}, {15, nullptr, nullptr, "THREE", 2},
        {17, "stop", nullptr, "STOP", 2}, {20, nullptr, nullptr, "", 0},
        {25, nullptr, nullptr, "", 0},    {27, nullptr, "stop", "ONE", 0},
        {30, nullptr, nullptr, "TWO", 1}, {35, nullptr, nullptr, "THREE", 2},
    };
    for (const Step& step : steps) {
        m_clock->Advance(seconds(step.at) - (m_clock->Now() - kTestStart));
        if (step.raise != nullptr) {
            m_director->RaiseAlert("A", {step.raise, Text("STOP"), 1, std::nullopt, {}, {}});
        }
        if (step.clear != nullptr) {
            m_director->ClearAlert("A", step.clear);
        }
        EXPECT_EQ(m_sender.End("A"), step.sent) << step.at;
        EXPECT_EQ(m_director->Find("A")->playing, step.playing) << step.at;
    }
    Set("A", "PLAIN");
    EXPECT_EQ(m_sender.End("A"), "PLAIN");
    m_clock->Advance(minutes(5));
    EXPECT_EQ(m_sender.End("A"), "");
}

TEST_F(Director, AScheduleWindowAcrossMidnightOpensAndClosesOnTheLocalClock) {
    // 22:00 to 06:00 local time, every day, for the tag "hall"; the zone is an hour ahead of UTC.
    const std::string rules = R"([{"tag": "hall", "message": {"lines": ["NIGHT SHIFT"]},
        "days": ["mon", "tue", "wed", "thu", "fri", "sat", "sun"], "from": "22:00", "to": "06:00"}])";
    Make(ParseSchedules(rules, "."), hours(1));
    m_director->Start();  // 11:00 local
    Set("A", "DAY");
    Set("B", "DAY");
    m_sender.End("A");
    m_sender.End("B");
    struct Step {
        minutes to;  // after the start, local 11:00
        const char* shows;
    };
    const Step steps[] = {
        {hours(11) - minutes(1), ""},  // 21:59
        {hours(11), "NIGHT SHIFT"},    // 22:00
        {hours(13), ""},               // 00:00: still open past midnight
        {hours(19) - minutes(1), ""},  // 05:59
        {hours(19), "DAY"},            // 06:00
    };
    for (const Step& step : steps) {
        m_clock->Advance(step.to - (m_clock->Now() - kTestStart));
        EXPECT_EQ(m_sender.End("A"), step.shows) << step.to.count();
    }
    EXPECT_TRUE(m_sender.TextsOf("B") == std::vector<std::string>{"DAY"});  // not of the tag
}

TEST_F(Director, AValueResendsOnlyTheSignsThatShowIt) {
    Make();
    m_director->Start();
    Set("A", "{count} PARTS");
    Set("B", "WELCOME");
    EXPECT_EQ(m_sender.End("A"), "-- PARTS");
    EXPECT_EQ(m_sender.End("B"), "WELCOME");
    EXPECT_EQ(m_director->Find("A")->Waits(), WaitingFor::kValues);
    m_director->SetValue("count", "412");
    EXPECT_EQ(m_sender.End("A"), "412 PARTS");
    EXPECT_EQ(m_sender.End("B"), "");
    EXPECT_EQ(m_director->Find("A")->Waits(), WaitingFor::kNothing);
}

TEST_F(Director, TheTimeIsShownAgainEachMinute) {
    Make({}, minutes(90));
    m_director->Start();
    Set("A", "{now:HH:mm}");
    EXPECT_EQ(m_sender.End("A"), "11:30");
    m_clock->Advance(seconds(59));
    EXPECT_TRUE(m_sender.Running().empty());
    m_clock->Advance(seconds(1));
    EXPECT_EQ(m_sender.End("A"), "11:31");
}

TEST_F(Director, SignsReadAgainKeepTheirStateAndNewOnesJoin) {
    Make();
    m_director->Start();
    Set("A", "KEEP");
    Set("B", "LEAVING");
    EXPECT_EQ(m_sender.End("A"), "KEEP");
    NamedSign moved = TestSign("A", {"hall"});
    moved.tcpPort = 50000;  // reached another way: sent again
    const std::string rules = R"([{"signs": ["C"], "message": {"lines": ["NEW RULE"]},
        "days": ["mon"], "from": "00:00", "to": "00:00"}])";
    m_director->Reconfigure({moved, TestSign("C")}, ParseSchedules(rules, "."));
    EXPECT_EQ(m_director->Find("B"), nullptr);
    EXPECT_EQ(m_director->Find("A")->sign.tcpPort, 50000);
    EXPECT_EQ(m_sender.End("A"), "KEEP");
    EXPECT_EQ(m_sender.End("C"), "NEW RULE");
    // The send of the sign that left ends, and nothing more happens for it.
    EXPECT_TRUE(m_sender.Running().front()->cancelled);
    EXPECT_EQ(m_sender.End("B"), "LEAVING");
    EXPECT_TRUE(m_sender.Running().empty());
    EXPECT_EQ(m_director->Signs().size(), 2u);
}

TEST(TimerClock, CallsComeInTheirOrderAndACancelledOneNever) {
    CTimerClock clock;
    std::vector<int> calls;
    const GatewayTime now = clock.Now();
    clock.WakeAt(now + milliseconds(20), [&] { calls.push_back(2); });
    const IClock::WakeId cancelled =
        clock.WakeAt(now + milliseconds(5), [&] { calls.push_back(0); });
    clock.WakeAt(now + milliseconds(10), [&] { calls.push_back(1); });
    clock.Cancel(cancelled);
    ASSERT_TRUE(PumpUntil([&] { return calls.size() == 2; }));
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    EXPECT_GE(clock.Now(), now + milliseconds(20));
}

}  // namespace
