#pragma once

#include <cstdint>
#include <string>

// The decimal text printf's "%0<width>d" gives: zero-padded to at least minWidth characters, with
// a minus sign for a negative number and as many digits as the value needs.
std::string FormatDecimal(int64_t value, int minWidth);

// Appends FormatDecimal(value, minWidth) to out.
void AppendDecimal(std::string& out, int64_t value, int minWidth);

// Appends the address code: "^A", the group as two digits and the unit as four.
void AppendAddressCode(std::string& out, int32_t group, int32_t unit);
