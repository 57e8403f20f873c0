#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Small readers shared by the message and network decoders.

// Reads up to maxDigits decimal digits at pos into value (0 when there are none); returns how many
// were read. Codes write their numbers zero-padded to a fixed width, and a sign reads that width.
size_t ReadDigits(std::string_view bytes, size_t pos, size_t maxDigits, int32_t& value);

inline bool StartsWithAt(std::string_view bytes, size_t pos, std::string_view prefix) {
    return bytes.substr(pos, prefix.size()) == prefix;
}

// The address code at pos: "^A", the group written with at least two digits, the unit with at
// least four (a number wider than that has no leading zero). Digits that are missing read as 0
// and make it incomplete.
struct AddressCode {
    size_t length = 0;
    int32_t group = 0;
    int32_t unit = 0;
    bool complete = false;
};
AddressCode ReadAddressCode(std::string_view bytes, size_t pos);

// A code as a warning shows it: the bytes from pos, at most `length`, printable ASCII kept and any
// other byte written as <XX>.
std::string ShowBytes(std::string_view bytes, size_t pos, size_t length);
