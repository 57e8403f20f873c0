#include "preview/PreviewLayout.h"

#include <algorithm>
#include <string>
#include <utility>

#include "preview/LedFont.h"

namespace {

// Wherever sizes are added up or compared, size 5 counts 5 although it is narrower and lower.
int64_t SizeNumber(const CharCell& cell) {
    return NormalisedSize(cell.size);
}

int64_t SizeSum(const LaidOutLine& line) {
    int64_t sum = line.blanks;
    for (const CharCell& cell : line.cells) {
        sum += SizeNumber(cell);
    }
    return sum;
}

// A line's height in line units: its largest size number, 0 for a line without cells.
int64_t LargestSize(const LaidOutLine& line) {
    int64_t largest = line.blanks > 0 ? 1 : 0;
    for (const CharCell& cell : line.cells) {
        largest = std::max(largest, SizeNumber(cell));
    }
    return largest;
}

bool Scrolls(int32_t effect) {
    return effect == kEffectScrollRepeatedly || effect == kEffectScrollOnce;
}

void ApplyPosition(MessageLayout& layout, const MessageSettings& settings, int64_t characters) {
    if (settings.position == kPositionStartingAt) {
        if (settings.line > 1) {
            layout.originY =
                kLineHeight * (int64_t{settings.line} - LargestSize(layout.lines.front()));
        }
        if (settings.column > 1) {
            for (LaidOutLine& line : layout.lines) {
                line.blanks = int64_t{settings.column} - 1;
            }
        }
    } else if (settings.position == kPositionCenter) {
        for (LaidOutLine& line : layout.lines) {
            line.blanks = std::max<int64_t>(0, (characters - SizeSum(line)) / 2);
        }
    }
}

void AdvanceScroll(MessageLayout& layout, int32_t effect, int64_t& scrollStep) {
    int64_t longest = 0;
    for (const LaidOutLine& line : layout.lines) {
        longest = std::max(longest, SizeSum(line));
    }
    // The program never sets a negative step; counting one as 0 keeps the shift arithmetic sound.
    int64_t step = std::max<int64_t>(0, scrollStep);
    if (step > longest) {
        if (effect == kEffectScrollOnce) {
            return;  // the message stands still at home from now on
        }
        step = 0;
    }
    layout.scrollShift = step;
    scrollStep = step + 1;
}

// What the cut left out, for DescribeLeftOut; line numbers count from 0.
struct LeftOut {
    size_t firstLine = 0;     // the first line left out; the message's line count when none is
    int64_t linesNeeded = 0;  // the sign lines the message needs down to that line
    std::vector<std::pair<size_t, int64_t>> shortLines;  // kept lines cut: line, units needed
};

void CutToSign(MessageLayout& layout, const SignModel& model, LeftOut* leftOut = nullptr) {
    int64_t height = 0;
    size_t keptLines = 0;
    for (const LaidOutLine& line : layout.lines) {
        height += LargestSize(line);
        if (height > model.lines || keptLines == model.lines) {
            break;
        }
        ++keptLines;
    }
    if (leftOut != nullptr) {
        leftOut->firstLine = keptLines;
        leftOut->linesNeeded = std::max(height, static_cast<int64_t>(keptLines) + 1);
    }
    layout.lines.resize(keptLines);

    const int64_t characters = model.charactersPerLine;
    for (size_t index = 0; index < layout.lines.size(); ++index) {
        LaidOutLine& line = layout.lines[index];
        const int64_t blanks = line.blanks;
        line.blanks = std::min(line.blanks, characters);
        int64_t width = line.blanks;
        size_t keptCells = 0;
        for (const CharCell& cell : line.cells) {
            width += SizeNumber(cell);
            if (width > characters) {
                break;
            }
            ++keptCells;
        }
        if (leftOut != nullptr && keptCells < line.cells.size()) {
            leftOut->shortLines.emplace_back(index, SizeSum({blanks, line.cells}));
        }
        line.cells = line.cells.first(keptCells);
    }
}

// The message's lines with the position mode applied, before the scroll or the cut.
MessageLayout PositionedLines(const std::vector<CellLine>& message, const MessageSettings& settings,
                              const SignModel& model) {
    MessageLayout layout;
    layout.lines.reserve(message.size());
    for (const CellLine& line : message) {
        layout.lines.push_back({0, line});
    }
    ApplyPosition(layout, settings, model.charactersPerLine);
    return layout;
}

std::string Counted(int64_t count, const char* what) {
    return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

void PlaceLine(const LaidOutLine& line, int64_t largest, int64_t top, int64_t viewX, bool tricolour,
               std::vector<PlacedCell>& placed) {
    int64_t x = kUnitWidth * line.blanks;
    for (const CharCell& cell : line.cells) {
        const CellMetrics metrics = GetCellMetrics(cell.size);
        const int64_t advance = kUnitWidth * metrics.blocksAcross;
        const int64_t left = x - viewX;
        if (left > kMaxAreaWidth) {
            break;
        }
        if (x + advance > viewX) {
            // Bottom-aligned: every cell ends on the line's bottom edge.
            const int64_t cellTop = top + kLineHeight * (largest - metrics.blocksDown);
            PlacedCell& drawn = placed.emplace_back(
                PlacedCell{static_cast<int32_t>(left), static_cast<int32_t>(cellTop), cell});
            // The preview never shows a colour the sign cannot.
            drawn.cell.colour = tricolour ? SignColour(cell.colour) : kRed;
        }
        x += advance;
    }
}

}  // namespace

MessageLayout LayOutMessage(const std::vector<CellLine>& message, const MessageSettings& settings,
                            const SignModel& model, int64_t& scrollStep) {
    if (message.empty()) {
        return {};
    }
    MessageLayout layout = PositionedLines(message, settings, model);
    if (Scrolls(settings.effect)) {
        // Nothing is cut: every line and character takes part in the scroll.
        AdvanceScroll(layout, settings.effect, scrollStep);
    } else {
        CutToSign(layout, model);
    }
    return layout;
}

std::string DescribeLeftOut(const std::vector<CellLine>& message, const MessageSettings& settings,
                            const SignModel& model) {
    if (message.empty() || Scrolls(settings.effect)) {
        return {};
    }
    MessageLayout layout = PositionedLines(message, settings, model);
    LeftOut leftOut;
    CutToSign(layout, model, &leftOut);
    std::vector<std::string> parts;
    // Lines without characters show nothing, so leaving them out goes unsaid.
    size_t lastShown = message.size();
    for (size_t index = leftOut.firstLine; index < message.size(); ++index) {
        if (!message[index].empty()) {
            lastShown = index;
        }
    }
    if (lastShown < message.size()) {
        const size_t first = leftOut.firstLine + 1;
        const size_t last = lastShown + 1;
        parts.push_back(
            (first == last ? "line " + std::to_string(first)
                           : "lines " + std::to_string(first) + " to " + std::to_string(last)) +
            " left out: line " + std::to_string(first) + " needs " +
            std::to_string(leftOut.linesNeeded) + " of the sign's " + Counted(model.lines, "line"));
    }
    for (const auto& [index, needed] : leftOut.shortLines) {
        parts.push_back("line " + std::to_string(index + 1) + " cut short: it needs " +
                        std::to_string(needed) + " of the sign's " +
                        Counted(model.charactersPerLine, "character"));
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : "; ") + part;
    }
    return text;
}

std::vector<PlacedCell> PlaceCells(const MessageLayout& layout, const SignModel& model,
                                   ViewPosition view) {
    std::vector<PlacedCell> placed;
    const int64_t viewX = kUnitWidth * (int64_t{view.horizontal} - 1 + layout.scrollShift);
    int64_t top = layout.originY - kLineHeight * (int64_t{view.vertical} - 1);
    for (const LaidOutLine& line : layout.lines) {
        if (top > kMaxAreaHeight) {
            break;
        }
        const int64_t largest = LargestSize(line);
        const int64_t height = kLineHeight * largest;
        if (top + height > 0) {
            PlaceLine(line, largest, top, viewX, model.tricolour != 0, placed);
        }
        top += height;
    }
    return placed;
}
