#pragma once

#include <QAccessibleWidget>
#include <utility>

class CFormattedEdit;

// What screen readers, magnifiers and braille displays read of the message editor: its text and
// caret, and where each character and each wrapped line is, taken from the editor's own layout
// (Qt's interface for a text edit reads the blocks' own layouts, which stay empty here).
class CEditAccessible : public QAccessibleWidget,
                        public QAccessibleTextInterface,
                        public QAccessibleEditableTextInterface {
public:
    explicit CEditAccessible(CFormattedEdit* editor);

    // Installed once with QAccessible::installFactory: the editor's interface is this one.
    static QAccessibleInterface* Factory(const QString& className, QObject* object);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text type) const override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int* startOffset, int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int* startOffset, int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString& text) override;
    void replaceText(int startOffset, int endOffset, const QString& text) override;

private:
    CFormattedEdit* Editor() const;
    // The unit of text that holds the offset, [start, end); a line ends after its line break.
    std::pair<int, int> Unit(int offset, QAccessible::TextBoundaryType boundaryType) const;
    QString TextOf(std::pair<int, int> unit, int* startOffset, int* endOffset) const;
    // From the editor's document to the screen and back.
    QPoint Scrolled() const;
};
