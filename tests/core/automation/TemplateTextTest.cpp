#include <gtest/gtest.h>

#include "automation/TemplateText.h"
#include "automation/TimeFormat.h"

namespace {

using namespace std::chrono;
using Names = std::set<std::string>;

// A Monday morning.
constexpr LocalTime kMorning = local_days{2024y / March / 4} + 6h + 5min + 9s;

TEST(TemplateTextTest, ExpandsValuesClockAndBraces) {
    const VariableValues values = {{"count", "42"},
                                   {"line.stop_reason-1", "jam"},
                                   {"empty", ""},
                                   {"raw", "{count}"},
                                   {"multi", "Line\nstopped\t"}};
    const struct {
        std::string text;
        std::string expected;
        Names used;
        Names missing;
        bool usesClock;
    } cases[] = {
        {"Count: {count}", "Count: 42", {"count"}, {}, false},
        {"{count}/{target}", "42/--", {"count", "target"}, {"target"}, false},
        {"{count}{count} {Count}", "4242 --", {"count", "Count"}, {"Count"}, false},
        {"Stückzahl {count} ✓", "Stückzahl 42 ✓", {"count"}, {}, false},
        {"{line.stop_reason-1}", "jam", {"line.stop_reason-1"}, {}, false},
        {"[{empty}]", "[]", {"empty"}, {}, false},
        {"{raw}", "{count}", {"raw"}, {}, false},
        {"{multi}", "Line stopped ", {"multi"}, {}, false},
        {"{now}", "06:05", {}, {}, true},
        {"{now:}", "06:05", {}, {}, true},
        {"{now:dd.MM.yyyy HH:mm:ss} {count}", "04.03.2024 06:05:09 42", {"count"}, {}, true},
        {"{{count}} {{now}}", "{count} {now}", {}, {}, false},
        {"{{{count}}}", "{42}", {"count"}, {}, false},
        {"}} and {{", "} and {", {}, {}, false},
        // Nothing that fails to form a placeholder goes missing.
        {"open {count", "open {count", {}, {}, false},
        {"a } b", "a } b", {}, {}, false},
        {"{}", "{}", {}, {}, false},
        {"{a b} {count:x} {now-ish}", "{a b} {count:x} --", {"now-ish"}, {"now-ish"}, false},
        {"{a{count}", "{a42", {"count"}, {}, false},
        {"{" + std::string(kMaxVariableNameLength + 1, 'x') + "}",
         "{" + std::string(kMaxVariableNameLength + 1, 'x') + "}",
         {},
         {},
         false},
        {"{", "{", {}, {}, false},
        {"", "", {}, {}, false},
    };
    for (const auto& c : cases) {
        const TemplateExpansion expansion = ExpandTemplate(c.text, values, kMorning);
        EXPECT_EQ(expansion.text, c.expected) << c.text;
        EXPECT_EQ(expansion.used, c.used) << c.text;
        EXPECT_EQ(expansion.missing, c.missing) << c.text;
        EXPECT_EQ(expansion.usesClock, c.usesClock) << c.text;
    }
}

TEST(TemplateTextTest, VariableNames) {
    for (const std::string& name :
         std::vector<std::string>{"count", "Count", "a", "shift.2_count-total", "_a", "2nd",
                                  std::string(kMaxVariableNameLength, 'v')}) {
        EXPECT_TRUE(IsVariableName(name)) << name;
    }
    for (const std::string& name :
         std::vector<std::string>{"", "now", "..", ".a", "-a", "a b", "a/b", "a+b", "#", "zähler",
                                  "a}", std::string(kMaxVariableNameLength + 1, 'v')}) {
        EXPECT_FALSE(IsVariableName(name)) << name;
    }
}

TEST(TimeFormatTest, FormatsLikeQtDateTimeFormats) {
    constexpr LocalTime kAfternoon = local_days{2023y / December / 31} + 13h + 7min;
    constexpr LocalTime kAfterMidnight = local_days{812y / January / 2} + 30min;
    const struct {
        std::string_view format;
        LocalTime time;
        std::string expected;
    } cases[] = {
        {"HH:mm:ss", kMorning, "06:05:09"},
        {"H:m:s", kMorning, "6:5:9"},
        {"d.M.yy", kMorning, "4.3.24"},
        {"ddd dddd, dd MMM MMMM yyyy", kAfternoon, "Sun Sunday, 31 Dec December 2023"},
        {"yyyy yy", kAfterMidnight, "0812 12"},
        {"h:mm AP", kAfternoon, "1:07 PM"},
        {"hh:mm ap", kAfterMidnight, "12:30 am"},
        {"h:mm", kAfternoon, "13:07"},
        // Letters that are no field, and runs longer than a field, are written as they stand.
        {"yyyyy y x", kMorning, "2024y y x"},
        {"HHH", kMorning, "066"},
        {"HH 'Uhr' 'it''s'", kMorning, "06 Uhr it's"},
        {"''HH'", kMorning, "'06"},
        {"'open HH", kMorning, "open HH"},
        {"", kMorning, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatLocalTime(c.format, c.time), c.expected) << c.format;
    }
}

}  // namespace
