#include "gui/editor/CFormattedEdit.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "gui/editor/CEditAccessible.h"
#include "gui/editor/CLineLayout.h"
#include "gui/editor/DocumentCells.h"

namespace {

bool IsNavigationKey(int key) {
    switch (key) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Left:
        case Qt::Key_Up:
        case Qt::Key_Right:
        case Qt::Key_Down:
            return true;
        default:
            return false;
    }
}

}  // namespace

CFormattedEdit::CFormattedEdit(QWidget* parent) : QTextEdit(parent) {
    static const bool kAccessible = [] {
        QAccessible::installFactory(&CEditAccessible::Factory);
        return true;
    }();
    Q_UNUSED(kAccessible);
    // What Undo takes back is this editor's: the document's own steps would not hold what the
    // editor gives a character after it went in.
    document()->setUndoRedoEnabled(false);
    m_pLayout = new CLineLayout(document());
    document()->setDocumentLayout(m_pLayout);
    // The text control is Qt's own; its signals are reached by name.
    for (QObject* child : children()) {
        if (qstrcmp(child->metaObject()->className(), "QWidgetTextControl") == 0) {
            disconnect(child, SIGNAL(visibilityRequest(QRectF)), nullptr, nullptr);
            connect(child, SIGNAL(visibilityRequest(QRectF)), this, SLOT(ShowCaret()));
            connect(child, SIGNAL(updateRequest(QRectF)), this, SLOT(RepaintCaret()));
        }
    }
    connect(this, &QTextEdit::cursorPositionChanged, this, [this] {
        if (!m_bMovingVertically) {
            m_verticalX = -1;
        }
        ShowCaretAgain();
    });
    m_pLayout->ShowCaretAt(-1);
    connect(m_pLayout, &CLineLayout::ContentShifted, this, &CFormattedEdit::FollowShift);
    connect(document(), &QTextDocument::contentsChange, this, &CFormattedEdit::OnContentsChange);
    connect(this, &QTextEdit::textChanged, this, &CFormattedEdit::OnTextChanged);
    // However the caret gets somewhere, the lists name what the next character there gets.
    connect(this, &QTextEdit::cursorPositionChanged, this, &CFormattedEdit::ShowCaretAttributes);
}

CFormattedEdit::~CFormattedEdit() = default;

void CFormattedEdit::Initialise() {
    const QTextCharFormat base = BaseFormat();
    // The lines' layout looks for a line's break in a few lines' worth of characters, however
    // long the unbroken word.
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_bReloading = true;
    document()->setDefaultFont(base.font());
    clear();
    setCurrentCharFormat(base);
    m_bReloading = false;
    m_history.Clear();
    RebuildCells();
}

void CFormattedEdit::keyPressEvent(QKeyEvent* event) {
    const bool undo = event->matches(QKeySequence::Undo);
    if (undo || event->matches(QKeySequence::Redo)) {
        undo ? Undo() : Redo();
        event->accept();
        return;
    }
    if (MoveByWrappedLine(event)) {
        return;
    }
    const bool lineBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // What is typed shows as the sign will show it.
    const QString text = SignText(event->text());
    const bool shortcut =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    const bool types = lineBreak || (!shortcut && !text.isEmpty() && text.front().isPrint());
    const QTextCursor caret = textCursor();
    // Numbers, not the cursor: a copy shares its place with the editor's, which the key moves.
    const int position = caret.position();
    const int anchor = caret.anchor();
    const bool deletes = (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) &&
                         event->modifiers() == Qt::NoModifier && !caret.hasSelection();
    m_history.BeginStep(types && !lineBreak ? EditKind::kTyping
                        : deletes           ? EditKind::kDeleting
                                            : EditKind::kOther);
    // A character or a line break typed at the end of a line goes in with the pending
    // attributes, in one change of the document.
    if (types && !caret.hasSelection() && caret.atBlockEnd()) {
        TakePendingAttributes(caret);
    }
    if (!types || lineBreak || !TypeKey(caret, text)) {
        // The sign has one kind of line break: Shift+Enter breaks the line as Enter does.
        const Qt::KeyboardModifiers modifiers =
            lineBreak ? event->modifiers() & ~Qt::ShiftModifier : event->modifiers();
        QKeyEvent key(event->type(), event->key(), modifiers, text, event->isAutoRepeat(),
                      event->count());
        QTextEdit::keyPressEvent(&key);
        event->setAccepted(key.isAccepted());
    }
    const bool changed = m_history.EndStep();
    QTextCursor same = textCursor();
    if (m_bKeyTakesPending) {
        // Nothing went in: the caret's format is the document's again, for whatever comes next.
        m_bKeyTakesPending = false;
        same.setPosition(same.position());
        m_bApplying = true;
        setTextCursor(same);
        m_bApplying = false;
    }
    if (!changed && (same.position() != position || same.anchor() != anchor)) {
        m_history.BreakRun();
    }
}

bool CFormattedEdit::TypeKey(const QTextCursor& caret, const QString& text) {
    if (caret.hasSelection() || isReadOnly() || overwriteMode()) {
        return false;
    }
    // Qt's text control would place the caret by the block's own layout, laying the whole line
    // out for it, as the document would when it moves the caret outside an edit.
    QTextCursor edit = caret;
    edit.beginEditBlock();
    edit.insertText(text, currentCharFormat());
    edit.endEditBlock();
    ShowCaret();
    ShowCaretAgain();
    return true;
}

void CFormattedEdit::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().isEmpty() || isReadOnly()) {
        QTextEdit::inputMethodEvent(event);
        return;
    }
    // What an input method commits is typing: as the sign shows it, and at the end of a line
    // with the pending attributes.
    QInputMethodEvent committed(event->preeditString(), event->attributes());
    committed.setCommitString(SignText(event->commitString()), event->replacementStart(),
                              event->replacementLength());
    const QTextCursor caret = textCursor();
    m_history.BeginStep(EditKind::kTyping);
    if (!caret.hasSelection() && caret.atBlockEnd() && event->replacementLength() == 0) {
        TakePendingAttributes(caret);
    }
    QTextEdit::inputMethodEvent(&committed);
    m_history.EndStep();
    m_bKeyTakesPending = false;
    event->setAccepted(committed.isAccepted());
}

void CFormattedEdit::keyReleaseEvent(QKeyEvent* event) {
    QTextEdit::keyReleaseEvent(event);
    if (IsNavigationKey(event->key())) {
        ShowCaretAttributes();
    }
}

void CFormattedEdit::mousePressEvent(QMouseEvent* event) {
    m_history.BreakRun();
    m_bWordDrag = false;
    QTextEdit::mousePressEvent(event);
}

void CFormattedEdit::mouseReleaseEvent(QMouseEvent* event) {
    m_bWordDrag = false;
    QTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        ShowCaretAttributes();
    }
}

void CFormattedEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QTextEdit::mouseDoubleClickEvent(event);
    // Qt's control picks the word only on a line of the block's own layout.
    if (event->button() == Qt::LeftButton && !textCursor().hasSelection()) {
        QTextCursor word = cursorForPosition(event->position().toPoint());
        word.select(QTextCursor::WordUnderCursor);
        if (word.hasSelection()) {
            setTextCursor(word);
        }
    }
    const QTextCursor word = textCursor();
    m_clickedWord = {word.selectionStart(), word.selectionEnd()};
    m_bWordDrag = event->button() == Qt::LeftButton && word.hasSelection();
}

void CFormattedEdit::mouseMoveEvent(QMouseEvent* event) {
    if (!m_bWordDrag || (event->buttons() & Qt::LeftButton) == 0) {
        QTextEdit::mouseMoveEvent(event);
        return;
    }
    // After a double click the selection grows by whole words: to the end of the word under the
    // mouse when it is past that word's middle, to its start before.
    const QPointF point =
        event->position() + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const int at = m_pLayout->hitTest(point, Qt::FuzzyHit);
    const auto [start, end] = m_clickedWord;
    QTextCursor selection(document());
    selection.setPosition(start);
    selection.setPosition(end, QTextCursor::KeepAnchor);
    if (at < start || at > end) {
        QTextCursor word(document());
        word.setPosition(at);
        word.movePosition(QTextCursor::StartOfWord);
        const int wordStart = word.position();
        word.movePosition(QTextCursor::EndOfWord);
        const int wordEnd = word.position();
        const qreal middle =
            (m_pLayout->CaretRect(wordStart).left() + m_pLayout->CaretRect(wordEnd).left()) / 2;
        selection.setPosition(at < start ? end : start);
        selection.setPosition(point.x() > middle ? wordEnd : wordStart, QTextCursor::KeepAnchor);
    }
    setTextCursor(selection);
    event->accept();
}

QMenu* CFormattedEdit::CreateContextMenu(const QPoint& position) {
    QMenu* menu = createStandardContextMenu(position);
    for (QAction* action : menu->actions()) {
        const bool undo = action->objectName() == QLatin1String("edit-undo");
        if (undo || action->objectName() == QLatin1String("edit-redo")) {
            disconnect(action, &QAction::triggered, nullptr, nullptr);
            action->setEnabled(undo ? CanUndo() : CanRedo());
            connect(action, &QAction::triggered, this,
                    undo ? &CFormattedEdit::Undo : &CFormattedEdit::Redo);
        }
    }
    return menu;
}

void CFormattedEdit::contextMenuEvent(QContextMenuEvent* event) {
    QMenu* menu = CreateContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

int CFormattedEdit::AdjacentLine(int position, bool up) const {
    const QRectF caret = m_pLayout->CaretRect(position);
    const qreal margin = document()->documentMargin();
    const qreal y = up ? caret.top() - 1 : caret.bottom() + 1;
    if (caret.isNull() || y < margin || y >= m_pLayout->documentSize().height() - margin) {
        return -1;
    }
    return m_pLayout->hitTest(QPointF(m_verticalX, y), Qt::FuzzyHit);
}

int CFormattedEdit::MoveByPage(int position, bool up) {
    // As the text control pages: line by line, keeping the column, until the lines passed are a
    // page tall; then one line back, and the view moves on by a page.
    int at = position;
    int before = position;
    qreal lastTop = m_pLayout->CaretRect(at).top();
    qreal distance = 0;
    bool moved = false;
    do {
        const qreal top = m_pLayout->CaretRect(at).top();
        distance += std::abs(top - lastTop);
        lastTop = top;
        const int next = AdjacentLine(at, up);
        moved = next >= 0;
        if (moved) {
            before = at;
            at = next;
        }
    } while (moved && distance < viewport()->height());
    if (moved) {
        at = before;
        verticalScrollBar()->triggerAction(up ? QAbstractSlider::SliderPageStepSub
                                              : QAbstractSlider::SliderPageStepAdd);
    }
    return at;
}

bool CFormattedEdit::MoveByWrappedLine(QKeyEvent* event) {
    enum Move { kUp, kDown, kPageUp, kPageDown, kLineStart, kLineEnd };
    static const struct {
        QKeySequence::StandardKey move;
        QKeySequence::StandardKey select;
        Move way;
    } kMoves[] = {
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, kUp},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, kDown},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, kPageUp},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, kPageDown},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, kLineStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, kLineEnd},
    };
    if (document()->documentLayout() != m_pLayout) {
        return false;
    }
    for (const auto& entry : kMoves) {
        const bool select = event->matches(entry.select);
        if (!select && !event->matches(entry.move)) {
            continue;
        }
        QTextCursor cursor = textCursor();
        const int position = cursor.position();
        int target = position;
        const bool vertical = entry.way != kLineStart && entry.way != kLineEnd;
        if (entry.way == kLineStart) {
            target = m_pLayout->LineBounds(position).first;
        } else if (entry.way == kLineEnd) {
            // A wrapped line ends where the next begins; before a space that ends it, the caret
            // stays on the line.
            const auto [start, end] = m_pLayout->LineBounds(position);
            target = end;
            const QTextBlock block = cursor.block();
            if (end > start && end < block.position() + block.length() - 1 &&
                document()->characterAt(end - 1).isSpace()) {
                target = end - 1;
            }
        } else {
            if (m_verticalX < 0) {
                m_verticalX = m_pLayout->CaretRect(position).left();
            }
            if (entry.way == kUp || entry.way == kDown) {
                target = std::max(AdjacentLine(position, entry.way == kUp), -1);
                target = target < 0 ? position : target;
            } else {
                target = MoveByPage(position, entry.way == kPageUp);
            }
        }
        cursor.setPosition(std::max(target, 0),
                           select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        // Up and Down keep the column they started from; Home and End take the one they reach,
        // even where the caret stays.
        m_bMovingVertically = vertical;
        setTextCursor(cursor);
        m_bMovingVertically = false;
        if (!vertical) {
            m_verticalX = -1;
        }
        // The caret shows again wherever the key leaves it, as after any key.
        ShowCaretAgain();
        event->accept();
        return true;
    }
    return false;
}

void CFormattedEdit::ShowCaretAgain() {
    const int flash = QApplication::cursorFlashTime();
    m_bCaretOn = hasFocus() &&
                 (!isReadOnly() || (textInteractionFlags() & Qt::TextSelectableByKeyboard) != 0);
    if (m_bCaretOn && flash >= 2) {
        m_caretBlink.start(flash / 2, this);
    } else {
        m_caretBlink.stop();
    }
    m_pLayout->ShowCaretAt(m_bCaretOn ? textCursor().position() : -1);
    RepaintCaret();
}

void CFormattedEdit::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_caretBlink.timerId()) {
        QTextEdit::timerEvent(event);
        return;
    }
    const QTextCursor cursor = textCursor();
    m_bCaretOn = !m_bCaretOn &&
                 (!cursor.hasSelection() ||
                  style()->styleHint(QStyle::SH_BlinkCursorWhenTextSelected, nullptr, this) != 0);
    m_pLayout->ShowCaretAt(m_bCaretOn ? cursor.position() : -1);
    RepaintCaret();
}

void CFormattedEdit::focusInEvent(QFocusEvent* event) {
    QTextEdit::focusInEvent(event);
    ShowCaretAgain();
}

void CFormattedEdit::focusOutEvent(QFocusEvent* event) {
    QTextEdit::focusOutEvent(event);
    ShowCaretAgain();
}

void CFormattedEdit::resizeEvent(QResizeEvent* event) {
    // A new width lays out the lines in view at once and the rest after; the view stays on the
    // text it showed, wherever the guessed heights above it put that text.
    const int top = verticalScrollBar()->value();
    m_pLayout->SetVisibleArea(top, top + event->size().height());
    QTextEdit::resizeEvent(event);
    const qreal shift = m_pLayout->TakeShift();
    if (shift != 0) {
        verticalScrollBar()->setValue(top + qRound(shift));
    }
}

void CFormattedEdit::scrollContentsBy(int dx, int dy) {
    QTextEdit::scrollContentsBy(dx, dy);
    const int top = verticalScrollBar()->value();
    m_pLayout->SetVisibleArea(top, top + viewport()->height());
}

void CFormattedEdit::FollowShift(qreal below, qreal shift) {
    QScrollBar* bar = verticalScrollBar();
    if (bar->value() >= below) {
        m_shiftLeft += shift;
        const int whole = qRound(m_shiftLeft);
        m_shiftLeft -= whole;
        bar->setValue(bar->value() + whole);
    }
}

void CFormattedEdit::ShowCaret() {
    const QRectF caret = m_pLayout->CaretRect(textCursor().position());
    if (caret.isNull()) {
        return;
    }
    QScrollBar* bar = verticalScrollBar();
    const int height = viewport()->height();
    if (caret.top() < bar->value()) {
        bar->setValue(static_cast<int>(std::floor(caret.top())));
    } else if (caret.bottom() > bar->value() + height) {
        bar->setValue(static_cast<int>(std::ceil(caret.bottom())) - height);
    }
}

void CFormattedEdit::RepaintCaret() {
    const QTextCursor cursor = textCursor();
    if (m_pLayout->Waits(cursor.position()) && m_pLayout->Waits(cursor.anchor())) {
        return;  // not laid out yet, so not shown: its lines are painted whole when they are
    }
    QRectF area = m_pLayout->LineRect(cursor.position());
    if (cursor.hasSelection()) {
        area |= m_pLayout->LineRect(cursor.anchor());
    }
    const QPoint scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
    if (area != m_caretArea) {
        viewport()->update(m_caretArea.toAlignedRect().translated(-scrolled));
    }
    viewport()->update(area.toAlignedRect().translated(-scrolled));
    m_caretArea = area;
}

QVariant CFormattedEdit::inputMethodQuery(Qt::InputMethodQuery query) const {
    if (query != Qt::ImCursorRectangle && query != Qt::ImAnchorRectangle) {
        return QTextEdit::inputMethodQuery(query);
    }
    const QTextCursor cursor = textCursor();
    const QRectF caret =
        m_pLayout->CaretRect(query == Qt::ImCursorRectangle ? cursor.position() : cursor.anchor());
    const QPointF scrolled(horizontalScrollBar()->value(), verticalScrollBar()->value());
    return caret.translated(viewport()->pos() - scrolled).toRect();
}
