#include "gui/editor/CEditAccessible.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"
#include "gui/editor/DocumentCells.h"

CEditAccessible::CEditAccessible(CFormattedEdit* editor)
    : QAccessibleWidget(editor, QAccessible::EditableText) {}

QAccessibleInterface* CEditAccessible::Factory(const QString& className, QObject* object) {
    if (className == QLatin1String("CFormattedEdit") && object != nullptr &&
        object->isWidgetType()) {
        return new CEditAccessible(static_cast<CFormattedEdit*>(object));
    }
    return nullptr;
}

CFormattedEdit* CEditAccessible::Editor() const {
    return static_cast<CFormattedEdit*>(widget());
}

void* CEditAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    if (type == QAccessible::EditableTextInterface && !Editor()->isReadOnly()) {
        return static_cast<QAccessibleEditableTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QString CEditAccessible::text(QAccessible::Text type) const {
    if (type == QAccessible::Value) {
        return Editor()->toPlainText();
    }
    return QAccessibleWidget::text(type);
}

QAccessible::State CEditAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !Editor()->isReadOnly();
    state.readOnly = Editor()->isReadOnly();
    state.multiLine = true;
    state.selectableText = true;
    return state;
}

void CEditAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    const QTextCursor cursor = Editor()->textCursor();
    const bool any = selectionIndex == 0 && cursor.hasSelection();
    *startOffset = any ? cursor.selectionStart() : 0;
    *endOffset = any ? cursor.selectionEnd() : 0;
}

int CEditAccessible::selectionCount() const {
    return Editor()->textCursor().hasSelection() ? 1 : 0;
}

void CEditAccessible::addSelection(int startOffset, int endOffset) {
    setSelection(0, startOffset, endOffset);
}

void CEditAccessible::removeSelection(int selectionIndex) {
    if (selectionIndex == 0) {
        QTextCursor cursor = Editor()->textCursor();
        cursor.clearSelection();
        Editor()->setTextCursor(cursor);
    }
}

void CEditAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
    if (selectionIndex != 0) {
        return;
    }
    const int count = characterCount();
    QTextCursor cursor = Editor()->textCursor();
    cursor.setPosition(std::clamp(startOffset, 0, count));
    cursor.setPosition(std::clamp(endOffset, 0, count), QTextCursor::KeepAnchor);
    Editor()->setTextCursor(cursor);
}

int CEditAccessible::cursorPosition() const {
    return Editor()->textCursor().position();
}

void CEditAccessible::setCursorPosition(int position) {
    QTextCursor cursor = Editor()->textCursor();
    cursor.setPosition(std::clamp(position, 0, characterCount()));
    Editor()->setTextCursor(cursor);
}

int CEditAccessible::characterCount() const {
    return Editor()->document()->characterCount() - 1;
}

QString CEditAccessible::text(int startOffset, int endOffset) const {
    const int count = characterCount();
    const int from = std::clamp(startOffset, 0, count);
    const int to = std::clamp(endOffset, from, count);
    QTextCursor cursor(Editor()->document());
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    return cursor.selectedText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

std::pair<int, int> CEditAccessible::Unit(int offset,
                                          QAccessible::TextBoundaryType boundaryType) const {
    const int count = characterCount();
    offset = std::clamp(offset, 0, count);
    const QTextBlock block = Editor()->document()->findBlock(offset);
    const int blockEnd = block.position() + block.length() - 1;
    // A unit that ends where its block does takes the line break with it, so that the next
    // unit starts on the next line.
    const auto withBreak = [&](int end) { return end == blockEnd && end < count ? end + 1 : end; };
    switch (boundaryType) {
        case QAccessible::CharBoundary:
            return {offset, std::min(offset + 1, count)};
        case QAccessible::LineBoundary: {
            const auto [start, end] = Editor()->Layout().LineBounds(offset);
            return {start, withBreak(end)};
        }
        case QAccessible::ParagraphBoundary:
            return {block.position(), withBreak(blockEnd)};
        case QAccessible::WordBoundary:
        case QAccessible::SentenceBoundary: {
            QTextBoundaryFinder finder(boundaryType == QAccessible::WordBoundary
                                           ? QTextBoundaryFinder::Word
                                           : QTextBoundaryFinder::Sentence,
                                       block.text());
            finder.setPosition(offset - block.position());
            const qsizetype start =
                finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
            finder.setPosition(offset - block.position());
            qsizetype end = finder.toNextBoundary();
            end = end < 0 ? block.length() - 1 : end;
            return {block.position() + static_cast<int>(std::max<qsizetype>(start, 0)),
                    withBreak(block.position() + static_cast<int>(end))};
        }
        case QAccessible::NoBoundary:
            break;
    }
    return {0, count};
}

QString CEditAccessible::TextOf(std::pair<int, int> unit, int* startOffset, int* endOffset) const {
    *startOffset = unit.first;
    *endOffset = unit.second;
    return text(unit.first, unit.second);
}

QString CEditAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                      int* startOffset, int* endOffset) const {
    return TextOf(Unit(offset, boundaryType), startOffset, endOffset);
}

QString CEditAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                          int* startOffset, int* endOffset) const {
    const int start = Unit(offset, boundaryType).first;
    if (start <= 0) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return TextOf(Unit(start - 1, boundaryType), startOffset, endOffset);
}

QString CEditAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                         int* startOffset, int* endOffset) const {
    const int end = Unit(offset, boundaryType).second;
    if (end >= characterCount()) {
        *startOffset = *endOffset = -1;
        return {};
    }
    return TextOf(Unit(end, boundaryType), startOffset, endOffset);
}

QPoint CEditAccessible::Scrolled() const {
    return {Editor()->horizontalScrollBar()->value(), Editor()->verticalScrollBar()->value()};
}

QRect CEditAccessible::characterRect(int offset) const {
    const QRectF box = Editor()->Layout().CharacterRect(offset);
    if (box.isNull()) {
        return {};
    }
    const QRect local = box.translated(-Scrolled()).toAlignedRect();
    return {Editor()->viewport()->mapToGlobal(local.topLeft()), local.size()};
}

int CEditAccessible::offsetAtPoint(const QPoint& point) const {
    const QPoint local = Editor()->viewport()->mapFromGlobal(point) + Scrolled();
    return Editor()->Layout().hitTest(local, Qt::ExactHit);
}

void CEditAccessible::scrollToSubstring(int startIndex, int endIndex) {
    setCursorPosition(endIndex);
    setCursorPosition(startIndex);
    Editor()->ensureCursorVisible();
}

QString CEditAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
    const QTextBlock block = Editor()->document()->findBlock(offset);
    *startOffset = *endOffset = offset;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (offset < fragment.position() || offset >= fragment.position() + fragment.length()) {
            continue;
        }
        *startOffset = fragment.position();
        *endOffset = fragment.position() + fragment.length();
        const CellAttributes cell = AttributesOfFormat(fragment.charFormat());
        return QStringLiteral("font-size:%1pt;color:rgb(%2,%3,%4);text-underline-style:%5;")
            .arg(PointsForSizeIndex(cell.size))
            .arg(RedOf(cell.colour))
            .arg(GreenOf(cell.colour))
            .arg(BlueOf(cell.colour))
            .arg(cell.blink ? QStringLiteral("solid") : QStringLiteral("none"));
    }
    return {};
}

void CEditAccessible::deleteText(int startOffset, int endOffset) {
    replaceText(startOffset, endOffset, {});
}

void CEditAccessible::insertText(int offset, const QString& text) {
    replaceText(offset, offset, text);
}

void CEditAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
    const int count = characterCount();
    QTextCursor cursor(Editor()->document());
    cursor.setPosition(std::clamp(startOffset, 0, count));
    cursor.setPosition(std::clamp(endOffset, 0, count), QTextCursor::KeepAnchor);
    cursor.insertText(SignText(text));
}
