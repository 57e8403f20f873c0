#include "gui/editor/CLineLayout.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace {}  // namespace

CLineLayout::CLineLayout(QTextDocument* document)
    : QAbstractTextDocumentLayout(document), m_pRest(new QTimer(this)) {
    m_pRest->setSingleShot(true);
    m_pRest->setInterval(0);
    connect(m_pRest, &QTimer::timeout, this, &CLineLayout::LayOutSomeMore);
}

CLineLayout::~CLineLayout() = default;

qreal CLineLayout::Margin() const {
    return document()->documentMargin();
}

qreal CLineLayout::TextWidth() const {
    const qreal page = document()->pageSize().width();
    if (page <= 0 || document()->defaultTextOption().wrapMode() == QTextOption::NoWrap) {
        return kUnwrapped;
    }
    return std::max<qreal>(1, page - 2 * Margin());
}

CLineLayout::Line CLineLayout::LayOutLine(const QTextBlock& block, const QString& text, int start,
                                          int window, const std::vector<Run>* blockRuns) {
    const int length = static_cast<int>(text.size());
    const qreal width = TextWidth();
    QTextOption option = document()->defaultTextOption();
    option.setTextDirection(Qt::LeftToRight);
    window = width >= kUnwrapped ? length - start : std::min(std::max(window, 1), length - start);
    const int blockPosition = block.position();
    for (;;) {
        Line line;
        line.start = start;
        line.windowEnd = start + window;
        QFont font = document()->defaultFont();
        if (length == 0) {
            // An empty line is as tall as what would be typed into it.
            font = block.charFormat().font().resolve(font);
        }
        line.layout = std::make_shared<QTextLayout>(text.mid(start, window), font, paintDevice());
        QList<QTextLayout::FormatRange> runs;
        if (blockRuns != nullptr) {
            auto run = std::upper_bound(blockRuns->begin(), blockRuns->end(), start,
                                        [](int at, const Run& r) { return at < r.end; });
            for (; run != blockRuns->end() && run->start < start + window; ++run) {
                const int from = std::max(run->start, start);
                runs.append({from - start, std::min(run->end, start + window) - from, run->format});
            }
        } else {
            for (int i = 0; i < window;) {
                const int index = formatIndex(blockPosition + start + i);
                int end = i + 1;
                while (end < window && formatIndex(blockPosition + start + end) == index) {
                    ++end;
                }
                runs.append({i, end - i, format(blockPosition + start + i)});
                i = end;
            }
        }
        line.layout->setFormats(runs);
        line.layout->setTextOption(option);
        line.layout->beginLayout();
        QTextLine textLine = line.layout->createLine();
        textLine.setLineWidth(width);
        textLine.setPosition(QPointF(0, 0));
        line.layout->endLayout();
        line.length = textLine.textLength();
        line.height = textLine.height();
        if (start + window >= length || (line.length > 0 && line.length < window)) {
            if (line.length == 0) {
                line.length = window;
            }
            return line;
        }
        // The line took all it was shown: the break lies further on.
        window = std::min(length - start, window * 2);
    }
}

size_t CLineLayout::LayOutBlock(const QTextBlock& block, Block& lines, size_t fromLine,
                                int changeEnd, int shift) {
    const QString text = block.text();
    std::vector<Line> old = std::move(lines.lines);
    fromLine = std::min(fromLine, old.size());
    lines.lines.assign(std::make_move_iterator(old.begin()),
                       std::make_move_iterator(old.begin() + static_cast<ptrdiff_t>(fromLine)));
    int start = fromLine < old.size() ? old[fromLine].start : 0;
    size_t next = fromLine;
    // A block laid out whole reads its formats once, run by run, not again at every position.
    std::vector<Run> blockRuns;
    if (fromLine == 0 && old.empty()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.isValid()) {
                const int at = fragment.position() - block.position();
                blockRuns.push_back({at, at + fragment.length(), fragment.charFormat()});
            }
        }
    }
    for (;;) {
        // Lines of a block tend to hold alike: a little more than the last one is room enough for
        // the next, most often.
        const int window =
            lines.lines.empty() ? m_windowChars : lines.lines.back().length * 5 / 4 + 8;
        lines.lines.push_back(
            LayOutLine(block, text, start, window, blockRuns.empty() ? nullptr : &blockRuns));
        const int end = start + lines.lines.back().length;
        if (end >= text.size()) {
            break;
        }
        // A line after the change that begins where this one ends breaks as it did before.
        while (next < old.size() &&
               (old[next].start < changeEnd || old[next].start + shift < end)) {
            ++next;
        }
        if (next < old.size() && old[next].start + shift == end) {
            for (; next < old.size(); ++next) {
                Line kept = std::move(old[next]);
                kept.start += shift;
                kept.windowEnd += shift;
                lines.lines.push_back(std::move(kept));
            }
            break;
        }
        start = end;
    }
    qreal top = 0;
    for (Line& line : lines.lines) {
        line.top = top;
        top += line.height;
    }
    lines.height = top;
    return fromLine;
}

void CLineLayout::PlaceBlocks(size_t from) {
    for (size_t i = from; i < m_blocks.size(); ++i) {
        m_blocks[i].top = i == 0 ? 0 : m_blocks[i - 1].top + m_blocks[i - 1].height;
    }
}

void CLineLayout::documentChanged(int from, int charsRemoved, int charsAdded) {
    QTextDocument* content = document();
    if (!LaidOutWhole() && TextWidth() == m_width) {
        // An edit while blocks still wait: the blocks are counted as they were before it.
        m_pRest->stop();
        LayOutRest();
    }
    const QSizeF before = documentSize();
    const qreal bottomBefore = before.height();
    const QTextBlock first = content->findBlock(from);
    QTextBlock last = content->findBlock(from + charsAdded);
    if (!last.isValid()) {
        last = content->lastBlock();
    }
    const auto firstBlock = static_cast<size_t>(std::max(first.blockNumber(), 0));
    const auto lastBlock = static_cast<size_t>(std::max(last.blockNumber(), 0));
    const ptrdiff_t added =
        static_cast<ptrdiff_t>(content->blockCount()) - static_cast<ptrdiff_t>(m_blocks.size());
    const ptrdiff_t oldEnd = static_cast<ptrdiff_t>(lastBlock) + 1 - added;

    qreal dirtyTop = 0;
    qreal dirtyBottom = kUnwrapped;
    if (TextWidth() != m_width || m_blocks.empty() || !first.isValid() ||
        oldEnd < static_cast<ptrdiff_t>(firstBlock) ||
        oldEnd > static_cast<ptrdiff_t>(m_blocks.size())) {
        LayOutAll();
    } else if (added == 0 && firstBlock == lastBlock) {
        // Within one line of text: from the first wrapped line whose break looked at the change.
        Block& block = m_blocks[firstBlock];
        const qreal heightBefore = block.height;
        const int at = from - first.position();
        size_t line = 0;
        while (line + 1 < block.lines.size() && block.lines[line].windowEnd < at) {
            ++line;
        }
        const size_t relaid =
            LayOutBlock(first, block, line, at + charsRemoved, charsAdded - charsRemoved);
        dirtyTop = block.top + block.lines[relaid].top;
        if (block.height == heightBefore) {
            // Only the lines laid out anew changed; the kept ones are where they were.
            dirtyBottom = block.top + block.height;
        } else {
            PlaceBlocks(firstBlock + 1);
        }
    } else {
        m_blocks.erase(m_blocks.begin() + static_cast<ptrdiff_t>(firstBlock),
                       m_blocks.begin() + oldEnd);
        m_blocks.insert(m_blocks.begin() + static_cast<ptrdiff_t>(firstBlock),
                        lastBlock - firstBlock + 1, Block{});
        size_t i = firstBlock;
        for (QTextBlock block = first; block.isValid() && i <= lastBlock;
             block = block.next(), ++i) {
            LayOutBlock(block, m_blocks[i], 0, 0, 0);
        }
        PlaceBlocks(firstBlock);
        dirtyTop = m_blocks[firstBlock].top;
    }
    const QSizeF after = documentSize();
    dirtyBottom = std::min(dirtyBottom, std::max(bottomBefore, after.height()));
    emit update(QRectF(0, Margin() + dirtyTop, std::max(before.width(), after.width()),
                       dirtyBottom - dirtyTop + Margin()));
    if (after != before) {
        emit documentSizeChanged(after);
    }
}

QSizeF CLineLayout::documentSize() const {
    const qreal height = m_blocks.empty() ? 0 : m_blocks.back().top + m_blocks.back().height;
    qreal width = document()->pageSize().width();
    if (TextWidth() >= kUnwrapped) {
        qreal widest = 0;
        for (const Block& block : m_blocks) {
            for (const Line& line : block.lines) {
                widest = std::max(widest, line.layout->lineAt(0).naturalTextWidth());
            }
        }
        width = widest + 2 * Margin();
    }
    return {std::max<qreal>(width, 0), height + 2 * Margin()};
}

QRectF CLineLayout::frameBoundingRect(QTextFrame*) const {
    return {QPointF(0, 0), documentSize()};
}

QRectF CLineLayout::blockBoundingRect(const QTextBlock& block) const {
    const int number = block.blockNumber();
    if (number < 0 || static_cast<size_t>(number) >= m_blocks.size()) {
        return {};
    }
    const Block& lines = m_blocks[static_cast<size_t>(number)];
    // Asked for often (by every cursor that moves): the widest line only when nothing wraps.
    qreal width = TextWidth();
    if (width >= kUnwrapped) {
        width = 0;
        for (const Line& line : lines.lines) {
            width = std::max(width, line.layout->lineAt(0).naturalTextWidth());
        }
    }
    return {Margin(), Margin() + lines.top, width, lines.height};
}

std::pair<size_t, size_t> CLineLayout::LineAtY(qreal y) const {
    LayOutShown(y, y);
    const auto block = std::upper_bound(m_blocks.begin(), m_blocks.end(), y,
                                        [](qreal at, const Block& b) { return at < b.top; });
    const size_t b =
        block == m_blocks.begin() ? 0 : static_cast<size_t>(block - m_blocks.begin()) - 1;
    const std::vector<Line>& lines = m_blocks[b].lines;
    const qreal within = y - m_blocks[b].top;
    const auto line = std::upper_bound(lines.begin(), lines.end(), within,
                                       [](qreal at, const Line& l) { return at < l.top; });
    return {b, line == lines.begin() ? 0 : static_cast<size_t>(line - lines.begin()) - 1};
}

const CLineLayout::Line* CLineLayout::FindLine(int position, QTextBlock* found) const {
    const QTextBlock block = document()->findBlock(position);
    const int number = block.blockNumber();
    if (!block.isValid() || static_cast<size_t>(number) >= m_blocks.size()) {
        return nullptr;
    }
    LayOutUpTo(static_cast<size_t>(number));
    if (found != nullptr) {
        *found = block;
    }
    const std::vector<Line>& lines = m_blocks[static_cast<size_t>(number)].lines;
    const int at = position - block.position();
    // A position at a wrap shows at the start of the next line.
    const auto line = std::upper_bound(lines.begin(), lines.end(), at,
                                       [](int p, const Line& l) { return p < l.start; });
    return line == lines.begin() ? &lines.front() : &*(line - 1);
}

QRectF CLineLayout::CaretRect(int position) const {
    QTextBlock block;
    const Line* line = FindLine(position, &block);
    if (line == nullptr) {
        return {};
    }
    const qreal x = line->layout->lineAt(0).cursorToX(position - block.position() - line->start);
    const qreal top = Margin() + m_blocks[static_cast<size_t>(block.blockNumber())].top + line->top;
    return {Margin() + x, top, 1, line->height};
}

QRectF CLineLayout::CharacterRect(int position) const {
    QTextBlock block;
    const Line* line = FindLine(position, &block);
    if (line == nullptr) {
        return {};
    }
    const int within = position - block.position() - line->start;
    const QTextLine text = line->layout->lineAt(0);
    const qreal left = text.cursorToX(within);
    // A character reaches to where the next one starts.
    const qreal right = within < line->length ? text.cursorToX(within + 1) : left + 1;
    const qreal top = Margin() + m_blocks[static_cast<size_t>(block.blockNumber())].top + line->top;
    return {Margin() + left, top, std::max<qreal>(right - left, 1), line->height};
}

QRectF CLineLayout::LineRect(int position) const {
    const QRectF caret = CaretRect(position);
    return {0, caret.top(), documentSize().width(), caret.height()};
}

std::pair<int, int> CLineLayout::LineBounds(int position) const {
    QTextBlock block;
    const Line* line = FindLine(position, &block);
    if (line == nullptr) {
        return {position, position};
    }
    return {block.position() + line->start, block.position() + line->start + line->length};
}

int CLineLayout::hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const {
    if (m_blocks.empty()) {
        return -1;
    }
    // Below the whole text, as in Qt's own layout: its end.
    if (accuracy == Qt::FuzzyHit && point.y() > documentSize().height()) {
        return document()->characterCount() - 1;
    }
    const QPointF at = point - QPointF(Margin(), Margin());
    const qreal bottom = m_blocks.back().top + m_blocks.back().height;
    if (accuracy == Qt::ExactHit && (at.y() < 0 || at.y() >= bottom)) {
        return -1;
    }
    const auto [b, l] = LineAtY(at.y());
    const Line& line = m_blocks[b].lines[l];
    const QTextLine textLine = line.layout->lineAt(0);
    if (accuracy == Qt::ExactHit && (at.x() < 0 || at.x() > textLine.naturalTextWidth())) {
        return -1;
    }
    int within = std::clamp(textLine.xToCursor(at.x()), 0, line.length);
    // Past the end of a wrapped line the caret stays on it, before its last character.
    if (within == line.length && within > 0 && l + 1 < m_blocks[b].lines.size()) {
        within = line.layout->previousCursorPosition(within);
    }
    return document()->findBlockByNumber(static_cast<int>(b)).position() + line.start + within;
}

void CLineLayout::draw(QPainter* painter, const PaintContext& context) {
    if (m_blocks.empty()) {
        return;
    }
    painter->save();
    painter->setPen(context.palette.color(QPalette::Text));
    const QRectF clip =
        context.clip.isValid() ? context.clip : QRectF(0, 0, kUnwrapped, kUnwrapped);
    const qreal margin = Margin();
    LayOutShown(clip.top() - margin, clip.bottom() - margin);
    bool ok = false;
    int cursorWidth = property("cursorWidth").toInt(&ok);
    if (!ok) {
        cursorWidth = 1;
    }
    auto [b, l] = LineAtY(clip.top() - margin);
    QTextBlock block = document()->findBlockByNumber(static_cast<int>(b));
    for (; block.isValid() && b < m_blocks.size(); block = block.next(), ++b, l = 0) {
        const Block& lines = m_blocks[b];
        if (margin + lines.top > clip.bottom()) {
            break;
        }
        const int position = block.position();
        for (; l < lines.lines.size(); ++l) {
            const Line& line = lines.lines[l];
            const QPointF origin(margin, margin + lines.top + line.top);
            if (origin.y() > clip.bottom()) {
                break;
            }
            const int begin = position + line.start;
            const bool lastLine = l + 1 == lines.lines.size();
            const int end = begin + line.length;
            // The spaces a wrapped line ends in show nothing, selected or not.
            int shownEnd = end;
            while (!lastLine && shownEnd > begin &&
                   document()->characterAt(shownEnd - 1).isSpace()) {
                --shownEnd;
            }
            QList<QTextLayout::FormatRange> selected;
            for (const Selection& selection : context.selections) {
                const int from = std::max(selection.cursor.selectionStart(), begin);
                const int to = std::min(selection.cursor.selectionEnd(), shownEnd);
                if (from < to) {
                    selected.append({from - begin, to - from, selection.format});
                }
            }
            line.layout->draw(painter, origin, selected, clip);
            const int caret = m_caret.value_or(context.cursorPosition);
            if (caret >= begin && (caret < end || (caret == end && lastLine))) {
                line.layout->drawCursor(painter, origin, caret - begin, cursorWidth);
            }
        }
        if (!block.layout()->preeditAreaText().isEmpty()) {
            DrawComposing(painter, context, block);
        }
    }
    painter->restore();
}

void CLineLayout::DrawComposing(QPainter* painter, const PaintContext& context,
                                const QTextBlock& block) {
    const QTextLayout* own = block.layout();
    const int at = block.position() + own->preeditAreaPosition();
    QTextCharFormat look = at > block.position() ? format(at - 1) : block.charFormat();
    look.setFontUnderline(true);
    QTextLayout composing(own->preeditAreaText(), document()->defaultFont(), paintDevice());
    composing.setFormats({{0, static_cast<int>(own->preeditAreaText().size()), look}});
    composing.beginLayout();
    const QTextLine line = composing.createLine();
    composing.endLayout();
    const QPointF origin = CaretRect(at).topLeft();
    painter->fillRect(QRectF(origin, QSizeF(line.naturalTextWidth(), line.height())),
                      context.palette.base());
    composing.draw(painter, origin);
}
