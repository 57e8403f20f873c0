#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessagePage.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/RecordingServices.h"

// A Messages page on its own, driven by keyboard and mouse as an operator drives it, with boxes
// and file dialogs recorded.
class MessagePageFixture : public testing::Test {
public:
    void SetUp() override { MakePage(); }

    void MakePage() {
        page = std::make_unique<CMessagePage>(PageContext{app, messages, help, &dialogs});
        page->show();
        page->activateWindow();
        QApplication::processEvents();
    }

    template <typename T>
    T* Find(const char* name) {
        T* widget = page->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // Steps through the list with the keyboard to an entry, as an operator does.
    void Choose(const char* list, int index) {
        auto* combo = Find<QComboBox>(list);
        combo->setFocus();
        while (combo->currentIndex() < index) {
            QTest::keyClick(combo, Qt::Key_Down);
        }
        while (combo->currentIndex() > index) {
            QTest::keyClick(combo, Qt::Key_Up);
        }
    }

    void Type(const QString& text) { QTest::keyClicks(&page->Editor(), text); }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(&page->Editor(), key, modifiers);
    }
    // A click in the editor just after the last character, with the caret elsewhere before.
    void ClickAtEnd() {
        CFormattedEdit& editor = page->Editor();
        editor.moveCursor(QTextCursor::Start);
        QTextCursor end = editor.textCursor();
        end.movePosition(QTextCursor::End);
        const QRect at = editor.cursorRect(end);
        QTest::mouseClick(editor.viewport(), Qt::LeftButton, {}, at.center() + QPoint(4, 0));
    }
    void Click(const char* button) { QTest::mouseClick(Find<QPushButton>(button), Qt::LeftButton); }
    void SetText(const char* box, const QString& text) {
        auto* edit = Find<QLineEdit>(box);
        edit->selectAll();
        QTest::keyClicks(edit, text);
        if (text.isEmpty()) {
            QTest::keyClick(edit, Qt::Key_Delete);
        }
    }

    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& shown : messages.shown) {
            texts.push_back(shown.text);
        }
        return texts;
    }

    QTemporaryDir folder;
    CProfileStore profile{folder.filePath("lumivex.conf")};
    CMarqueeApp app{profile};
    RecordingMessageService messages;
    RecordingHelpService help;
    RecordingFileDialogService dialogs;
    std::unique_ptr<CMessagePage> page;
};
