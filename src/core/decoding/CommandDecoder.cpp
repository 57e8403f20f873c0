#include "decoding/CommandDecoder.h"

#include <algorithm>

#include "decoding/CodeReading.h"
#include "decoding/NetworkDecoder.h"
#include "encoding/CommandCodes.h"

namespace {

// The header codes in the order the header writes them.
enum class HeaderKind { kNone, kAddress, kDisplayMode, kSizeMode, kPosition, kEffect };

struct HeaderCode {
    HeaderKind kind = HeaderKind::kNone;
    size_t length = 0;
    int32_t group = 0;
    int32_t unit = 0;
    int32_t value = 0;  // display mode, size-mode digit, position mode or effect
    int32_t line = 0;
    int32_t column = 0;
    bool clearLine = false;
    bool complete = true;
};

// A code of one digit: the code and the digits it takes.
struct DigitCode {
    std::string_view code;
    char low;
    char high;
    const char* what;
};

constexpr char Digit(int value) {
    return static_cast<char>('0' + value);
}

constexpr DigitCode kReadDisplayMode{kDisplayModeCode, Digit(kDisplayClearHome - 1),
                                     Digit(kDisplayClearLine - 1), "display mode"};
constexpr DigitCode kReadSizeMode{kSizeModeCode, '0', Digit(kMaxSizeModeDigit), "size mode"};
constexpr DigitCode kReadBlinkEffect{kBlinkEffectCode, kOffDigit, kOnDigit, "blink effect"};
constexpr DigitCode kReadScrollEffect{kScrollEffectCode, kOffDigit, kOnDigit, "scroll effect"};
constexpr DigitCode kReadCharSize{kCharSizeCode, '0', Digit(kMaxCharSizeDigit), "character size"};
constexpr DigitCode kReadColour{kColourCode, kRedDigit, kYellowDigit, "colour"};
constexpr DigitCode kReadBlink{kBlinkCode, kOffDigit, kOnDigit, "blink state"};
constexpr const DigitCode* kDigitCodes[] = {&kReadDisplayMode,  &kReadSizeMode, &kReadBlinkEffect,
                                            &kReadScrollEffect, &kReadCharSize, &kReadColour,
                                            &kReadBlink};

enum class DigitMatch { kNo, kValid, kMalformed };

// Whether the caret at pos begins the code: its letters and one of its digits (kValid), or its
// letters and anything else (kMalformed).
DigitMatch MatchDigitCode(std::string_view bytes, size_t pos, const DigitCode& code,
                          int32_t& digit) {
    if (!StartsWithAt(bytes, pos, code.code)) {
        return DigitMatch::kNo;
    }
    const size_t at = pos + code.code.size();
    if (at < bytes.size() && bytes[at] >= code.low && bytes[at] <= code.high) {
        digit = bytes[at] - '0';
        return DigitMatch::kValid;
    }
    return DigitMatch::kMalformed;
}

size_t DigitCodeLength(const DigitCode& code) {
    return code.code.size() + 1;
}

HeaderCode MatchPosition(std::string_view bytes, size_t pos) {
    HeaderCode code;
    if (StartsWithAt(bytes, pos, kCentreCode)) {
        code.kind = HeaderKind::kPosition;
        code.value = kPositionCenter;
        code.length = kCentreCode.size();
        return code;
    }
    const bool moves = StartsWithAt(bytes, pos, kStartAtCode);
    const bool clears = StartsWithAt(bytes, pos, kStartAtClearingCode);
    if (!moves && !clears) {
        return code;
    }
    code.kind = HeaderKind::kPosition;
    code.value = kPositionStartingAt;
    code.clearLine = clears;
    static_assert(kStartAtCode.size() == kStartAtClearingCode.size());
    size_t next = pos + kStartAtCode.size();
    const size_t lineDigits = ReadDigits(bytes, next, kLineDigits, code.line);
    next += lineDigits;
    size_t columnDigits = 0;
    if (lineDigits == kLineDigits) {
        columnDigits = ReadDigits(bytes, next, kColumnDigits, code.column);
        next += columnDigits;
    }
    code.length = next - pos;
    code.complete = columnDigits == kColumnDigits;
    return code;
}

// The header code that begins at the caret at pos, if any.
HeaderCode MatchHeaderCode(std::string_view bytes, size_t pos) {
    HeaderCode code;
    if (StartsWithAt(bytes, pos, kAddressCode)) {
        const AddressCode address = ReadAddressCode(bytes, pos);
        code.kind = HeaderKind::kAddress;
        code.length = address.length;
        code.group = address.group;
        code.unit = address.unit;
        code.complete = address.complete;
        return code;
    }
    int32_t digit = 0;
    if (MatchDigitCode(bytes, pos, kReadDisplayMode, digit) == DigitMatch::kValid) {
        code.kind = HeaderKind::kDisplayMode;
        code.value = digit + 1;
        code.length = DigitCodeLength(kReadDisplayMode);
    } else if (MatchDigitCode(bytes, pos, kReadSizeMode, digit) == DigitMatch::kValid) {
        code.kind = HeaderKind::kSizeMode;
        code.value = digit;
        code.length = DigitCodeLength(kReadSizeMode);
    } else if (MatchDigitCode(bytes, pos, kReadBlinkEffect, digit) == DigitMatch::kValid) {
        code.kind = HeaderKind::kEffect;
        code.value = Digit(digit) == kOnDigit ? kEffectBlinkWholeMessage : kEffectTurnOffBlinking;
        code.length = DigitCodeLength(kReadBlinkEffect);
    } else if (MatchDigitCode(bytes, pos, kReadScrollEffect, digit) == DigitMatch::kValid) {
        code.kind = HeaderKind::kEffect;
        code.value = Digit(digit) == kOnDigit ? kEffectScrollRepeatedly : kEffectScrollOnce;
        code.length = DigitCodeLength(kReadScrollEffect);
    } else {
        return MatchPosition(bytes, pos);
    }
    return code;
}

// Why the caret at pos looks like a code but is none, if it does.
std::optional<std::string> MalformedCode(std::string_view bytes, size_t pos) {
    int32_t digit = 0;
    for (const DigitCode* code : kDigitCodes) {
        if (MatchDigitCode(bytes, pos, *code, digit) == DigitMatch::kMalformed) {
            return ShowBytes(bytes, pos, DigitCodeLength(*code)) + " is not a code: the " +
                   code->what + " code " + std::string(code->code) + " takes a digit " + code->low +
                   " to " + code->high;
        }
    }
    if (StartsWithAt(bytes, pos, kPositionCode)) {
        return ShowBytes(bytes, pos, kCentreCode.size()) +
               " is not a code: the position code ^C takes 1, 0^M or 0^H";
    }
    return std::nullopt;
}

bool IsScrollEffect(int32_t effect) {
    return effect == kEffectScrollRepeatedly || effect == kEffectScrollOnce;
}

Rgb ColourForDigit(int32_t digit) {
    switch (Digit(digit)) {
        case kGreenDigit:
            return kGreen;
        case kYellowDigit:
            return kYellow;
        default:
            return kRed;
    }
}

class CMessageReader {
public:
    CMessageReader(std::string_view bytes, CWarningList& warnings)
        : m_bytes(bytes), m_warnings(warnings) {}

    DecodedMessage Read() {
        DecodedMessage message;
        const size_t bodyBegin = ReadHeader(message.settings);
        size_t bodyEnd = m_bytes.size();
        if (IsScrollEffect(message.settings.effect)) {
            if (bodyEnd >= bodyBegin + kLineEndCode.size() &&
                m_bytes.substr(bodyEnd - kLineEndCode.size()) == kLineEndCode) {
                bodyEnd -= kLineEndCode.size();
            } else {
                Warn(bodyEnd, "the scrolling text does not end with ^N");
            }
        }
        ReadBody(bodyBegin, bodyEnd, message.lines);
        CheckSizeMode(bodyBegin, bodyEnd);
        return message;
    }

private:
    void Warn(size_t offset, std::string text) { m_warnings.Add(offset, std::move(text)); }

    // Applies the header codes up to the first character or body code; returns where the body
    // begins.
    size_t ReadHeader(MessageSettings& settings) {
        size_t pos = 0;
        HeaderKind last = HeaderKind::kNone;
        while (pos < m_bytes.size() && m_bytes[pos] == kCaret) {
            const HeaderCode code = MatchHeaderCode(m_bytes, pos);
            if (code.kind == HeaderKind::kNone) {
                break;
            }
            const std::string shown = ShowBytes(m_bytes, pos, code.length);
            if (code.kind == last) {
                Warn(pos, shown + " repeats a header code; the later one counts");
            } else if (code.kind < last) {
                Warn(pos, shown + " stands out of the header's order (^A, ^E, ^L, ^C, effect)");
            }
            last = std::max(last, code.kind);
            if (!code.complete) {
                Warn(pos,
                     "truncated " +
                         std::string(code.kind == HeaderKind::kAddress ? "address " : "position ") +
                         shown + ": missing digits read as 0");
            }
            Apply(code, pos, settings);
            pos += code.length;
        }
        return pos;
    }

    void Apply(const HeaderCode& code, size_t pos, MessageSettings& settings) {
        switch (code.kind) {
            case HeaderKind::kAddress:
                settings.address = kAddressSpecificUnit;
                settings.groupNumber = code.group;
                settings.unitNumber = code.unit;
                break;
            case HeaderKind::kDisplayMode:
                settings.displayMode = code.value;
                break;
            case HeaderKind::kSizeMode:
                m_sizeModeDigit = code.value;
                m_sizeModeOffset = pos;
                break;
            case HeaderKind::kPosition: {
                const MessageSettings startUp;
                settings.position = code.value;
                settings.line = code.value == kPositionStartingAt ? code.line : startUp.line;
                settings.column = code.value == kPositionStartingAt ? code.column : startUp.column;
                settings.clearMessageOnLine = code.clearLine;
                break;
            }
            case HeaderKind::kEffect:
                settings.effect = code.value;
                break;
            case HeaderKind::kNone:
                break;
        }
    }

    void ReadBody(size_t begin, size_t end, std::vector<CellLine>& lines) {
        const std::string_view body = m_bytes.substr(0, end);
        CharCell state;
        lines.assign(1, CellLine{});
        size_t pos = begin;
        while (pos < end) {
            if (body[pos] != kCaret) {
                AddCell(lines.back(), state, pos);
                ++pos;
                continue;
            }
            int32_t digit = 0;
            if (MatchDigitCode(body, pos, kReadCharSize, digit) == DigitMatch::kValid) {
                state.size = digit + 1;
                pos += DigitCodeLength(kReadCharSize);
            } else if (MatchDigitCode(body, pos, kReadColour, digit) == DigitMatch::kValid) {
                state.colour = ColourForDigit(digit);
                pos += DigitCodeLength(kReadColour);
            } else if (MatchDigitCode(body, pos, kReadBlink, digit) == DigitMatch::kValid) {
                state.blink = Digit(digit) == kOnDigit;
                pos += DigitCodeLength(kReadBlink);
            } else if (StartsWithAt(body, pos, kLineEndCode)) {
                lines.emplace_back();
                pos += kLineEndCode.size();
            } else {
                // Not a body code: the caret is a character, and so is what follows it.
                WarnAboutCaretText(body, pos);
                AddCell(lines.back(), state, pos);
                ++pos;
            }
        }
    }

    void AddCell(CellLine& line, const CharCell& state, size_t pos) {
        const char byte = m_bytes[pos];
        if ((byte == '\n' || byte == '\r') && !m_warnings.Skips(pos)) {
            Warn(pos, "byte " + ShowBytes(m_bytes, pos, 1) +
                          " is a character here, not a line break (lines end at ^N)");
        }
        CharCell cell = state;
        cell.character = static_cast<unsigned char>(byte);
        line.push_back(cell);
    }

    void WarnAboutCaretText(std::string_view body, size_t pos) {
        const HeaderCode header = MatchHeaderCode(body, pos);
        if (header.kind != HeaderKind::kNone) {
            Warn(pos, "header code " + ShowBytes(body, pos, header.length) +
                          " inside the text is read as text");
        } else if (const auto reason = MalformedCode(body, pos)) {
            Warn(pos, *reason + "; read as text");
        } else if (LooksLikeNetworkCode(body, pos)) {
            Warn(pos,
                 "network code " + ShowBytes(body, pos, 4) + " inside a message is read as text");
        }
    }

    // The size mode must be the one the header would give this body.
    void CheckSizeMode(size_t begin, size_t end) {
        const std::string expected = SizeModeCode(m_bytes.substr(begin, end - begin));
        if (!m_sizeModeDigit) {
            if (!expected.empty()) {
                Warn(begin, "no ^L before the text; its largest size gives " + expected);
            }
            return;
        }
        const std::string given = std::string(kSizeModeCode) + Digit(*m_sizeModeDigit);
        if (expected.empty()) {
            Warn(m_sizeModeOffset, given + " stands before a text without size codes");
        } else if (expected != given) {
            Warn(m_sizeModeOffset,
                 given + " does not match the text's largest size, which gives " + expected);
        }
    }

    std::string_view m_bytes;
    CWarningList& m_warnings;
    std::optional<int32_t> m_sizeModeDigit;
    size_t m_sizeModeOffset = 0;
};

}  // namespace

MessageSettings DecodedMessage::NothingSettings() {
    MessageSettings settings;
    settings.address = kAddressDefault;
    settings.position = kPositionDefault;
    settings.effect = kEffectDefault;
    settings.displayMode = kDisplayDoNothing;
    return settings;
}

DecodedCommand DecodeCommandString(std::string_view bytes, size_t maxWarnings) {
    DecodedCommand command;
    CWarningList warnings(maxWarnings);
    if (IsNetworkString(bytes)) {
        command.content = DecodeNetworkString(bytes, warnings);
    } else {
        command.content = CMessageReader(bytes, warnings).Read();
    }
    command.warnings = warnings.Take(command.warningsLeftOut);
    return command;
}
