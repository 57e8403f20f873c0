#include "gui/editor/CFormattedEdit.h"

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "editor/BodyEncoder.h"
#include "encoding/Windows1252.h"
#include "gui/editor/CLineLayout.h"

namespace {

constexpr int32_t kBlinkOffEntry = 0;
constexpr int32_t kBlinkOnEntry = 1;

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

// Images, tables and the like that pasted rich text may hold stand in the text as this character.
constexpr char16_t kObjectReplacement = 0xFFFC;

QColor QColorOf(Rgb colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// The format every new character starts from: the smallest size, red, not blinking.
QTextCharFormat BaseFormat() {
    QTextCharFormat format;
    // The sign's characters are Latin in a fixed-pitch font, which look the same unshaped; a change
    // lays its whole line out again, and shaping was the larger part of that on a long line.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleStrategy(QFont::PreferNoShaping);
    format.setFont(font);
    format.setFontPointSize(PointsForSizeIndex(kMinSizeIndex));
    format.setForeground(QColorOf(kRed));
    format.setFontUnderline(false);
    return format;
}

// Selects an entry without running the list's reaction: the operator did not choose it.
void ShowEntry(QComboBox* list, int index) {
    if (list != nullptr) {
        const QSignalBlocker quiet(list);
        list->setCurrentIndex(index >= 0 && index < list->count() ? index : -1);
    }
}

// A format as the sign shows it: the nearest size the sign has, red for every colour it has not,
// and from the fallback whatever the format does not say itself.
QTextCharFormat SignFormat(const QTextCharFormat& from, const QTextCharFormat& fallback) {
    QTextCharFormat format = BaseFormat();
    const double points =
        from.fontPointSize() > 0 ? from.fontPointSize() : fallback.fontPointSize();
    format.setFontPointSize(PointsForSizeIndex(NearestSizeIndexForPoints(points)));
    const QTextCharFormat& coloured =
        from.hasProperty(QTextFormat::ForegroundBrush) ? from : fallback;
    const QColor colour = coloured.hasProperty(QTextFormat::ForegroundBrush)
                              ? coloured.foreground().color()
                              : QColorOf(kRed);
    format.setForeground(QColorOf(
        SignColour(MakeRgb(static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                           static_cast<uint8_t>(colour.blue())))));
    const bool ownUnderline = from.hasProperty(QTextFormat::TextUnderlineStyle) ||
                              from.hasProperty(QTextFormat::FontUnderline);
    format.setFontUnderline(ownUnderline ? from.fontUnderline() : fallback.fontUnderline());
    return format;
}

// Inserts text in one format; every kind of line break in it starts a new line, as the sign has
// one kind only, and objects such as images leave nothing.
void InsertLines(QTextCursor& cursor, QString text, const QTextCharFormat& format) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.remove(QChar(kObjectReplacement));
    qsizetype begin = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool end = i == text.size();
        if (!end && !IsLineBreak(text[i])) {
            continue;
        }
        if (i > begin) {
            cursor.insertText(text.mid(begin, i - begin), format);
        }
        if (!end) {
            cursor.insertBlock(QTextBlockFormat(), format);
        }
        begin = i + 1;
    }
}

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
    m_bApplying = true;
    document()->setDefaultFont(base.font());
    clear();
    setCurrentCharFormat(base);
    m_bApplying = false;
    RebuildCells();
}

void CFormattedEdit::AttachLists(QComboBox* sizeList, QComboBox* colourList, QComboBox* blinkList) {
    m_pSizeList = sizeList;
    m_pColourList = colourList;
    m_pBlinkList = blinkList;
    ShowEntry(m_pSizeList, 0);
    ShowEntry(m_pColourList, 0);
    ShowEntry(m_pBlinkList, kBlinkOffEntry);
}

int32_t CFormattedEdit::SizeIndexOf(const QTextCharFormat& format) {
    // Heights are whole points; a character with no size of its own has the base size.
    const double points = format.fontPointSize();
    return points > 0 ? SizeIndexForPoints(static_cast<int32_t>(points)) : kMinSizeIndex;
}

Rgb CFormattedEdit::ColourOf(const QTextCharFormat& format) {
    if (!format.hasProperty(QTextFormat::ForegroundBrush)) {
        return MakeRgb(0, 0, 0);  // the automatic colour: the sign shows it red
    }
    const QColor colour = format.foreground().color();
    return MakeRgb(static_cast<uint8_t>(colour.red()), static_cast<uint8_t>(colour.green()),
                   static_cast<uint8_t>(colour.blue()));
}

QTextCharFormat CFormattedEdit::SelectionFormat(const QTextCursor& cursor) const {
    QTextCursor probe(document());
    if (cursor.hasSelection()) {
        probe.setPosition(cursor.selectionStart() + 1);
        return probe.charFormat();
    }
    if (cursor.atEnd()) {
        return cursor.charFormat();
    }
    probe.setPosition(cursor.position() + 1);
    return probe.charFormat();
}

void CFormattedEdit::WriteSizeAndColour(QTextCursor& cursor, int32_t sizeIndex, Rgb colour) {
    QTextCharFormat format;
    format.setFontPointSize(PointsForSizeIndex(sizeIndex));
    format.setForeground(QColorOf(colour));
    cursor.mergeCharFormat(format);
}

void CFormattedEdit::ToggleBlinkOf(QTextCursor& cursor) {
    const QTextCharFormat current = SelectionFormat(cursor);
    QTextCharFormat format;
    format.setFontUnderline(!(current.fontUnderline() || current.fontStrikeOut()));
    cursor.mergeCharFormat(format);
}

void CFormattedEdit::ApplySize(int32_t sizeIndex) {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        pendingSize = sizeIndex;
        QTextCharFormat format;
        format.setFontPointSize(PointsForSizeIndex(sizeIndex));
        ApplyToInsertion(format);
        return;
    }
    // The colour reported for the selection goes to all of it with the new size.
    WriteSizeAndColour(cursor, sizeIndex, ColourOf(SelectionFormat(cursor)));
    ShowCaretAttributes();
}

void CFormattedEdit::ApplyColour(int32_t colourIndex) {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        pendingColour = colourIndex;
        QTextCharFormat format;
        format.setForeground(QColorOf(ColourForIndex(colourIndex)));
        ApplyToInsertion(format);
        return;
    }
    WriteSizeAndColour(cursor, SizeIndexOf(SelectionFormat(cursor)), ColourForIndex(colourIndex));
    ShowCaretAttributes();
}

void CFormattedEdit::ToggleBlink() {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        ++pendingBlinkToggles;
        QTextCharFormat format;
        format.setFontUnderline(!cursor.charFormat().fontUnderline());
        ApplyToInsertion(format);
        return;
    }
    ToggleBlinkOf(cursor);
    ShowCaretAttributes();
}

void CFormattedEdit::ApplyToInsertion(const QTextCharFormat& format) {
    // At the end of a line the pending attributes carry the choice. Inside a line the next
    // character takes the format the control inserts it with, so the choice goes there, until
    // the caret moves: the list then names what that character gets.
    if (!textCursor().atBlockEnd()) {
        m_bApplying = true;
        mergeCurrentCharFormat(format);
        m_bApplying = false;
    }
    ShowCaretAttributes();
}

namespace {

// The lines of one block: one, or more where the block holds line separators.
void AppendBlockLines(const QTextBlock& block, std::vector<CellLine>& lines) {
    CellLine line;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid()) {
            continue;
        }
        const QTextCharFormat format = fragment.charFormat();
        CharCell cell;
        cell.size = CFormattedEdit::SizeIndexOf(format);
        cell.colour = CFormattedEdit::ColourOf(format);
        cell.blink = format.fontUnderline();
        for (const char32_t codePoint : fragment.text().toUcs4()) {
            if (codePoint == kObjectReplacement) {
                continue;
            }
            if (codePoint == QChar::LineSeparator) {
                lines.push_back(std::move(line));
                line = {};
                continue;
            }
            cell.character = CodePointToWindows1252(codePoint);
            line.push_back(cell);
        }
    }
    lines.push_back(std::move(line));
}

}  // namespace

void CFormattedEdit::RebuildCells() {
    lineCells.clear();
    m_bCellPerPosition = true;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        AppendBlockLines(block, lineCells);
        m_bCellPerPosition =
            m_bCellPerPosition && static_cast<int>(lineCells.back().size()) == block.length() - 1;
    }
    m_bLinePerBlock = static_cast<int>(lineCells.size()) == document()->blockCount();
    m_change = {};
    m_changedLines = {0, lineCells.size()};
}

void CFormattedEdit::RebuildChangedCells() {
    const Change change = m_change;
    m_change = {};
    if (change.kind != Change::kOne || !m_bLinePerBlock) {
        RebuildCells();
        return;
    }
    if (SpliceChangedCells(change)) {
        return;
    }
    // The blocks the change touched now, and the lines they were before: every block before
    // them and after them is the same, those after shifted by the blocks the change added.
    const QTextDocument* content = document();
    const QTextBlock first = content->findBlock(change.position);
    QTextBlock last = content->findBlock(change.position + change.added);
    if (!last.isValid()) {
        last = content->lastBlock();
    }
    const int added = content->blockCount() - static_cast<int>(lineCells.size());
    const int firstLine = first.blockNumber();
    const int endLine = last.blockNumber() + 1 - added;
    if (!first.isValid() || endLine < firstLine || endLine > static_cast<int>(lineCells.size())) {
        RebuildCells();
        return;
    }
    std::vector<CellLine> lines;
    for (QTextBlock block = first; block.isValid() && block.blockNumber() <= last.blockNumber();
         block = block.next()) {
        AppendBlockLines(block, lines);
    }
    if (static_cast<int>(lines.size()) != last.blockNumber() + 1 - firstLine) {
        RebuildCells();
        return;
    }
    lineCells.erase(lineCells.begin() + firstLine, lineCells.begin() + endLine);
    lineCells.insert(lineCells.begin() + firstLine, std::make_move_iterator(lines.begin()),
                     std::make_move_iterator(lines.end()));
    m_changedLines = {static_cast<size_t>(firstLine),
                      static_cast<size_t>(firstLine) + lines.size()};
}

bool CFormattedEdit::SpliceChangedCells(const Change& change) {
    const QTextDocument* content = document();
    const QTextBlock block = content->findBlock(change.position);
    if (!m_bCellPerPosition || content->blockCount() != static_cast<int>(lineCells.size()) ||
        !block.isValid() || content->findBlock(change.position + change.added) != block) {
        return false;
    }
    CellLine& line = lineCells[static_cast<size_t>(block.blockNumber())];
    const auto at = static_cast<size_t>(change.position - block.position());
    if (at + static_cast<size_t>(change.removed) > line.size()) {
        return false;
    }
    CellLine cells;
    for (int p = change.position; p < change.position + change.added; ++p) {
        const QChar character = content->characterAt(p);
        if (character.isSurrogate() || IsLineBreak(character) || character == kObjectReplacement) {
            return false;
        }
        const QTextCharFormat format = m_pLayout->CharFormatAt(p);
        cells.push_back(CharCell{SizeIndexOf(format), CodePointToWindows1252(character.unicode()),
                                 ColourOf(format), format.fontUnderline()});
    }
    const auto first = line.begin() + static_cast<ptrdiff_t>(at);
    line.erase(first, first + change.removed);
    line.insert(line.begin() + static_cast<ptrdiff_t>(at), cells.begin(), cells.end());
    if (static_cast<int>(line.size()) != block.length() - 1) {
        RebuildCells();
    } else {
        const auto number = static_cast<size_t>(block.blockNumber());
        m_changedLines = {number, number + 1};
    }
    return true;
}

bool CFormattedEdit::SameLines(const std::vector<CellLine>& other) const {
    if (other.size() != lineCells.size()) {
        return false;
    }
    // The lines changed last decide it at once, unless the change was undone.
    const size_t from = std::min(m_changedLines.first, other.size());
    const size_t to = std::clamp(m_changedLines.second, from, other.size());
    const auto same = [this, &other](size_t begin, size_t end) {
        return std::equal(lineCells.begin() + static_cast<std::ptrdiff_t>(begin),
                          lineCells.begin() + static_cast<std::ptrdiff_t>(end),
                          other.begin() + static_cast<std::ptrdiff_t>(begin));
    };
    return same(from, to) && same(0, from) && same(to, other.size());
}

std::string CFormattedEdit::EncodeBody() {
    RebuildCells();
    return EncodeCellLines(lineCells);
}

void CFormattedEdit::SetLineCells(const std::vector<CellLine>& lines) {
    const QTextCharFormat base = BaseFormat();
    m_bApplying = true;
    document()->setUndoRedoEnabled(false);
    clear();
    setCurrentCharFormat(base);
    QTextCursor cursor(document());
    // One edit: the document is laid out once, not again after every run.
    cursor.beginEditBlock();
    for (size_t k = 0; k < lines.size(); ++k) {
        if (k > 0) {
            cursor.insertBlock(QTextBlockFormat(), base);
        }
        const CellLine& line = lines[k];
        for (size_t begin = 0; begin < line.size();) {
            const CharCell& first = line[begin];
            std::string run;
            size_t end = begin;
            for (; end < line.size() && line[end].size == first.size &&
                   line[end].colour == first.colour && line[end].blink == first.blink;
                 ++end) {
                run += static_cast<char>(line[end].character);
            }
            QTextCharFormat format = base;
            format.setFontPointSize(PointsForSizeIndex(first.size));
            format.setForeground(QColorOf(first.colour));
            format.setFontUnderline(first.blink);
            cursor.insertText(QString::fromStdString(Windows1252ToUtf8(run)), format);
            begin = end;
        }
    }
    cursor.endEditBlock();
    document()->setUndoRedoEnabled(true);
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
    m_bApplying = false;
    pendingSize = kMinSizeIndex;
    pendingColour = kColourRed;
    pendingBlinkToggles = 0;
    RebuildCells();
    ShowCaretAttributes();
    emit CellsChanged();
}

void CFormattedEdit::OnContentsChange(int position, int charsRemoved, int charsAdded) {
    if (!m_bTyping) {
        m_typedEnd = -1;  // a run of typing ends with any other change
    }
    m_change.kind = m_change.kind == Change::kNone ? Change::kOne : Change::kMany;
    m_change.position = position;
    m_change.removed = std::max(charsRemoved, 0);
    m_change.added = std::max(charsAdded, 0);
    if (m_bApplying || charsAdded <= 0) {
        return;
    }
    m_bCharsAdded = true;
    if (m_bKeyTakesPending) {
        // The character went in with the pending attributes: an odd count is used up.
        m_bKeyTookPending = true;
        if (pendingBlinkToggles % 2 != 0) {
            pendingBlinkToggles = 0;
        }
    }
}

void CFormattedEdit::OnTextChanged() {
    if (m_bApplying) {
        return;
    }
    RebuildChangedCells();
    const bool typed = m_bCharsAdded && !m_bKeyTookPending;
    m_bCharsAdded = false;
    const QTextCursor cursor = textCursor();
    // The pending attributes go to a character just typed at the end of its line; one typed
    // inside a line keeps those of its neighbour, and a deletion gives nothing to anyone. A line
    // break typed there is such a character too: it takes an odd blink count with it, so the new
    // line goes on with the blink the list named.
    if (typed && !m_bPasting && !cursor.hasSelection() && !backspaceFlag && cursor.atBlockEnd()) {
        QTextCursor character = cursor;
        character.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        const bool lineBreak = cursor.atBlockStart();
        m_bApplying = true;
        character.beginEditBlock();
        if (pendingBlinkToggles % 2 != 0) {
            ToggleBlinkOf(character);
            pendingBlinkToggles = 0;
        }
        if (!lineBreak && pendingSize != 0) {
            WriteSizeAndColour(character, pendingSize, ColourOf(SelectionFormat(character)));
        }
        if (!lineBreak && pendingColour != 0) {
            WriteSizeAndColour(character, SizeIndexOf(SelectionFormat(character)),
                               ColourForIndex(pendingColour));
        }
        character.endEditBlock();
        m_bApplying = false;
        RebuildCells();
    }
    ShowCaretAttributes();
    emit CellsChanged();
}

void CFormattedEdit::ShowCaretAttributes() {
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        // A choice goes to the selection: show what it holds.
        const QTextCharFormat format = SelectionFormat(cursor);
        ShowEntry(m_pSizeList, SizeIndexOf(format) - 1);
        ShowEntry(m_pColourList, ColourIndexForColour(ColourOf(format)) - 1);
        ShowEntry(m_pBlinkList, format.fontUnderline() ? kBlinkOnEntry : kBlinkOffEntry);
        return;
    }
    // Otherwise show what the next character typed at the caret gets: the format the control
    // inserts it with, and at the end of a line the pending attributes on top of that.
    const QTextCharFormat next = cursor.charFormat();
    const bool atLineEnd = cursor.atBlockEnd();
    const bool blink = next.fontUnderline() != (atLineEnd && pendingBlinkToggles % 2 != 0);
    ShowEntry(m_pSizeList, (atLineEnd ? pendingSize : SizeIndexOf(next)) - 1);
    ShowEntry(m_pColourList,
              (atLineEnd ? pendingColour : ColourIndexForColour(ColourOf(next))) - 1);
    ShowEntry(m_pBlinkList, blink ? kBlinkOnEntry : kBlinkOffEntry);
}

bool CFormattedEdit::event(QEvent* event) {
    backspaceFlag = false;
    return QTextEdit::event(event);
}

void CFormattedEdit::keyPressEvent(QKeyEvent* event) {
    backspaceFlag = event->key() == Qt::Key_Backspace;
    if (MoveByWrappedLine(event)) {
        return;
    }
    const bool lineBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    // The sign has one kind of line break: Shift+Enter breaks the line as Enter does.
    QKeyEvent plain(event->type(), event->key(), event->modifiers() & ~Qt::ShiftModifier,
                    event->text(), event->isAutoRepeat(), event->count());
    QKeyEvent* key = lineBreak ? &plain : event;

    // A character typed at the end of a line goes in with the pending attributes, in one change
    // of the document; a line break typed there takes an odd blink count with it.
    const QTextCursor caret = textCursor();
    const QString text = event->text();
    const bool shortcut =
        (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    const bool types = lineBreak || (!shortcut && !text.isEmpty() && text.front().isPrint());
    const bool atLineEnd = types && !caret.hasSelection() && caret.atBlockEnd();
    if (atLineEnd) {
        QTextCharFormat next = caret.charFormat();
        if (pendingBlinkToggles % 2 != 0) {
            next.setFontUnderline(!next.fontUnderline());
        }
        if (!lineBreak && pendingSize != 0) {
            next.setFontPointSize(PointsForSizeIndex(pendingSize));
        }
        if (!lineBreak && pendingColour != 0) {
            next.setForeground(QColorOf(ColourForIndex(pendingColour)));
        }
        m_bApplying = true;
        setCurrentCharFormat(next);
        m_bApplying = false;
        m_bKeyTakesPending = true;
    }
    // A character typed with nothing selected goes in here, as one edit of its own: Qt's text
    // control would place the caret by the block's own layout, laying the whole line out for it,
    // as the document would when it moves the caret outside an edit. A run of typing, each
    // character where the last went and in its format, joins the run's edit, so that it stays
    // one step to undo, as Qt keeps it.
    if (types && !lineBreak && !caret.hasSelection() && !isReadOnly() && !overwriteMode()) {
        QTextCursor edit = caret;
        const QTextCharFormat format = currentCharFormat();
        const bool continues = m_typedEnd == caret.position() && m_typedFormat == format;
        continues ? edit.joinPreviousEditBlock() : edit.beginEditBlock();
        m_bTyping = true;
        edit.insertText(text, format);
        edit.endEditBlock();
        m_bTyping = false;
        m_typedEnd = edit.position();
        m_typedFormat = format;
        ShowCaret();
        ShowCaretAgain();
        event->accept();
    } else {
        QTextEdit::keyPressEvent(key);
        event->setAccepted(key->isAccepted());
    }
    m_bKeyTakesPending = false;
    QTextCursor same = textCursor();
    if (atLineEnd && !m_bKeyTookPending && !same.hasSelection() &&
        same.position() == caret.position()) {
        // Nothing went in: the caret's format is the document's again, for whatever comes next.
        same.setPosition(same.position());
        m_bApplying = true;
        setTextCursor(same);
        m_bApplying = false;
    }
    m_bKeyTookPending = false;
}

void CFormattedEdit::keyReleaseEvent(QKeyEvent* event) {
    QTextEdit::keyReleaseEvent(event);
    if (IsNavigationKey(event->key())) {
        ShowCaretAttributes();
    }
}

void CFormattedEdit::mouseReleaseEvent(QMouseEvent* event) {
    QTextEdit::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        ShowCaretAttributes();
    }
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
        const QRectF caret = m_pLayout->CaretRect(position);
        const qreal page = viewport()->height();
        int target = position;
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
                m_verticalX = caret.left();
            }
            const qreal step = entry.way == kUp || entry.way == kDown ? 1 : page;
            const qreal y = entry.way == kUp || entry.way == kPageUp ? caret.top() - step
                                                                     : caret.bottom() + step;
            const qreal bottom = m_pLayout->documentSize().height() - document()->documentMargin();
            if (entry.way == kUp || entry.way == kDown) {
                if (y >= document()->documentMargin() && y < bottom) {
                    target = m_pLayout->hitTest(QPointF(m_verticalX, y), Qt::FuzzyHit);
                }
            } else {
                target = m_pLayout->hitTest(QPointF(m_verticalX, y), Qt::FuzzyHit);
                QScrollBar* bar = verticalScrollBar();
                bar->setValue(bar->value() + static_cast<int>(entry.way == kPageUp ? -page : page));
            }
        }
        cursor.setPosition(std::max(target, 0),
                           select ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
        // Up and Down keep the column they started from; any other move forgets it.
        m_bMovingVertically = entry.way != kLineStart && entry.way != kLineEnd;
        setTextCursor(cursor);
        m_bMovingVertically = false;
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
}

bool CFormattedEdit::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText() || source->hasHtml();
}

// Pasted text keeps its characters' size, colour and underline and nothing else: no images,
// tables, lists or fonts of its own. Each character takes a size and a colour the sign has, so
// the editor shows what is sent; what the text does not say takes the format at the caret.
void CFormattedEdit::insertFromMimeData(const QMimeData* source) {
    m_bPasting = true;
    QTextCursor cursor = textCursor();
    const QTextCharFormat insertion = SignFormat(cursor.charFormat(), BaseFormat());
    cursor.beginEditBlock();
    if (source->hasHtml()) {
        QTextDocument pasted;
        pasted.setHtml(source->html());
        for (QTextBlock block = pasted.begin(); block.isValid(); block = block.next()) {
            if (block != pasted.begin()) {
                cursor.insertBlock(QTextBlockFormat(), insertion);
            }
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (fragment.isValid()) {
                    InsertLines(cursor, fragment.text(),
                                SignFormat(fragment.charFormat(), insertion));
                }
            }
        }
    } else {
        InsertLines(cursor, source->text(), insertion);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    m_bPasting = false;
    ShowCaretAttributes();
}
