#include "editor/CellText.h"

#include <algorithm>
#include <iterator>

size_t SpanLength(const CellSpan& span) {
    size_t length = span.empty() ? 0 : span.size() - 1;
    for (const CellLine& line : span) {
        length += line.size();
    }
    return length;
}

namespace {

// The line and column of a position; a position past the end is the end.
std::pair<size_t, size_t> Locate(const std::vector<CellLine>& text, size_t position) {
    for (size_t k = 0; k < text.size(); ++k) {
        if (position <= text[k].size() || k + 1 == text.size()) {
            return {k, std::min(position, text[k].size())};
        }
        position -= text[k].size() + 1;
    }
    return {0, 0};
}

}  // namespace

CellSpan CellsAt(const std::vector<CellLine>& text, size_t position, size_t count) {
    if (text.empty()) {
        return {CellLine{}};
    }
    auto [line, column] = Locate(text, position);
    CellSpan span{CellLine{}};
    while (count > 0) {
        const CellLine& from = text[line];
        const size_t take = std::min(count, from.size() - column);
        span.back().insert(span.back().end(), from.begin() + static_cast<ptrdiff_t>(column),
                           from.begin() + static_cast<ptrdiff_t>(column + take));
        count -= take;
        if (count == 0 || line + 1 == text.size()) {
            break;
        }
        span.emplace_back();  // the line break
        --count;
        ++line;
        column = 0;
    }
    return span;
}

CellSpan ReplaceCells(std::vector<CellLine>& text, size_t position, size_t count,
                      const CellSpan& inserted) {
    if (text.empty()) {
        text.emplace_back();
    }
    CellSpan removed = CellsAt(text, position, count);
    const auto [line, column] = Locate(text, position);
    if (removed.size() == 1 && inserted.size() == 1) {
        // Within one line, in place: a keystroke at the end of a long line costs no copy of it.
        CellLine& within = text[line];
        const auto at = within.begin() + static_cast<ptrdiff_t>(column);
        within.insert(within.erase(at, at + static_cast<ptrdiff_t>(removed.front().size())),
                      inserted.front().begin(), inserted.front().end());
        return removed;
    }
    const size_t lastLine = line + removed.size() - 1;
    const size_t endColumn =
        removed.size() == 1 ? column + removed.front().size() : removed.back().size();
    // The text around the change: the start of its first line and the rest of its last.
    CellLine head(text[line].begin(), text[line].begin() + static_cast<ptrdiff_t>(column));
    CellLine tail(text[lastLine].begin() + static_cast<ptrdiff_t>(endColumn), text[lastLine].end());
    std::vector<CellLine> lines = inserted.empty() ? CellSpan{CellLine{}} : inserted;
    lines.front().insert(lines.front().begin(), head.begin(), head.end());
    lines.back().insert(lines.back().end(), tail.begin(), tail.end());
    text.erase(text.begin() + static_cast<ptrdiff_t>(line),
               text.begin() + static_cast<ptrdiff_t>(lastLine + 1));
    text.insert(text.begin() + static_cast<ptrdiff_t>(line), std::make_move_iterator(lines.begin()),
                std::make_move_iterator(lines.end()));
    return removed;
}

const CharCell* FirstCell(const CellSpan& span) {
    for (const CellLine& line : span) {
        if (!line.empty()) {
            return &line.front();
        }
    }
    return nullptr;
}
