#include "automation/ScheduleRule.h"

#include <algorithm>
#include <array>

namespace {

using namespace std::chrono;

constexpr std::array<std::string_view, kDaysPerWeek> kDayNames = {"mon", "tue", "wed", "thu",
                                                                  "fri", "sat", "sun"};
constexpr std::string_view kDayNamesHint = "use mon, tue, wed, thu, fri, sat or sun";
constexpr int kMinutesPerHour = 60;
constexpr int kHoursPerDay = 24;
constexpr int kSecondsPerMinute = 60;
constexpr long long kSecondsPerDay = 1LL * kMinutesPerDay * kSecondsPerMinute;
constexpr long long kSecondsPerWeek = kDaysPerWeek * kSecondsPerDay;

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

// Minutes after midnight, with "24:00" read as 0 where the end of a day is allowed.
std::variant<int, std::string> ParseTimeOfDay(std::string_view text, bool endOfDayAllowed) {
    const size_t colon = text.find(':');
    const bool shaped = (colon == 1 || colon == 2) && text.size() == colon + 3 &&
                        std::all_of(text.begin(), text.begin() + colon, IsDigit) &&
                        IsDigit(text[colon + 1]) && IsDigit(text[colon + 2]);
    if (!shaped) {
        return Quoted(text) + " is not a time of day \"HH:MM\"";
    }
    const int hour = colon == 1 ? text[0] - '0' : (text[0] - '0') * 10 + (text[1] - '0');
    const int minute = (text[colon + 1] - '0') * 10 + (text[colon + 2] - '0');
    if (minute >= kMinutesPerHour) {
        return Quoted(text) + ": the minutes must be 00 to 59";
    }
    if (endOfDayAllowed && hour == kHoursPerDay && minute == 0) {
        return 0;
    }
    if (hour >= kHoursPerDay) {
        return Quoted(text) + (endOfDayAllowed
                                   ? ": the hour must be 00 to 23, or 24:00 for midnight"
                                   : ": the hour must be 00 to 23");
    }
    return hour * kMinutesPerHour + minute;
}

std::variant<DaySet, std::string> ParseDays(std::span<const std::string> names) {
    if (names.empty()) {
        return "no day given: " + std::string(kDayNamesHint);
    }
    DaySet days;
    for (const std::string& name : names) {
        const auto known = std::find_if(kDayNames.begin(), kDayNames.end(), [&](auto day) {
            return EqualIgnoringAsciiCase(day, name);
        });
        if (known == kDayNames.end()) {
            return Quoted(name) + " is not a day: " + std::string(kDayNamesHint);
        }
        days.set(known - kDayNames.begin());
    }
    return days;
}

long long SecondOfWeek(LocalTime time) {
    const local_days date = floor<days>(time);
    const long long day = weekday{date}.iso_encoding() - 1;
    return day * kSecondsPerDay + (time - date).count();
}

long long WindowLengthSeconds(const ScheduleWindow& window) {
    const int minutes = (window.toMinute - window.fromMinute + kMinutesPerDay) % kMinutesPerDay;
    return (minutes == 0 ? kMinutesPerDay : minutes) * kSecondsPerMinute;
}

long long StartSecondOfWeek(const ScheduleWindow& window, int day) {
    return day * kSecondsPerDay + 1LL * window.fromMinute * kSecondsPerMinute;
}

long long WeekModulo(long long seconds) {
    return (seconds % kSecondsPerWeek + kSecondsPerWeek) % kSecondsPerWeek;
}

// Seconds from `now` forward to `second` of the week, from 1 to a week.
long long SecondsUntil(long long now, long long second) {
    const long long ahead = WeekModulo(second - now);
    return ahead == 0 ? kSecondsPerWeek : ahead;
}

}  // namespace

std::variant<ScheduleWindow, ScheduleError> ParseScheduleWindow(std::span<const std::string> days,
                                                                std::string_view from,
                                                                std::string_view to) {
    ScheduleWindow window;
    auto parsedDays = ParseDays(days);
    if (auto* error = std::get_if<std::string>(&parsedDays)) {
        return ScheduleError{"days", std::move(*error)};
    }
    window.days = std::get<DaySet>(parsedDays);
    auto parsedFrom = ParseTimeOfDay(from, false);
    if (auto* error = std::get_if<std::string>(&parsedFrom)) {
        return ScheduleError{"from", std::move(*error)};
    }
    window.fromMinute = std::get<int>(parsedFrom);
    auto parsedTo = ParseTimeOfDay(to, true);
    if (auto* error = std::get_if<std::string>(&parsedTo)) {
        return ScheduleError{"to", std::move(*error)};
    }
    window.toMinute = std::get<int>(parsedTo);
    return window;
}

bool RuleSelects(const ScheduleRule& rule, const ScheduledSign& sign) {
    if (!rule.signs.empty()) {
        return std::any_of(rule.signs.begin(), rule.signs.end(), [&](const std::string& name) {
            return EqualIgnoringAsciiCase(name, sign.name);
        });
    }
    return !rule.tag.empty() &&
           std::any_of(sign.tags.begin(), sign.tags.end(), [&](const std::string& tag) {
               return EqualIgnoringAsciiCase(tag, rule.tag);
           });
}

bool IsWindowOpen(const ScheduleWindow& window, LocalTime time) {
    const long long now = SecondOfWeek(time);
    const long long length = WindowLengthSeconds(window);
    for (int day = 0; day < kDaysPerWeek; ++day) {
        if (window.days.test(day) && WeekModulo(now - StartSecondOfWeek(window, day)) < length) {
            return true;
        }
    }
    return false;
}

std::optional<size_t> OpenScheduleRule(std::span<const ScheduleRule> rules,
                                       const ScheduledSign& sign, LocalTime time) {
    for (size_t i = rules.size(); i-- > 0;) {
        if (RuleSelects(rules[i], sign) && IsWindowOpen(rules[i].window, time)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<LocalTime> NextScheduleChange(std::span<const ScheduleRule> rules,
                                            const ScheduledSign& sign, LocalTime time) {
    // The answer holds between the openings and closings of the sign's windows, so the first
    // change within a week is at one of them, and without one there none ever comes.
    const long long now = SecondOfWeek(time);
    std::vector<long long> edges;
    for (const ScheduleRule& rule : rules) {
        if (!RuleSelects(rule, sign)) {
            continue;
        }
        for (int day = 0; day < kDaysPerWeek; ++day) {
            if (rule.window.days.test(day)) {
                const long long start = StartSecondOfWeek(rule.window, day);
                edges.push_back(SecondsUntil(now, start));
                edges.push_back(SecondsUntil(now, start + WindowLengthSeconds(rule.window)));
            }
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    const std::optional<size_t> current = OpenScheduleRule(rules, sign, time);
    for (const long long ahead : edges) {
        const LocalTime then = time + seconds(ahead);
        if (OpenScheduleRule(rules, sign, then) != current) {
            return then;
        }
    }
    return std::nullopt;
}

std::optional<LocalTime> NextScheduleChange(std::span<const ScheduleRule> rules,
                                            std::span<const ScheduledSign> signs, LocalTime time) {
    std::optional<LocalTime> first;
    for (const ScheduledSign& sign : signs) {
        const std::optional<LocalTime> next = NextScheduleChange(rules, sign, time);
        if (next && (!first || *next < *first)) {
            first = next;
        }
    }
    return first;
}

milliseconds WaitUntilLocal(std::optional<LocalTime> then, LocalTimeMs now, milliseconds longest) {
    if (!then) {
        return longest;
    }
    return std::clamp(duration_cast<milliseconds>(*then - now), milliseconds(0), longest);
}
