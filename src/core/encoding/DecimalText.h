#pragma once

#include <cstdint>
#include <string_view>

// Reads a number typed into an edit box the way every field of the program does: leading white
// space and one optional sign are skipped (a minus sign negates), digits are taken up to the first
// other character, and a text that does not begin with a number gives 0. Values beyond the 32-bit
// range saturate instead of wrapping.
int32_t ParseDecimal(std::string_view text);

// Removes white space at both ends.
std::string_view TrimWhiteSpace(std::string_view text);
