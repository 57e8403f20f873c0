#include "editor/BodyEncoder.h"

#include "encoding/CommandCodes.h"
#include "encoding/CommandNotation.h"

namespace {

static_assert(kMaxSizeIndex - 1 == kMaxCharSizeDigit, "a size index is its code's digit plus one");

char ColourDigit(Rgb colour) {
    const Rgb shown = SignColour(colour);
    if (shown == kYellow) {
        return kYellowDigit;
    }
    if (shown == kGreen) {
        return kGreenDigit;
    }
    return kRedDigit;
}

}  // namespace

std::string EncodeCellLines(const std::vector<CellLine>& lines) {
    size_t characters = 0;
    for (const CellLine& line : lines) {
        characters += line.size();
    }
    std::string body;
    body.reserve(characters * 2 + lines.size() * 10);

    int32_t currentSize = kMinSizeIndex;
    Rgb currentColour = kRed;
    bool blinking = false;
    for (size_t k = 0; k < lines.size(); ++k) {
        const CellLine& line = lines[k];
        for (size_t i = 0; i < line.size(); ++i) {
            const CharCell& cell = line[i];
            if (i == 0 || cell.size != currentSize) {
                body += kCharSizeCode;
                AppendDecimal(body, int64_t{cell.size} - 1, 1);
                currentSize = cell.size;
            }
            if (i == 0 || cell.colour != currentColour) {
                body += kColourCode;
                body += ColourDigit(cell.colour);
                currentColour = cell.colour;
            }
            if (cell.blink != blinking) {
                body += kBlinkCode;
                body += cell.blink ? kOnDigit : kOffDigit;
                blinking = cell.blink;
            }
            body += static_cast<char>(cell.character);
        }
        if (k + 1 < lines.size()) {
            body += kLineEndCode;
        }
    }
    return body;
}
