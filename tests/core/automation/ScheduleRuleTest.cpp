#include <gtest/gtest.h>

#include "automation/ScheduleRule.h"

namespace {

using namespace std::chrono;
using Days = std::vector<std::string>;

constexpr local_days kMonday{2024y / March / 4};
constexpr local_days kTuesday = kMonday + days{1};
constexpr local_days kFriday = kMonday + days{4};
constexpr local_days kSaturday = kMonday + days{5};
constexpr local_days kSunday = kMonday + days{6};

ScheduleWindow Window(Days days, std::string_view from, std::string_view to) {
    auto parsed = ParseScheduleWindow(days, from, to);
    EXPECT_TRUE(std::holds_alternative<ScheduleWindow>(parsed)) << from << " " << to;
    return std::holds_alternative<ScheduleWindow>(parsed) ? std::get<ScheduleWindow>(parsed)
                                                          : ScheduleWindow{};
}

TEST(ScheduleRuleTest, ParsesWindowsAndNamesWhatIsWrong) {
    const Days weekdays = {"mon", "tue", "wed", "thu", "fri"};
    const struct {
        Days days;
        std::string_view from;
        std::string_view to;
        std::variant<ScheduleWindow, ScheduleError> expected;
    } cases[] = {
        {weekdays, "06:00", "14:00", ScheduleWindow{DaySet{0b0011111}, 360, 840}},
        {{"Sun", "SAT", "sun"}, "6:30", "24:00", ScheduleWindow{DaySet{0b1100000}, 390, 0}},
        {{"wed"}, "00:00", "23:59", ScheduleWindow{DaySet{0b0000100}, 0, 1439}},
        {{},
         "06:00",
         "14:00",
         ScheduleError{"days", "no day given: use mon, tue, wed, thu, fri, sat or sun"}},
        {{"mon", "monday"},
         "06:00",
         "14:00",
         ScheduleError{"days", "\"monday\" is not a day: use mon, tue, wed, thu, fri, sat or sun"}},
        {weekdays, "24:00", "06:00", ScheduleError{"from", "\"24:00\": the hour must be 00 to 23"}},
        {weekdays, "06:60", "07:00",
         ScheduleError{"from", "\"06:60\": the minutes must be 00 to 59"}},
        {weekdays, "06:00", "24:01",
         ScheduleError{"to", "\"24:01\": the hour must be 00 to 23, or 24:00 for midnight"}},
        {weekdays, "06:00", "99:00",
         ScheduleError{"to", "\"99:00\": the hour must be 00 to 23, or 24:00 for midnight"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseScheduleWindow(c.days, c.from, c.to), c.expected) << c.from << "-" << c.to;
    }
    for (const std::string_view text : {"", "6", "0600", " 06:00", "06:00 ", "06:0", "006:00",
                                        "06:00:00", "6h00", "-1:00", "+6:00", "٠٦:٠٠"}) {
        EXPECT_EQ(ParseScheduleWindow(weekdays, text, "14:00"),
                  (std::variant<ScheduleWindow, ScheduleError>{ScheduleError{
                      "from", "\"" + std::string(text) + "\" is not a time of day \"HH:MM\""}}))
            << text;
    }
}

// Signs and their rules: a shift greeting by tag, a night message crossing midnight, a lunch
// message for one sign overlapping the greeting, a window crossing the end of the week and one of
// 24 hours from Saturday morning.
const std::vector<ScheduleRule> kRules = {
    {{}, "hall-b", Window({"mon", "tue", "wed", "thu", "fri"}, "06:00", "14:00")},
    {{"Line 3"}, "", Window({"mon"}, "22:00", "06:00")},
    {{"Dock 1", "LINE 3"}, "", Window({"mon", "tue", "wed", "thu", "fri"}, "12:00", "13:00")},
    {{}, "dock", Window({"sun"}, "22:00", "02:00")},
    {{}, "dock", Window({"sat"}, "08:00", "08:00")},
};
const std::vector<std::string> kLineTags = {"assembly", "Hall-B"};
const std::vector<std::string> kDockTags = {"dock"};
const ScheduledSign kLine{"line 3", kLineTags};
const ScheduledSign kDock{"Dock 2", kDockTags};
const ScheduledSign kOffice{"Office", {}};

TEST(ScheduleRuleTest, OpenRuleForASign) {
    const struct {
        ScheduledSign sign;
        LocalTime time;
        std::optional<size_t> expected;
    } cases[] = {
        {kLine, kMonday + 5h + 59min, std::nullopt},
        {kLine, kMonday + 6h, 0},
        {kLine, kMonday + 12h + 30min, 2},
        {kLine, kMonday + 13h, 0},
        {kLine, kMonday + 14h, std::nullopt},
        {kLine, kMonday + 22h, 1},
        {kLine, kTuesday + 5h + 59min + 59s, 1},
        {kLine, kTuesday + 6h, 0},
        {kLine, kTuesday + 22h, std::nullopt},
        {kLine, kSaturday + 10h, std::nullopt},
        {kDock, kSunday + 23h, 3},
        {kDock, kMonday + 1h + 59min, 3},
        {kDock, kMonday + 2h, std::nullopt},
        {kDock, kSaturday + 7h + 59min, std::nullopt},
        {kDock, kSaturday + 8h, 4},
        {kDock, kSunday + 7h + 59min, 4},
        {kDock, kSunday + 8h, std::nullopt},
        {kDock, kMonday + 12h + 30min, std::nullopt},
        {kOffice, kMonday + 12h + 30min, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OpenScheduleRule(kRules, c.sign, c.time), c.expected)
            << c.sign.name << " at " << c.time.time_since_epoch().count();
    }
}

TEST(ScheduleRuleTest, NextChangeForASign) {
    const std::vector<ScheduleRule> everyDay = {
        {{"Office"},
         "",
         Window({"mon", "tue", "wed", "thu", "fri", "sat", "sun"}, "07:00", "07:00")},
    };
    // The inner window is hidden behind the later, longer one: its edges change nothing.
    const std::vector<ScheduleRule> hidden = {
        {{"Office"}, "", Window({"mon"}, "10:00", "11:00")},
        {{"Office"}, "", Window({"mon"}, "09:00", "12:00")},
    };
    const struct {
        const std::vector<ScheduleRule>& rules;
        ScheduledSign sign;
        LocalTime time;
        std::optional<LocalTime> expected;
    } cases[] = {
        {kRules, kLine, kMonday + 5h + 59min + 30s, kMonday + 6h},
        {kRules, kLine, kMonday + 6h, kMonday + 12h},
        {kRules, kLine, kMonday + 13h, kMonday + 14h},
        {kRules, kLine, kMonday + 14h, kMonday + 22h},
        {kRules, kLine, kMonday + 22h, kTuesday + 6h},
        {kRules, kLine, kFriday + 14h, kMonday + days{7} + 6h},
        {kRules, kDock, kSunday + 23h, kMonday + days{7} + 2h},
        {kRules, kDock, kFriday, kSaturday + 8h},
        {kRules, kOffice, kMonday, std::nullopt},
        {everyDay, kOffice, kMonday + 12h, std::nullopt},
        {hidden, kOffice, kMonday + 9h + 30min, kMonday + 12h},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextScheduleChange(c.rules, c.sign, c.time), c.expected)
            << c.sign.name << " at " << c.time.time_since_epoch().count();
    }
}

TEST(ScheduleRuleTest, OneTimerForEverySignWakesAtTheFirstEdge) {
    const std::vector<ScheduledSign> lineAndDock = {kLine, kDock};
    const std::vector<ScheduledSign> officeOnly = {kOffice};
    const struct {
        std::span<const ScheduledSign> signs;
        LocalTime time;
        std::optional<LocalTime> expected;
    } cases[] = {
        // The dock's Saturday window opens before the line's next shift.
        {lineAndDock, kFriday + 14h, kSaturday + 8h},
        {lineAndDock, kSaturday + 8h, kSunday + 8h},
        {lineAndDock, kMonday + 1h + 59min + 59s, kMonday + 2h},
        {lineAndDock, kMonday + 11h + 59min, kMonday + 12h},
        {officeOnly, kMonday, std::nullopt},
        {{}, kMonday, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextScheduleChange(kRules, c.signs, c.time), c.expected)
            << c.time.time_since_epoch().count();
    }
}

TEST(ScheduleRuleTest, TheTimerWaitsToTheMillisecondButNeverLongerThanItsLongest) {
    const LocalTimeMs sixLess = LocalTimeMs(kMonday + 5h + 59min + 59s) + 250ms;
    const struct {
        std::optional<LocalTime> then;
        LocalTimeMs now;
        milliseconds expected;
    } cases[] = {
        {kMonday + 6h, sixLess, 750ms},
        {kMonday + 6h, LocalTimeMs(kMonday + 6h), 0ms},
        {kMonday + 6h, LocalTimeMs(kMonday + 6h) + 5ms, 0ms},  // late: at once
        {kTuesday + 6h, sixLess, hours(1)},
        {std::nullopt, sixLess, hours(1)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WaitUntilLocal(c.then, c.now, hours(1)), c.expected)
            << c.now.time_since_epoch().count();
    }
}

}  // namespace
