#include "gui/editor/CFormattedEdit.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include "editor/BodyEncoder.h"
#include "encoding/Windows1252.h"

namespace {

constexpr int32_t kBlinkOffEntry = 0;
constexpr int32_t kBlinkOnEntry = 1;

// Images, tables and the like that pasted rich text may hold stand in the text as this character.
constexpr char16_t kObjectReplacement = 0xFFFC;

QColor QColorOf(Rgb colour) {
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

// The format every new character starts from: the smallest size, red, not blinking.
QTextCharFormat BaseFormat() {
    QTextCharFormat format;
    format.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
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
    connect(document(), &QTextDocument::contentsChange, this, &CFormattedEdit::OnContentsChange);
    connect(this, &QTextEdit::textChanged, this, &CFormattedEdit::OnTextChanged);
}

CFormattedEdit::~CFormattedEdit() = default;

void CFormattedEdit::Initialise() {
    const QTextCharFormat base = BaseFormat();
    m_bApplying = true;
    document()->setDefaultFont(base.font());
    clear();
    setCurrentCharFormat(base);
    m_bApplying = false;
    EncodeBody();
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
        return;
    }
    // The colour reported for the selection goes to all of it with the new size.
    WriteSizeAndColour(cursor, sizeIndex, ColourOf(SelectionFormat(cursor)));
}

void CFormattedEdit::ApplyColour(int32_t colourIndex) {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        pendingColour = colourIndex;
        return;
    }
    WriteSizeAndColour(cursor, SizeIndexOf(SelectionFormat(cursor)), ColourForIndex(colourIndex));
}

void CFormattedEdit::ToggleBlink() {
    QTextCursor cursor = textCursor();
    if (!cursor.hasSelection()) {
        ++pendingBlinkToggles;
        return;
    }
    ToggleBlinkOf(cursor);
}

std::string CFormattedEdit::EncodeBody() {
    lineCells.clear();
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        CellLine line;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) {
                continue;
            }
            const QTextCharFormat format = fragment.charFormat();
            CharCell cell;
            cell.size = SizeIndexOf(format);
            cell.colour = ColourOf(format);
            cell.blink = format.fontUnderline();
            for (const char32_t codePoint : fragment.text().toUcs4()) {
                if (codePoint == kObjectReplacement) {
                    continue;
                }
                if (codePoint == QChar::LineSeparator) {
                    lineCells.push_back(std::move(line));
                    line = {};
                    continue;
                }
                cell.character = CodePointToWindows1252(codePoint);
                line.push_back(cell);
            }
        }
        lineCells.push_back(std::move(line));
    }
    return EncodeCellLines(lineCells);
}

void CFormattedEdit::SetLineCells(const std::vector<CellLine>& lines) {
    const QTextCharFormat base = BaseFormat();
    m_bApplying = true;
    document()->setUndoRedoEnabled(false);
    clear();
    setCurrentCharFormat(base);
    QTextCursor cursor(document());
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
    document()->setUndoRedoEnabled(true);
    cursor.movePosition(QTextCursor::Start);
    setTextCursor(cursor);
    m_bApplying = false;
    pendingSize = kMinSizeIndex;
    pendingColour = kColourRed;
    pendingBlinkToggles = 0;
    EncodeBody();
    ShowCaretAttributes();
    emit CellsChanged();
}

void CFormattedEdit::OnContentsChange(int, int, int charsAdded) {
    if (!m_bApplying && charsAdded > 0) {
        m_bCharsAdded = true;
    }
}

void CFormattedEdit::OnTextChanged() {
    if (m_bApplying) {
        return;
    }
    EncodeBody();
    const bool typed = m_bCharsAdded;
    m_bCharsAdded = false;
    const QTextCursor cursor = textCursor();
    // The pending attributes go to a character just typed at the end of its line; one typed
    // inside a line keeps those of its neighbour, and a deletion gives nothing to anyone.
    if (typed && !m_bPasting && !cursor.hasSelection() && !backspaceFlag && cursor.atBlockEnd() &&
        !cursor.atBlockStart()) {
        QTextCursor character = cursor;
        character.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor);
        m_bApplying = true;
        character.beginEditBlock();
        if (pendingBlinkToggles % 2 != 0) {
            ToggleBlinkOf(character);
            pendingBlinkToggles = 0;
        }
        if (pendingSize != 0) {
            WriteSizeAndColour(character, pendingSize, ColourOf(SelectionFormat(character)));
        }
        if (pendingColour != 0) {
            WriteSizeAndColour(character, SizeIndexOf(SelectionFormat(character)),
                               ColourForIndex(pendingColour));
        }
        character.endEditBlock();
        m_bApplying = false;
        EncodeBody();
    }
    emit CellsChanged();
}

void CFormattedEdit::ShowCaretAttributes() {
    const QTextCursor cursor = textCursor();
    QTextCursor start(document());
    start.setPosition(cursor.selectionStart());
    if (!start.atBlockEnd()) {
        const QTextCharFormat format = SelectionFormat(cursor);
        ShowEntry(m_pSizeList, SizeIndexOf(format) - 1);
        ShowEntry(m_pColourList, ColourIndexForColour(ColourOf(format)) - 1);
        ShowEntry(m_pBlinkList, format.fontUnderline() ? kBlinkOnEntry : kBlinkOffEntry);
        return;
    }
    ShowEntry(m_pSizeList, pendingSize - 1);
    ShowEntry(m_pColourList, pendingColour - 1);
    ShowEntry(m_pBlinkList, pendingBlinkToggles);
}

bool CFormattedEdit::event(QEvent* event) {
    backspaceFlag = false;
    return QTextEdit::event(event);
}

void CFormattedEdit::keyPressEvent(QKeyEvent* event) {
    backspaceFlag = event->key() == Qt::Key_Backspace;
    QTextEdit::keyPressEvent(event);
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

bool CFormattedEdit::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText() || source->hasHtml();
}

// Pasted text keeps its characters' size, colour and underline and nothing else: no images,
// tables, lists or fonts of its own.
void CFormattedEdit::insertFromMimeData(const QMimeData* source) {
    m_bPasting = true;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    if (source->hasHtml()) {
        QTextDocument pasted;
        pasted.setHtml(source->html());
        const QTextCharFormat base = BaseFormat();
        bool firstBlock = true;
        for (QTextBlock block = pasted.begin(); block.isValid(); block = block.next()) {
            if (!firstBlock) {
                cursor.insertBlock(QTextBlockFormat(), cursor.charFormat());
            }
            firstBlock = false;
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (!fragment.isValid()) {
                    continue;
                }
                const QTextCharFormat from = fragment.charFormat();
                QTextCharFormat format = base;
                if (from.fontPointSize() > 0) {
                    format.setFontPointSize(from.fontPointSize());
                }
                if (from.hasProperty(QTextFormat::ForegroundBrush)) {
                    format.setForeground(from.foreground().color());
                }
                format.setFontUnderline(from.fontUnderline());
                QString text = fragment.text();
                text.remove(QChar(kObjectReplacement));
                cursor.insertText(text, format);
            }
        }
    } else {
        QString text = source->text();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        cursor.insertText(text);
    }
    cursor.endEditBlock();
    setTextCursor(cursor);
    m_bPasting = false;
}
