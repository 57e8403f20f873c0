#pragma once

#include <string_view>
#include <vector>

#include "decoding/CommandDecoder.h"
#include "decoding/WarningList.h"

// Whether the codes, after an optional address, begin with "^P".
bool IsNetworkString(std::string_view bytes);

// Whether the caret at pos begins "^P" with a network type digit and a code letter.
bool LooksLikeNetworkCode(std::string_view bytes, size_t pos);

// Reads a network interface string: the address, then "^P" codes of one type. Warnings name
// missing, repeated, misplaced and unknown codes, and bytes that follow the codes.
DecodedNetwork DecodeNetworkString(std::string_view bytes, CWarningList& warnings);
