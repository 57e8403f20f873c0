#pragma once

#include <bitset>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/LocalTime.h"

// A schedule window opens on each of its days at `from` and closes at the next `to`, local time.
// The day names the start: from 22:00 to 06:00 on "mon" is open from Monday 22:00 until Tuesday
// 06:00, and such a window on "sun" runs into Monday morning. `from` is inside the window, `to` is
// not. from == to keeps the window open for a whole day (from 00:00 to 00:00 is the day itself).

inline constexpr int kDaysPerWeek = 7;
inline constexpr int kMinutesPerDay = 24 * 60;

// Bit 0 is Monday, bit 6 Sunday.
using DaySet = std::bitset<kDaysPerWeek>;

struct ScheduleWindow {
    DaySet days;
    int fromMinute = 0;  // minutes after midnight, 0 to 1439
    int toMinute = 0;    // likewise; "24:00" reads as 0

    bool operator==(const ScheduleWindow&) const = default;
};

// One rule of a schedule. The message it shows stays with the caller, found by the rule's place
// in the list.
struct ScheduleRule {
    // The signs it is for: those named here, or, when there are none, those carrying `tag`. Names
    // and tags compare without regard to the case of A to Z; other letters must match exactly.
    std::vector<std::string> signs;
    std::string tag;
    ScheduleWindow window;
};

// What is wrong with a rule: the field ("days", "from" or "to") and a text naming the value at
// fault and what it should be.
struct ScheduleError {
    std::string field;
    std::string text;

    bool operator==(const ScheduleError&) const = default;
};

// Reads a rule's window from its texts: day names "mon", "tue", "wed", "thu", "fri", "sat" and
// "sun" (in any case; at least one), and times "HH:MM" or "H:MM" from 00:00 to 23:59, with "24:00"
// allowed as the end of a day in `to`.
std::variant<ScheduleWindow, ScheduleError> ParseScheduleWindow(std::span<const std::string> days,
                                                                std::string_view from,
                                                                std::string_view to);

// A sign as the rules see it.
struct ScheduledSign {
    std::string_view name;
    std::span<const std::string> tags;
};

bool RuleSelects(const ScheduleRule& rule, const ScheduledSign& sign);
bool IsWindowOpen(const ScheduleWindow& window, LocalTime time);

// The place in `rules` of the rule that is open for the sign at `time`; when several are, the
// later in the list. Nothing when none is.
std::optional<size_t> OpenScheduleRule(std::span<const ScheduleRule> rules,
                                       const ScheduledSign& sign, LocalTime time);

// The first moment after `time` at which OpenScheduleRule gives the sign another answer; nothing
// when it never will. It is a local time: across a change to or from summer time the wait until
// then is an hour off, so a caller that sleeps until it should look again before an hour is over.
std::optional<LocalTime> NextScheduleChange(std::span<const ScheduleRule> rules,
                                            const ScheduledSign& sign, LocalTime time);

// The first moment after `time` at which OpenScheduleRule gives any of the signs another answer;
// nothing when it never will.
std::optional<LocalTime> NextScheduleChange(std::span<const ScheduleRule> rules,
                                            std::span<const ScheduledSign> signs, LocalTime time);

// A local time to the millisecond, for timers.
using LocalTimeMs = std::chrono::local_time<std::chrono::milliseconds>;

// How long a timer set at `now` waits to look again at `then` (nothing: no need to), at most
// `longest`, so that a change of the zone's offset (summer time) or of the clock is noticed in
// time; never less than nothing.
std::chrono::milliseconds WaitUntilLocal(std::optional<LocalTime> then, LocalTimeMs now,
                                         std::chrono::milliseconds longest);
