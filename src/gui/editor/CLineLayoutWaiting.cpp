// CLineLayout at a new width: the lines in view first, the others as the rounds of events or the
// questions asked of the layout reach them.
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "gui/editor/CLineLayout.h"

namespace {

// The part of the first line's window when nothing is known of the block's lines yet: a line of
// the default font's narrowest characters, twice over.
constexpr qreal kWindowPerLine = 2.0;
// The characters laid out in one round of events while the rest of a resized text waits, a
// millisecond or two of work: typing and resizing go on in between.
constexpr int kCharactersPerRound = 4096;

}  // namespace

void CLineLayout::LayOutAll() {
    // The block at the view's top, found before anything moves: the view stays on it.
    const qreal viewTop = m_visibleTop - Margin();
    size_t anchor = 0;
    qreal anchorTop = 0;
    if (LaidOutWhole() && !m_blocks.empty() &&
        m_blocks.size() == static_cast<size_t>(document()->blockCount()) &&
        viewTop > m_visibleBottom - m_visibleTop) {
        const auto at = std::upper_bound(m_blocks.begin(), m_blocks.end(), viewTop,
                                         [](qreal y, const Block& b) { return y < b.top; });
        anchor = static_cast<size_t>(at - m_blocks.begin()) - 1;
        anchorTop = m_blocks[anchor].top;
    }
    m_width = TextWidth();
    const QFontMetricsF metrics(document()->defaultFont(), paintDevice());
    const qreal narrowest = metrics.averageCharWidth();
    m_windowChars = m_width >= kUnwrapped || narrowest <= 0
                        ? 256
                        : static_cast<int>(std::ceil(m_width * kWindowPerLine / narrowest)) + 8;
    // Until a block is laid out, it is as tall as its characters would be at the smallest size.
    m_blocks.assign(static_cast<size_t>(document()->blockCount()), Block{});
    size_t i = 0;
    for (QTextBlock block = document()->begin(); block.isValid() && i < m_blocks.size();
         block = block.next(), ++i) {
        const qreal lines = m_width >= kUnwrapped || narrowest <= 0
                                ? 1
                                : std::ceil(block.length() * narrowest / m_width);
        m_blocks[i].height = std::max<qreal>(lines, 1) * metrics.height();
    }
    m_laidEnd = 0;
    m_windowFrom = m_windowEnd = 0;
    PlaceBlocks(0);
    // What shows now first; the rest on the next rounds of events, or when something asks.
    if (anchor == 0) {
        LayOutWaiting(0, m_visibleBottom - Margin(), false);
    } else {
        m_windowFrom = m_windowEnd = anchor;
        LayOutWindow(0, m_blocks[anchor].top + (m_visibleBottom - m_visibleTop));
        m_shift += m_blocks[anchor].top - anchorTop;
    }
    if (!LaidOutWhole()) {
        m_pRest->start();
    }
}

size_t CLineLayout::LayOutRange(size_t from, size_t stop, size_t upTo, qreal downTo) {
    size_t at = from;
    QTextBlock block = document()->findBlockByNumber(static_cast<int>(from));
    for (; block.isValid() && at < stop; block = block.next(), ++at) {
        const qreal top = at == 0 ? 0 : m_blocks[at - 1].top + m_blocks[at - 1].height;
        if (at >= upTo && top > downTo) {
            break;
        }
        m_blocks[at].top = top;
        LayOutBlock(block, m_blocks[at], 0, 0, 0);
    }
    return at;
}

void CLineLayout::LayOutWaiting(size_t upTo, qreal downTo, bool tell) {
    const QSizeF before = documentSize();
    const size_t from = m_laidEnd;
    const bool window = m_windowEnd > m_windowFrom;
    const size_t windowFrom = m_windowFrom;
    const qreal windowTop = window ? m_blocks[windowFrom].top : 0;
    while (m_laidEnd < m_blocks.size() && (m_laidEnd < upTo || m_blocks[m_laidEnd].top <= downTo)) {
        const size_t stop = m_windowEnd > m_windowFrom ? m_windowFrom : m_blocks.size();
        m_laidEnd = LayOutRange(m_laidEnd, stop, upTo, downTo);
        if (m_laidEnd < stop) {
            break;
        }
        if (m_windowEnd > m_windowFrom && m_laidEnd == m_windowFrom) {
            m_laidEnd = m_windowEnd;  // the window joins the blocks laid out from the start
            m_windowFrom = m_windowEnd = 0;
        }
        PlaceBlocks(from);
    }
    if (m_laidEnd == from) {
        return;
    }
    PlaceBlocks(from);
    const qreal shift = window ? m_blocks[windowFrom].top - windowTop : 0;
    if (!tell) {
        return;
    }
    const QSizeF after = documentSize();
    emit update(QRectF(0, Margin() + m_blocks[from].top, std::max(before.width(), after.width()),
                       std::max(before.height(), after.height())));
    if (after != before) {
        emit documentSizeChanged(after);
    }
    if (shift != 0) {
        emit ContentShifted(Margin() + windowTop, shift);
    }
}

void CLineLayout::LayOutWindow(size_t upTo, qreal downTo) {
    const size_t from = m_windowEnd;
    m_windowEnd = LayOutRange(m_windowEnd, m_blocks.size(), upTo, downTo);
    PlaceBlocks(from);
}

void CLineLayout::LayOutSomeMore() {
    size_t upTo = m_laidEnd;
    int characters = 0;
    for (QTextBlock block = document()->findBlockByNumber(static_cast<int>(m_laidEnd));
         block.isValid() && upTo < m_blocks.size() && characters < kCharactersPerRound;
         block = block.next(), ++upTo) {
        characters += block.length();
    }
    LayOutWaiting(upTo, -1, true);
    if (!LaidOutWhole()) {
        m_pRest->start();
    }
}

void CLineLayout::LayOutRest() {
    LayOutWaiting(m_blocks.size(), -1, true);
}

void CLineLayout::LayOutUpTo(size_t block) const {
    // Asked for a place in a block still waiting: it is laid out now, with those before it back
    // to the window or the start.
    if (IsLaidOut(block) || block >= m_blocks.size()) {
        return;
    }
    auto* self = const_cast<CLineLayout*>(this);
    if (m_windowEnd > m_windowFrom && block >= m_windowEnd) {
        self->LayOutWindow(block + 1, -1);
        emit self->update(QRectF(QPointF(0, 0), documentSize()));
        emit self->documentSizeChanged(documentSize());
    } else {
        self->LayOutWaiting(block + 1, -1, true);
    }
}

void CLineLayout::LayOutShown(qreal top, qreal bottom) const {
    if (LaidOutWhole()) {
        return;
    }
    auto* self = const_cast<CLineLayout*>(this);
    if (m_windowEnd > m_windowFrom && top >= m_blocks[m_windowFrom].top) {
        if (m_windowEnd < m_blocks.size() && m_blocks[m_windowEnd].top <= bottom) {
            self->LayOutWindow(0, bottom);
            emit self->documentSizeChanged(documentSize());
        }
        return;
    }
    self->LayOutWaiting(0, bottom, true);
}

bool CLineLayout::Waits(int position) const {
    const int number = document()->findBlock(position).blockNumber();
    return number >= 0 && !IsLaidOut(static_cast<size_t>(number));
}
