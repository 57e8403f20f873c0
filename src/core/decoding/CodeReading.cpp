#include "decoding/CodeReading.h"

#include <cstdio>
#include <limits>
#include <optional>

#include "encoding/CommandCodes.h"

namespace {

// The number that digits stand for when the encoder could have written them with this minimum
// width: exactly that many digits, or more without a leading zero, and no more than an int32 holds.
std::optional<int32_t> WrittenNumber(std::string_view digits, size_t width) {
    constexpr size_t kMostDigits = 10;
    if (digits.size() < width || digits.size() > kMostDigits ||
        (digits.size() > width && digits.front() == '0')) {
        return std::nullopt;
    }
    int64_t value = 0;
    for (const char digit : digits) {
        value = value * 10 + (digit - '0');
    }
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<int32_t>(value);
}

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
    size_t next = pos + kAddressCode.size();
    size_t run = 0;
    while (next + run < bytes.size() && bytes[next + run] >= '0' && bytes[next + run] <= '9') {
        ++run;
    }
    // A longer run holds a number written wider than its minimum. The unit takes the fewest
    // digits that make both parts numbers the encoder writes: four whenever the group can have
    // the rest, since the CLI's and the page's units all have four.
    if (run > kGroupDigits + kUnitDigits) {
        const std::string_view digits = bytes.substr(next, run);
        for (size_t groupDigits = run - kUnitDigits; groupDigits >= kGroupDigits; --groupDigits) {
            const auto group = WrittenNumber(digits.substr(0, groupDigits), kGroupDigits);
            const auto unit = WrittenNumber(digits.substr(groupDigits), kUnitDigits);
            if (group && unit) {
                code.group = *group;
                code.unit = *unit;
                code.length = kAddressCode.size() + run;
                code.complete = true;
                return code;
            }
        }
    }
    // Six digits, fewer, or a run that no split makes the encoder's: two digits and four, and
    // what follows belongs to the message.
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
