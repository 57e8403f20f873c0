#include "encoding/MessageSettings.h"

#include "encoding/CommandNotation.h"

std::string_view SizeModeCode(std::string_view body) {
    if (body.find("^K4") != std::string_view::npos || body.find("^K3") != std::string_view::npos) {
        return "^L3";
    }
    if (body.find("^K2") != std::string_view::npos) {
        return "^L2";
    }
    if (body.find("^K1") != std::string_view::npos) {
        return "^L1";
    }
    if (body.find("^K0") != std::string_view::npos) {
        return "^L0";
    }
    return {};
}

std::string BuildCommandString(const MessageSettings& settings, std::string body) {
    std::string result;
    result.reserve(body.size() + 32);

    if (settings.address != kAddressDefault) {
        result += "^A";
        AppendDecimal(result, settings.groupNumber, 2);
        AppendDecimal(result, settings.unitNumber, 4);
    }

    if (settings.displayMode != kDisplayDoNothing) {
        result += "^E";
        AppendDecimal(result, int64_t{settings.displayMode} - 1, 1);
    }

    result += SizeModeCode(body);

    if (settings.position == kPositionCenter) {
        result += "^C1";
    } else if (settings.position == kPositionStartingAt) {
        result += settings.clearMessageOnLine ? "^C0^H" : "^C0^M";
        AppendDecimal(result, settings.line, 2);
        AppendDecimal(result, settings.column, 2);
    }

    std::string_view terminator;
    switch (settings.effect) {
        case kEffectBlinkWholeMessage:
            result += "^B1";
            break;
        case kEffectTurnOffBlinking:
            result += "^B0";
            break;
        case kEffectScrollRepeatedly:
            result += "^D1";
            terminator = "^N";
            break;
        case kEffectScrollOnce:
            result += "^D0";
            terminator = "^N";
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
