#pragma once

#include <string>
#include <string_view>
#include <vector>

// The topic level of the live values, <prefix>/vars/<var>, and those of sends to many signs,
// <prefix>/all/message/set and <prefix>/tag/<tag>/message/set.
inline constexpr std::string_view kValuesTopicLevel = "vars";
inline constexpr std::string_view kAllTopicLevel = "all";
inline constexpr std::string_view kTagTopicLevel = "tag";

// A sign's name as one file name and one MQTT topic level, whatever it holds: the name is case
// folded (names compare without regard to case), a-z, 0-9, "_" and "-" stay, and every other byte
// becomes "%XX". So no name gives "/", "+", "#", "." or "..", and two names give the same text
// only when they are the same sign's. A name that would give "vars" or "all" gives "%76ars" or
// "%61ll", so that its topics stay apart from the live values' and the sends to every sign.
std::string EscapeName(std::string_view name);
// The names earlier versions gave the sign, where they differ (letters beyond ASCII were not
// folded, "all" was not reserved), for taking back what they kept.
std::vector<std::string> EarlierNamesOf(std::string_view name);
