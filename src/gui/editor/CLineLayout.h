#pragma once

#include <QAbstractTextDocumentLayout>
#include <QTextFormat>
#include <QTextOption>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QTextLayout;
class QTimer;

// Lays out a plain document of lines (no frames, tables or images) one wrapped line at a time. A
// change lays out again only the wrapped lines whose break it can move, and asks to repaint only
// those, so a keystroke costs the same at the end of a line of a hundred characters or of ten
// thousand. Qt's own layout lays out the whole paragraph and repaints all of it.
//
// The blocks' own QTextLayout objects stay empty: what asks them for lines (moving the caret a
// line up or down, its rectangle) must ask this layout instead.
class CLineLayout : public QAbstractTextDocumentLayout {
    Q_OBJECT

public:
    explicit CLineLayout(QTextDocument* document);
    ~CLineLayout() override;

    void draw(QPainter* painter, const PaintContext& context) override;
    int hitTest(const QPointF& point, Qt::HitTestAccuracy accuracy) const override;
    int pageCount() const override { return 1; }
    QSizeF documentSize() const override;
    QRectF frameBoundingRect(QTextFrame* frame) const override;
    QRectF blockBoundingRect(const QTextBlock& block) const override;

    // The caret before this document position, as tall as its wrapped line.
    QRectF CaretRect(int position) const;
    // The box of the character at this position on its wrapped line; at a line's end, the
    // caret's.
    QRectF CharacterRect(int position) const;
    // The wrapped line that shows this position: its first position and the one after its last
    // character (a position at a wrap shows at the start of the next line).
    std::pair<int, int> LineBounds(int position) const;
    // The whole wrapped line that shows this position, as wide as the text.
    QRectF LineRect(int position) const;
    // The format of the character at this position, found without laying out its block, as a
    // cursor placed there would.
    QTextCharFormat CharFormatAt(int position) { return format(position); }
    // The part of the document in view, [top, bottom): when the width changes, the lines there
    // are laid out at once and the rest on the following rounds of events, or when something asks
    // for them. Until it is set, everything is laid out at once.
    void SetVisibleArea(qreal top, qreal bottom) {
        m_visibleTop = top;
        m_visibleBottom = bottom;
    }
    bool LaidOutWhole() const { return m_laidEnd >= m_blocks.size(); }
    void LayOutRest();
    // The block of this position waits to be laid out: nothing of it is shown yet.
    bool Waits(int position) const;
    // How far the text in view moved down when the width changed (the lines above it waiting,
    // their heights guessed); the view follows it. Asked once.
    qreal TakeShift() { return std::exchange(m_shift, 0); }

signals:
    // The lines above `below` were laid out and everything under them moved by `shift`: a view
    // below them follows.
    void ContentShifted(qreal below, qreal shift);

public:
    // Where the caret is drawn, or -1: the editor blinks it, as the text control only blinks what
    // it moved itself. Until this is called, the paint context's caret is drawn.
    void ShowCaretAt(int position) { m_caret = position; }

protected:
    void documentChanged(int from, int charsRemoved, int charsAdded) override;

private:
    // One wrapped line: its text from start (in its block) and its own layout of that text. Its
    // break was decided on the block's text [start, windowEnd) alone.
    struct Line {
        int start = 0;
        int length = 0;
        int windowEnd = 0;
        qreal top = 0;  // from the block's top
        qreal height = 0;
        std::shared_ptr<QTextLayout> layout;
    };
    struct Block {
        std::vector<Line> lines;
        qreal top = 0;  // from the first block's top
        qreal height = 0;
    };

    // The block's wrapped lines from this one on; those after the change that still begin where
    // a new line ends are kept, moved by shift. Returns the first line laid out anew.
    size_t LayOutBlock(const QTextBlock& block, Block& lines, size_t fromLine, int changeEnd,
                       int shift);
    // The wrapped line from start, its break looked for in the next window characters first.
    // A run of one format in a block: [start, end) from the block's start.
    struct Run {
        int start = 0;
        int end = 0;
        QTextCharFormat format;
    };
    Line LayOutLine(const QTextBlock& block, const QString& text, int start, int window,
                    const std::vector<Run>* blockRuns);
    void LayOutAll();
    // Blocks from `from` on, each at the foot of the one before, up to `stop` (not included),
    // until both block `upTo` is reached and the next would begin below y; returns where it
    // stopped.
    size_t LayOutRange(size_t from, size_t stop, size_t upTo, qreal downTo);
    // The blocks laid out from the start go on (up to block `upTo`, not included, and down to y);
    // `tell` says so to the text edit and the view. Meeting the window, they take it in.
    void LayOutWaiting(size_t upTo, qreal downTo, bool tell);
    // The window of blocks laid out around the view goes on down.
    void LayOutWindow(size_t upTo, qreal downTo);
    void LayOutSomeMore();
    bool IsLaidOut(size_t block) const {
        return block < m_laidEnd || (block >= m_windowFrom && block < m_windowEnd);
    }
    // Queries that reach a block still waiting lay it out first.
    void LayOutUpTo(size_t block) const;
    void LayOutShown(qreal top, qreal bottom) const;
    // What an input method is composing stands over the text at its place, underlined, until it
    // is committed; the block's own layout holds it.
    void DrawComposing(QPainter* painter, const PaintContext& context, const QTextBlock& block);
    void PlaceBlocks(size_t from);
    qreal TextWidth() const;
    qreal Margin() const;
    // The block showing this y, and the line in it; clamped to the document.
    std::pair<size_t, size_t> LineAtY(qreal y) const;
    // The block and line showing this position, or none.
    const Line* FindLine(int position, QTextBlock* block = nullptr) const;

    // Wide enough for any line when the document does not wrap.
    static constexpr qreal kUnwrapped = 1e7;

    std::vector<Block> m_blocks;
    qreal m_width = -1;
    // Characters that surely overrun a line: where a line's break is looked for.
    int m_windowChars = 256;
    std::optional<int> m_caret;
    // The blocks [0, m_laidEnd) are laid out at the current width; the others wait, their
    // heights guessed, but for a window.
    size_t m_laidEnd = 0;
    // Laid out too: the blocks around the view, [m_windowFrom, m_windowEnd), when the view was
    // further down than its height.
    size_t m_windowFrom = 0;
    size_t m_windowEnd = 0;
    qreal m_visibleTop = 0;
    qreal m_visibleBottom = 1e9;
    qreal m_shift = 0;
    QTimer* m_pRest = nullptr;
};
