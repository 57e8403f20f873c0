#pragma once

#include <cstdint>
#include <string>

// Caret notation: every code of a command string is "^" followed by its letters and, for some,
// zero-padded decimal digits. The caret is an ordinary byte; nothing is ever escaped.
inline constexpr char kCaret = '^';

// The decimal text printf's "%0<width>d" gives: zero-padded to at least minWidth characters, with
// a minus sign for a negative number and as many digits as the value needs.
std::string FormatDecimal(int64_t value, int minWidth);

// Appends FormatDecimal(value, minWidth) to out.
void AppendDecimal(std::string& out, int64_t value, int minWidth);
