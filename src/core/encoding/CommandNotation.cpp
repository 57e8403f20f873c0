#include "encoding/CommandNotation.h"

#include <cinttypes>
#include <cstdio>

#include "encoding/CommandCodes.h"

std::string FormatDecimal(int64_t value, int minWidth) {
    std::string text;
    AppendDecimal(text, value, minWidth);
    return text;
}

void AppendDecimal(std::string& out, int64_t value, int minWidth) {
    // 20 digits, a sign and the terminator; wider requests are clamped, no code asks for them.
    char buffer[32];
    const int width = minWidth < 0 ? 0 : (minWidth > 24 ? 24 : minWidth);
    const int length = std::snprintf(buffer, sizeof buffer, "%0*" PRId64, width, value);
    if (length > 0) {
        out.append(buffer, static_cast<size_t>(length));
    }
}

void AppendAddressCode(std::string& out, int32_t group, int32_t unit) {
    out += kAddressCode;
    AppendDecimal(out, group, kGroupDigits);
    AppendDecimal(out, unit, kUnitDigits);
}
