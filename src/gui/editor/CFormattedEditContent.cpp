// The content side of CFormattedEdit: lineCells kept with the document, the lists' choices, undo
// and redo, and what comes in from the clipboard.
#include <QComboBox>
#include <QMimeData>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <cstdlib>

#include "editor/BodyEncoder.h"
#include "encoding/Windows1252.h"
#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"
#include "gui/editor/DocumentCells.h"

namespace {

bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}

// Up to so many positions a change's cells are read one by one; more, fragment by fragment.
constexpr int kFewPositions = 64;

// Images, tables and the like that pasted rich text may hold stand in the text as this character.
constexpr char16_t kObjectReplacement = 0xFFFC;

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
    const double points =
        from.fontPointSize() > 0 ? from.fontPointSize() : fallback.fontPointSize();
    const QTextCharFormat& coloured =
        from.hasProperty(QTextFormat::ForegroundBrush) ? from : fallback;
    const bool ownUnderline = from.hasProperty(QTextFormat::TextUnderlineStyle) ||
                              from.hasProperty(QTextFormat::FontUnderline);
    return FormatOf({NearestSizeIndexForPoints(points), SignColour(ColourOfFormat(coloured)),
                     ownUnderline ? from.fontUnderline() : fallback.fontUnderline()});
}

// Inserts text in one format; every kind of line break in it starts a new line, as the sign has
// one kind only, and objects such as images leave nothing.
void InsertLines(QTextCursor& cursor, QString text, const QTextCharFormat& format) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.remove(QChar(kObjectReplacement));
    text = SignText(text);
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

}  // namespace

int32_t CFormattedEdit::SizeIndexOf(const QTextCharFormat& format) {
    return SizeIndexOfFormat(format);
}

Rgb CFormattedEdit::ColourOf(const QTextCharFormat& format) {
    return ColourOfFormat(format);
}

void CFormattedEdit::AttachLists(QComboBox* sizeList, QComboBox* colourList, QComboBox* blinkList) {
    m_pSizeList = sizeList;
    m_pColourList = colourList;
    m_pBlinkList = blinkList;
    ShowEntry(m_pSizeList, 0);
    ShowEntry(m_pColourList, 0);
    ShowEntry(m_pBlinkList, 0);
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

void CFormattedEdit::ApplySize(int32_t sizeIndex) {
    if (textCursor().hasSelection()) {
        WriteSelection(&WriteSize, sizeIndex);
        return;
    }
    m_rules.ChooseSize(sizeIndex);
    QTextCharFormat format;
    format.setFontPointSize(PointsForSizeIndex(sizeIndex));
    ApplyToInsertion(format);
}

void CFormattedEdit::ApplyColour(int32_t colourIndex) {
    if (textCursor().hasSelection()) {
        WriteSelection(&WriteColour, colourIndex);
        return;
    }
    m_rules.ChooseColour(colourIndex);
    QTextCharFormat format;
    format.setForeground(
        FormatOf({kMinSizeIndex, ColourForIndex(colourIndex), false}).foreground());
    ApplyToInsertion(format);
}

void CFormattedEdit::ToggleBlink() {
    if (textCursor().hasSelection()) {
        WriteSelection([](CellSpan& cells, int32_t) { ::ToggleBlink(cells); }, 0);
        return;
    }
    m_rules.ToggleBlink();
    QTextCharFormat format;
    format.setFontUnderline(!textCursor().charFormat().fontUnderline());
    ApplyToInsertion(format);
}

void CFormattedEdit::WriteSelection(void (*write)(CellSpan&, int32_t), int32_t value) {
    // Numbers, not the cursor: a copy shares its place with the editor's, which the edit moves.
    const int anchor = textCursor().anchor();
    const int position = textCursor().position();
    const int start = std::min(anchor, position);
    const int count = std::abs(position - anchor);
    CellSpan cells = CellsAt(lineCells, static_cast<size_t>(start), static_cast<size_t>(count));
    write(cells, value);
    m_history.BeginStep(EditKind::kOther);
    Put(start, count, cells);
    m_history.EndStep();
    QTextCursor same(document());
    same.setPosition(anchor);
    same.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(same);
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

void CFormattedEdit::TakePendingAttributes(const QTextCursor& caret) {
    const QTextCharFormat next = caret.charFormat();
    const CellAttributes typed = m_rules.ForTyping(AttributesOfFormat(next), true);
    QTextCharFormat format = next;
    format.setFontPointSize(PointsForSizeIndex(typed.size));
    format.setForeground(FormatOf(typed).foreground());
    format.setFontUnderline(typed.blink);
    m_bApplying = true;
    setCurrentCharFormat(format);
    m_bApplying = false;
    m_bKeyTakesPending = true;
}

void CFormattedEdit::RebuildCells() {
    const int length = document()->characterCount() - 1;
    lineCells = ReadCells(*document(), 0, length);
    m_nTextLength = static_cast<size_t>(std::max(length, 0));
    m_changedLines = {0, lineCells.size()};
}

CellSpan CFormattedEdit::ReadFew(int from, int to) {
    CellSpan cells{CellLine{}};
    for (int p = from; p < to; ++p) {
        const QChar c = document()->characterAt(p);
        if (c == QChar::ParagraphSeparator) {
            cells.emplace_back();
            continue;
        }
        const CellAttributes attributes = AttributesOfFormat(m_pLayout->CharFormatAt(p));
        cells.back().push_back({attributes.size,
                                c.isSurrogate() ? static_cast<unsigned char>('?')
                                                : CodePointToWindows1252(c.unicode()),
                                attributes.colour, attributes.blink});
    }
    return cells;
}

void CFormattedEdit::OnContentsChange(int position, int charsRemoved, int charsAdded) {
    if (m_bReloading) {
        return;
    }
    const int length = document()->characterCount() - 1;
    // A change that reaches the end counts the document's last paragraph separator too.
    const int over = std::max({0, position + charsRemoved - static_cast<int>(m_nTextLength),
                               position + charsAdded - length});
    charsRemoved -= over;
    charsAdded -= over;
    if (position < 0 || charsRemoved < 0 || charsAdded < 0 ||
        static_cast<int>(m_nTextLength) - charsRemoved + charsAdded != length) {
        RebuildCells();
        if (!m_bReplaying) {
            m_history.Clear();  // the steps no longer fit the text
        }
        return;
    }
    TextChange change{static_cast<size_t>(position),
                      {},
                      charsAdded <= kFewPositions
                          ? ReadFew(position, position + charsAdded)
                          : ReadCells(*document(), position, position + charsAdded)};
    change.removed = ReplaceCells(lineCells, change.position, static_cast<size_t>(charsRemoved),
                                  change.inserted);
    m_nTextLength = static_cast<size_t>(length);
    const auto first =
        static_cast<size_t>(std::max(document()->findBlock(position).blockNumber(), 0));
    m_changedLines = {first, first + change.inserted.size()};
    if (m_bKeyTakesPending && charsAdded > 0) {
        m_rules.Typed(true);  // the character went in with the pending attributes
        m_bKeyTakesPending = false;
    }
    if (!m_bReplaying && change.removed != change.inserted) {
        m_history.Record(std::move(change));
    }
}

void CFormattedEdit::OnTextChanged() {
    if (m_bApplying || m_bReloading) {
        return;
    }
    ShowCaretAttributes();
    emit CellsChanged();
}

void CFormattedEdit::ShowCaretAttributes() {
    const QTextCursor cursor = textCursor();
    // With a selection, a choice goes to it: show what it holds. Otherwise show what the next
    // character typed at the caret gets.
    const ListEntries shown =
        cursor.hasSelection()
            ? CTypingRules::ShownForSelection(AttributesOfFormat(SelectionFormat(cursor)))
            : m_rules.Shown(AttributesOfFormat(cursor.charFormat()), cursor.atBlockEnd());
    ShowEntry(m_pSizeList, shown.size);
    ShowEntry(m_pColourList, shown.colour);
    ShowEntry(m_pBlinkList, shown.blink);
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
    m_bReloading = true;
    clear();
    setCurrentCharFormat(BaseFormat());
    QTextCursor cursor(document());
    // One edit: the document is laid out once, not again after every run.
    cursor.beginEditBlock();
    WriteCells(cursor, lines.empty() ? CellSpan{CellLine{}} : lines);
    cursor.endEditBlock();
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
    m_bReloading = false;
    m_rules.Reset();
    m_history.Clear();
    RebuildCells();
    ShowCaretAttributes();
    emit CellsChanged();
}

void CFormattedEdit::Put(int position, int count, const CellSpan& cells) {
    QTextCursor cursor(document());
    cursor.setPosition(position);
    cursor.setPosition(position + count, QTextCursor::KeepAnchor);
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    WriteCells(cursor, cells);
    cursor.endEditBlock();
}

void CFormattedEdit::Undo() {
    if (const EditStep* step = isReadOnly() ? nullptr : m_history.Undo()) {
        Replay(*step, false);
    }
}

void CFormattedEdit::Redo() {
    if (const EditStep* step = isReadOnly() ? nullptr : m_history.Redo()) {
        Replay(*step, true);
    }
}

void CFormattedEdit::Replay(const EditStep& step, bool forwards) {
    m_bReplaying = true;
    if (forwards) {
        for (const TextChange& change : step.changes) {
            Put(static_cast<int>(change.position), static_cast<int>(SpanLength(change.removed)),
                change.inserted);
        }
    } else {
        for (auto change = step.changes.rbegin(); change != step.changes.rend(); ++change) {
            Put(static_cast<int>(change->position), static_cast<int>(SpanLength(change->inserted)),
                change->removed);
        }
    }
    m_bReplaying = false;
    const CaretRange caret = forwards ? CaretAfterRedo(step) : CaretAfterUndo(step);
    QTextCursor place(document());
    place.setPosition(static_cast<int>(caret.anchor));
    place.setPosition(static_cast<int>(caret.position), QTextCursor::KeepAnchor);
    setTextCursor(place);
    ShowCaretAttributes();
}

bool CFormattedEdit::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText() || source->hasHtml();
}

// Pasted text keeps its characters' size, colour and underline and nothing else: no images,
// tables, lists or fonts of its own. Each character takes a size and a colour the sign has, so
// the editor shows what is sent; what the text does not say takes the format at the caret.
void CFormattedEdit::insertFromMimeData(const QMimeData* source) {
    QTextCursor cursor = textCursor();
    const QTextCharFormat insertion = SignFormat(cursor.charFormat(), BaseFormat());
    m_history.BeginStep(EditKind::kOther);
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
    m_history.EndStep();
    setTextCursor(cursor);
    ShowCaretAttributes();
}
