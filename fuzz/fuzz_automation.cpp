// Message templates and schedule rules. Any text expands without failing: every variable it names
// is a valid name, missing exactly when it has no value, and text with its braces doubled comes
// back as it was. Any rule texts read as a window or as an error naming its field; the open rule
// of a sign is the last open one that selects it, and it holds until the next change reported.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "automation/ScheduleRule.h"
#include "automation/TemplateText.h"

namespace {

using namespace std::chrono;

constexpr size_t kMaxVariables = 4;
constexpr size_t kMaxRules = 6;
constexpr size_t kMaxDays = 8;
constexpr size_t kMaxField = 8;
// Times within about a thousand years of 1970, where the calendar of every machine agrees.
constexpr long long kTimeRange = 32'000'000'000LL;
constexpr long long kWeekSeconds = 7LL * 24 * 3600;
const std::string kSignNames[] = {"Line 3", "line 3", "Dock", "Office"};
const std::string kTags[] = {"hall-b", "HALL-B", "dock"};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

LocalTime ConsumeTime(FuzzedDataProvider& input) {
    return LocalTime{seconds{input.ConsumeIntegralInRange<long long>(-kTimeRange, kTimeRange)}};
}

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        escaped += c;
        if (c == '{' || c == '}') {
            escaped += c;
        }
    }
    return escaped;
}

void CheckTemplate(FuzzedDataProvider& input) {
    const LocalTime now = ConsumeTime(input);
    VariableValues values;
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, kMaxVariables);
    for (size_t i = 0; i < count; ++i) {
        std::string name = input.ConsumeRandomLengthString(kMaxField);
        values[name] = input.ConsumeRandomLengthString(kMaxField);
    }
    const std::string text = input.ConsumeRemainingBytesAsString();

    const TemplateExpansion expansion = ExpandTemplate(text, values, now);
    for (const std::string& name : expansion.used) {
        Require(IsVariableName(name));
        Require(expansion.missing.contains(name) == !values.contains(name));
    }
    for (const std::string& name : expansion.missing) {
        Require(expansion.used.contains(name));
    }
    if (text.find_first_of("{}") == std::string::npos) {
        Require(expansion.text == text && expansion.used.empty() && !expansion.usesClock);
    }

    const TemplateExpansion literal = ExpandTemplate(Escaped(text), values, now);
    Require(literal.text == text && literal.used.empty() && !literal.usesClock);
}

std::string ConsumeTimeText(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        return input.ConsumeRandomLengthString(kMaxField);
    }
    const int hour = input.ConsumeIntegralInRange<int>(0, 25);
    const int minute = input.ConsumeIntegralInRange<int>(0, 61);
    return std::to_string(hour) + (minute < 10 ? ":0" : ":") + std::to_string(minute);
}

std::string MinuteText(int minute) {
    const int hour = minute / 60;
    minute %= 60;
    return (hour < 10 ? "0" : "") + std::to_string(hour) + (minute < 10 ? ":0" : ":") +
           std::to_string(minute);
}

std::vector<ScheduleRule> ConsumeRules(FuzzedDataProvider& input) {
    static const std::string kDayNames[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
    std::vector<ScheduleRule> rules;
    const size_t count = input.ConsumeIntegralInRange<size_t>(0, kMaxRules);
    for (size_t i = 0; i < count; ++i) {
        std::vector<std::string> days(input.ConsumeIntegralInRange<size_t>(0, kMaxDays));
        for (std::string& day : days) {
            day = input.ConsumeBool() ? input.ConsumeRandomLengthString(kMaxField)
                                      : kDayNames[input.ConsumeIntegralInRange<size_t>(0, 6)];
        }
        const std::string from = ConsumeTimeText(input);
        const std::string to = ConsumeTimeText(input);
        const auto parsed = ParseScheduleWindow(days, from, to);
        if (const auto* error = std::get_if<ScheduleError>(&parsed)) {
            Require(error->field == "days" || error->field == "from" || error->field == "to");
            Require(!error->text.empty());
            continue;
        }
        const ScheduleWindow window = std::get<ScheduleWindow>(parsed);
        Require(window.days.any());
        Require(window.fromMinute >= 0 && window.fromMinute < kMinutesPerDay);
        Require(window.toMinute >= 0 && window.toMinute < kMinutesPerDay);
        const auto again =
            ParseScheduleWindow(days, MinuteText(window.fromMinute), MinuteText(window.toMinute));
        Require(std::get<ScheduleWindow>(again) == window);

        ScheduleRule rule;
        rule.window = window;
        if (input.ConsumeBool()) {
            rule.tag = kTags[input.ConsumeIntegralInRange<size_t>(0, std::size(kTags) - 1)];
        } else {
            rule.signs = {kSignNames[input.ConsumeIntegralInRange<size_t>(0, 3)]};
        }
        rules.push_back(std::move(rule));
    }
    return rules;
}

void CheckSchedule(FuzzedDataProvider& input) {
    const std::vector<ScheduleRule> rules = ConsumeRules(input);
    const std::vector<std::string> tags = {kTags[input.ConsumeIntegralInRange<size_t>(0, 2)]};
    const ScheduledSign sign{kSignNames[input.ConsumeIntegralInRange<size_t>(0, 3)], tags};
    const LocalTime now = ConsumeTime(input);

    const std::optional<size_t> open = OpenScheduleRule(rules, sign, now);
    for (size_t i = open ? *open : 0; i < rules.size(); ++i) {
        const bool selectedAndOpen =
            RuleSelects(rules[i], sign) && IsWindowOpen(rules[i].window, now);
        Require(selectedAndOpen == (open == i));
    }

    const std::optional<LocalTime> change = NextScheduleChange(rules, sign, now);
    const seconds probe{input.ConsumeIntegralInRange<long long>(0, 2 * kWeekSeconds)};
    if (!change) {
        Require(OpenScheduleRule(rules, sign, now + probe) == open);
        return;
    }
    Require(*change > now && *change - now <= seconds{kWeekSeconds});
    Require(OpenScheduleRule(rules, sign, *change) != open);
    Require(OpenScheduleRule(rules, sign, *change - 1s) == open);
    if (now + probe < *change) {
        Require(OpenScheduleRule(rules, sign, now + probe) == open);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        CheckTemplate(input);
    } else {
        CheckSchedule(input);
    }
    return 0;
}
