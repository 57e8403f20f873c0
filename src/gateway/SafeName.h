#pragma once

#include <string>
#include <string_view>

// The topic level of the live values, <prefix>/vars/<var>.
inline constexpr std::string_view kValuesTopicLevel = "vars";

// A sign's name as one file name and one MQTT topic level, whatever it holds: letters are folded
// to lower case (names compare without regard to case), A-Z, a-z, 0-9, "_" and "-" stay, and
// every other byte becomes "%XX". So no name gives "/", "+", "#", "." or "..", and two names give
// the same text only when they are the same sign's. A name that would give "vars" gives "%76ars",
// so that its topics stay apart from the live values'.
std::string EscapeName(std::string_view name);
