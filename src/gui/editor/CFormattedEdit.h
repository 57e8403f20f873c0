#pragma once

#include <QBasicTimer>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <string>
#include <utility>
#include <vector>

#include "editor/CharCell.h"
#include "editor/EditHistory.h"
#include "editor/TypingRules.h"

class CLineLayout;
class QComboBox;
class QMenu;

// The message text: every character carries a size (shown as its point size), a colour and a
// blink flag (shown underlined). It shows the attributes at the caret in the page's three lists,
// applies the lists' choices, and turns its content into the coded body of a command string.
// What a choice and a keystroke give a character is CTypingRules'; what Undo takes back is
// CEditHistory's, kept here in place of the document's own, which knows nothing of the lists.
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

    int32_t PendingSize() const { return m_rules.PendingSize(); }
    int32_t PendingColour() const { return m_rules.PendingColour(); }
    int32_t PendingBlinkToggles() const { return m_rules.PendingBlinkToggles(); }

    // Each step exactly as it was; what was undone can be redone until the next edit.
    void Undo();
    void Redo();
    bool CanUndo() const { return m_history.CanUndo(); }
    bool CanRedo() const { return m_history.CanRedo(); }
    // The text is what was opened, after every undo and redo that comes back to it.
    bool IsClean() const { return m_history.IsClean(); }

    // The text control's menu, its Undo and Redo this editor's.
    QMenu* CreateContextMenu(const QPoint& position);

    const CLineLayout& Layout() const { return *m_pLayout; }

    // The attributes of one character format, as the sign takes them.
    static int32_t SizeIndexOf(const QTextCharFormat& format);
    static Rgb ColourOf(const QTextCharFormat& format);

signals:
    // The content changed and lineCells is current again.
    void CellsChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent* event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private slots:
    // The text control asks to show the caret or to repaint it; it places the caret by the
    // blocks' own layouts, which stay empty here, so the lines' layout places it instead.
    void ShowCaret();
    void RepaintCaret();
    // The lines above the view were laid out at a new width: the view stays on its text.
    void FollowShift(qreal below, qreal shift);

private:
    // The caret shows at once wherever it goes while the editor has the focus, and blinks from
    // there; the text control cannot tell, as typing and moving by wrapped lines pass it by.
    void ShowCaretAgain();
    // Up, Down, Page Up, Page Down, Home and End, by the lines as they wrap; false for any other
    // key.
    bool MoveByWrappedLine(QKeyEvent* event);
    // Page Up and Page Down: line by line, keeping the column, until a page is passed.
    int MoveByPage(int position, bool up);
    // A character typed with nothing selected goes in here, in the caret's format; false when
    // the text control must take it.
    bool TypeKey(const QTextCursor& caret, const QString& text);
    // The caret's position a wrapped line up or down, at the column kept, or -1 at the first or
    // last line.
    int AdjacentLine(int position, bool up) const;
    // The format a character typed at the caret goes in with, taking the pending attributes at
    // the end of a line.
    void TakePendingAttributes(const QTextCursor& caret);
    void OnContentsChange(int position, int charsRemoved, int charsAdded);
    // lineCells from the whole document.
    void RebuildCells();
    // The cells of a few positions, each looked up on its own: a keystroke reads no more of its
    // line than the character it typed.
    CellSpan ReadFew(int from, int to);
    void OnTextChanged();
    void ShowCaretAttributes();
    // The attributes a choice goes to: the selection's first character, or with nothing
    // selected, the character after the caret.
    QTextCharFormat SelectionFormat(const QTextCursor& cursor) const;
    // A choice given to the selected cells, written back as one step.
    void WriteSelection(void (*write)(CellSpan&, int32_t), int32_t value);
    // Puts cells in place of `count` positions, as one change of the document.
    void Put(int position, int count, const CellSpan& cells);
    void Replay(const EditStep& step, bool forwards);
    // A list choice made with nothing selected, for the next character typed at the caret.
    void ApplyToInsertion(const QTextCharFormat& format);

    std::vector<CellLine> lineCells;
    size_t m_nTextLength = 0;
    CTypingRules m_rules;
    CEditHistory m_history;
    CLineLayout* m_pLayout = nullptr;
    // Where the caret and the selection were last painted, in the document.
    QRectF m_caretArea;
    // Up and Down keep the caret's x across short lines.
    qreal m_verticalX = -1;
    bool m_bMovingVertically = false;
    QBasicTimer m_caretBlink;
    bool m_bCaretOn = false;
    // What of the view's shifts is less than a pixel, kept for the next one.
    qreal m_shiftLeft = 0;
    // A double click picked a word: dragging on extends the selection by whole words.
    std::pair<int, int> m_clickedWord{0, 0};
    bool m_bWordDrag = false;
    // The lines the last change wrote, [first, end).
    std::pair<size_t, size_t> m_changedLines{0, 0};
    QComboBox* m_pSizeList = nullptr;
    QComboBox* m_pColourList = nullptr;
    QComboBox* m_pBlinkList = nullptr;
    // The editor is changing formats itself: its own changes are not typing.
    bool m_bApplying = false;
    // The whole content is being replaced: lineCells are built once it is in.
    bool m_bReloading = false;
    // An undo or redo is putting a step back: it is not a step of its own.
    bool m_bReplaying = false;
    // A key typed at the end of a line is going in with the pending attributes.
    bool m_bKeyTakesPending = false;
};
