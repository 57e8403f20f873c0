#pragma once

#include <string>
#include <string_view>

#include "automation/LocalTime.h"

// Writes a local time in a format after Qt's date and time formats:
//   d dd      day of the month, 1 to 31 / 01 to 31
//   ddd dddd  day of the week, "Mon" / "Monday"
//   M MM      month, 1 to 12 / 01 to 12
//   MMM MMMM  month, "Jan" / "January"
//   yy yyyy   year, two / four digits
//   H HH      hour, 0 to 23 / 00 to 23
//   h hh      hour, 1 to 12 when the format holds AP or ap, else as H HH
//   m mm      minute;  s ss  second
//   AP ap     "AM"/"PM", "am"/"pm"
// Text in single quotes is written as it stands ('' writes one quote; an unclosed quote runs to
// the end). Every other character, other letters included, is written as it stands. A run of one
// letter longer than its longest form is read from its start: "yyyyy" is "yyyy" then "y", and a
// "y" alone is the letter. Names are English, whatever the machine's language.
std::string FormatLocalTime(std::string_view format, LocalTime time);
