#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "automation/LocalTime.h"

// Message text with live values. "{count}" shows the value of the variable "count", "{now}" the
// local time as "HH:mm" and "{now:FORMAT}" the local time in FORMAT (see FormatLocalTime; "{now:}"
// is "{now}"). "{{" writes "{" and "}}" writes "}". A placeholder ends at the first "}" and holds
// no "{". Whatever does not form a placeholder is written as it stands, so a typing slip shows on
// the sign instead of vanishing: a "{" without a "}" after it, a lone "}", "{}", and braces around
// anything but a variable name or the clock ("{a b}", "{count:x}"); "{a{b}" writes "{a" and then
// the variable "b". A value is written once, never read again for placeholders, except that its
// control characters (line breaks, tabs) become spaces so that a value cannot break a line.

// Shown in place of a variable that has no value.
inline constexpr std::string_view kMissingValue = "--";
// The placeholder of the local time; no variable takes this name.
inline constexpr std::string_view kClockName = "now";
inline constexpr std::string_view kDefaultClockFormat = "HH:mm";
inline constexpr size_t kMaxVariableNameLength = 64;

// A variable's name: 1 to 64 of the letters A-Z and a-z, the digits and "_", "-", ".", beginning
// with a letter, a digit or "_", with the case counting ("Count" is not "count"), and not "now".
// Such a name is a topic level and a URL path segment as it stands.
bool IsVariableName(std::string_view name);

struct TemplateExpansion {
    std::string text;
    std::set<std::string> used;     // every variable the text shows, with a value or without
    std::set<std::string> missing;  // those of `used` that had no value
    bool usesClock = false;         // "{now...}" shown: the text changes as time goes on
};

// The value of a variable, or nothing when it has none.
using VariableLookup = std::function<std::optional<std::string>(std::string_view name)>;
using VariableValues = std::map<std::string, std::string, std::less<>>;

TemplateExpansion ExpandTemplate(std::string_view text, const VariableLookup& lookup,
                                 LocalTime now);
TemplateExpansion ExpandTemplate(std::string_view text, const VariableValues& values,
                                 LocalTime now);
