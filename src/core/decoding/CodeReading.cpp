#include "decoding/CodeReading.h"

#include <cstdio>

namespace {

constexpr size_t kGroupDigits = 2;
constexpr size_t kUnitDigits = 4;
constexpr std::string_view kAddressLetters = "^A";

}  // namespace

size_t ReadDigits(std::string_view bytes, size_t pos, size_t maxDigits, int32_t& value) {
    value = 0;
    size_t count = 0;
    while (count < maxDigits && pos + count < bytes.size() && bytes[pos + count] >= '0' &&
           bytes[pos + count] <= '9') {
        value = value * 10 + (bytes[pos + count] - '0');
        ++count;
    }
    return count;
}

AddressCode ReadAddressCode(std::string_view bytes, size_t pos) {
    AddressCode code;
    size_t next = pos + kAddressLetters.size();
    const size_t groupDigits = ReadDigits(bytes, next, kGroupDigits, code.group);
    next += groupDigits;
    size_t unitDigits = 0;
    if (groupDigits == kGroupDigits) {
        unitDigits = ReadDigits(bytes, next, kUnitDigits, code.unit);
        next += unitDigits;
    }
    code.length = next - pos;
    code.complete = unitDigits == kUnitDigits;
    return code;
}

std::string ShowBytes(std::string_view bytes, size_t pos, size_t length) {
    std::string shown;
    for (size_t i = pos; i < bytes.size() && i < pos + length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", byte);
            shown += hex;
        }
    }
    return shown;
}
