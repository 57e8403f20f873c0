#include "encoding/MessageSettings.h"

#include <algorithm>

#include "encoding/CommandCodes.h"
#include "encoding/CommandNotation.h"

std::string SizeModeCode(std::string_view body) {
    int largest = -1;
    for (size_t at = body.find(kCharSizeCode); at != std::string_view::npos;
         at = body.find(kCharSizeCode, at + 1)) {
        const size_t digit = at + kCharSizeCode.size();
        if (digit < body.size() && body[digit] >= '0' && body[digit] <= '0' + kMaxCharSizeDigit) {
            largest = std::max(largest, body[digit] - '0');
        }
    }
    if (largest < 0) {
        return {};
    }
    std::string code(kSizeModeCode);
    AppendDecimal(code, std::min(largest, kMaxSizeModeDigit), 1);
    return code;
}

std::string BuildCommandString(const MessageSettings& settings, std::string body) {
    std::string result;
    result.reserve(body.size() + 32);

    if (settings.address != kAddressDefault) {
        AppendAddressCode(result, settings.groupNumber, settings.unitNumber);
    }

    if (settings.displayMode != kDisplayDoNothing) {
        result += kDisplayModeCode;
        AppendDecimal(result, int64_t{settings.displayMode} - 1, 1);
    }

    result += SizeModeCode(body);

    if (settings.position == kPositionCenter) {
        result += kCentreCode;
    } else if (settings.position == kPositionStartingAt) {
        result += settings.clearMessageOnLine ? kStartAtClearingCode : kStartAtCode;
        AppendDecimal(result, settings.line, kLineDigits);
        AppendDecimal(result, settings.column, kColumnDigits);
    }

    std::string_view terminator;
    switch (settings.effect) {
        case kEffectBlinkWholeMessage:
        case kEffectTurnOffBlinking:
            result += kBlinkEffectCode;
            result += settings.effect == kEffectBlinkWholeMessage ? kOnDigit : kOffDigit;
            break;
        case kEffectScrollRepeatedly:
        case kEffectScrollOnce:
            result += kScrollEffectCode;
            result += settings.effect == kEffectScrollRepeatedly ? kOnDigit : kOffDigit;
            terminator = kLineEndCode;
            break;
        default:
            break;
    }

    result += body;
    result += terminator;
    return result;
}

std::string InvalidInputMessage(int32_t low, int32_t high) {
    return "Invalid Input.\nInput Range is " + FormatDecimal(low, 1) + "-" +
           FormatDecimal(high, 1) + ".";
}

std::optional<PositionProblem> CheckStartPosition(int32_t line, int32_t column) {
    if (line < kMinLine || line > kMaxLine) {
        return PositionProblem{PositionField::kLine, InvalidInputMessage(kMinLine, kMaxLine)};
    }
    if (column < kMinColumn || column > kMaxColumn) {
        return PositionProblem{PositionField::kColumn, InvalidInputMessage(kMinColumn, kMaxColumn)};
    }
    return std::nullopt;
}
