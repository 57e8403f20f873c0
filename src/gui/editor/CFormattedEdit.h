#pragma once

#include <QBasicTimer>
#include <QTextCharFormat>
#include <QTextEdit>
#include <string>
#include <utility>
#include <vector>

#include "editor/CharCell.h"

class CLineLayout;
class QComboBox;

// The message text: every character carries a size (shown as its point size), a colour and a
// blink flag (shown underlined). It shows the attributes at the caret in the page's three lists,
// applies the lists' choices, and turns its content into the coded body of a command string.
class CFormattedEdit : public QTextEdit {
    Q_OBJECT

public:
    explicit CFormattedEdit(QWidget* parent = nullptr);
    ~CFormattedEdit() override;

    // Empty text; new characters are 7 points, red, not underlined, in the fixed-pitch font.
    void Initialise();
    // Keeps the page's "Char Size", "Color" and blink lists and selects their first entries.
    void AttachLists(QComboBox* sizeList, QComboBox* colourList, QComboBox* blinkList);

    // A list choice (size or colour index 1 based): to the selection, or, with nothing selected,
    // to the next character typed at the end of a line.
    void ApplySize(int32_t sizeIndex);
    void ApplyColour(int32_t colourIndex);
    void ToggleBlink();

    // The coded body of the content; rebuilds lineCells. Reads the document, never the visible
    // cursor, so the operator sees nothing move.
    std::string EncodeBody();

    // Replaces the whole content with these lines, as a message file holds them. The new content
    // cannot be undone into the old, the attributes for the next character start afresh and the
    // caret stands at the start.
    void SetLineCells(const std::vector<CellLine>& lines);

    // One entry per text line, kept current with every change; the preview draws them.
    const std::vector<CellLine>& LineCells() const { return lineCells; }
    // LineCells() == other, deciding on the lines changed last first.
    bool SameLines(const std::vector<CellLine>& other) const;

    int32_t PendingSize() const { return pendingSize; }
    int32_t PendingColour() const { return pendingColour; }
    int32_t PendingBlinkToggles() const { return pendingBlinkToggles; }

    // The attributes of one character format, as the sign takes them.
    static int32_t SizeIndexOf(const QTextCharFormat& format);
    static Rgb ColourOf(const QTextCharFormat& format);

signals:
    // The content changed and lineCells is current again.
    void CellsChanged();

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private slots:
    // The text control asks to show the caret or to repaint it; it places the caret by the
    // blocks' own layouts, which stay empty here, so the lines' layout places it instead.
    void ShowCaret();
    void RepaintCaret();

private:
    // The caret shows at once wherever it goes while the editor has the focus, and blinks from
    // there; the text control cannot tell, as typing and moving by wrapped lines pass it by.
    void ShowCaretAgain();
    // Up, Down, Page Up, Page Down, Home and End, by the lines as they wrap; false for any other
    // key.
    bool MoveByWrappedLine(QKeyEvent* event);
    void OnContentsChange(int position, int charsRemoved, int charsAdded);
    // lineCells from the document, without encoding them.
    void RebuildCells();
    // lineCells after one change of the document: only the lines it touched.
    void RebuildChangedCells();
    void OnTextChanged();
    void ShowCaretAttributes();
    // The format reported for a selection: that of its first character; for an empty selection,
    // that of the character after the caret.
    QTextCharFormat SelectionFormat(const QTextCursor& cursor) const;
    void WriteSizeAndColour(QTextCursor& cursor, int32_t sizeIndex, Rgb colour);
    void ToggleBlinkOf(QTextCursor& cursor);
    // A list choice made with nothing selected, for the next character typed at the caret.
    void ApplyToInsertion(const QTextCharFormat& format);

    // A change of the document not yet in lineCells: none, one, or more than one (which rebuilds
    // them all); where it is, and how many positions it put there.
    struct Change {
        enum Kind { kNone, kOne, kMany } kind = kNone;
        int position = 0;
        int removed = 0;
        int added = 0;
    };
    // The cells of a change inside one block, in place; false when it is not that simple.
    bool SpliceChangedCells(const Change& change);

    std::vector<CellLine> lineCells;
    Change m_change;
    // Each block is one line of lineCells (no line separator inside a block), and each position
    // in it one cell.
    bool m_bLinePerBlock = true;
    bool m_bCellPerPosition = true;
    CLineLayout* m_pLayout = nullptr;
    // Where the caret and the selection were last painted, in the document.
    QRectF m_caretArea;
    // Up and Down keep the caret's x across short lines.
    qreal m_verticalX = -1;
    bool m_bMovingVertically = false;
    QBasicTimer m_caretBlink;
    bool m_bCaretOn = false;
    // A key is typing a character; where the last typed one ended, and in which format.
    bool m_bTyping = false;
    int m_typedEnd = -1;
    QTextCharFormat m_typedFormat;
    // The lines the last rebuild wrote, [first, end).
    std::pair<size_t, size_t> m_changedLines{0, 0};
    QComboBox* m_pSizeList = nullptr;
    QComboBox* m_pColourList = nullptr;
    QComboBox* m_pBlinkList = nullptr;
    bool backspaceFlag = false;
    int32_t pendingSize = 1;
    int32_t pendingColour = kColourRed;
    int32_t pendingBlinkToggles = 0;
    // Characters came in with the last change (typing or pasting, not deleting).
    bool m_bCharsAdded = false;
    // The editor is changing formats itself: its own changes are not typing.
    bool m_bApplying = false;
    // Pasted or dropped text keeps its own attributes: the pending ones are for typing.
    bool m_bPasting = false;
    // A key typed at the end of a line is going in with the pending attributes, and has.
    bool m_bKeyTakesPending = false;
    bool m_bKeyTookPending = false;
};
