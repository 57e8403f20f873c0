#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessageFiles.h"
#include "gui/pages/CMessagePage.h"
#include "gui/window/CMarqueeDlg.h"
#include "gui/window/CPageTabCtrl.h"
#include "gui/window/MarqueeStartup.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/PageTestWindow.h"
#include "support/RecordingServices.h"

namespace {

class MessageFileWindowTest : public MainWindowFixture {
protected:
    QString WriteMessage(const char* name, const QByteArray& json) {
        const QString path = folder.filePath(QString::fromUtf8(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(json);
        return path;
    }
    CFormattedEdit& Editor() { return dialog->MessagePage().Editor(); }

    // Drags files over a widget and drops them there, as the desktop does.
    void Drop(QWidget* target, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        if (enter.isAccepted()) {
            QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(target, &drop);
            QApplication::processEvents();
        }
    }
};

// The title names the file open and marks a message changed since; without a file it is the
// program's name alone.
TEST_F(MessageFileWindowTest, TheTitleFollowsTheFile) {
    const QString path = WriteMessage("sign one.json", R"({"lines":["A"]})");
    const QString bad = WriteMessage("bad.json", "{");
    EXPECT_EQ(dialog->windowTitle(), "Lumivex");
    QTest::keyClicks(&Editor(), "typed");
    EXPECT_EQ(dialog->windowTitle(), "Lumivex") << "changed, but in no file";
    const struct {
        const char* step;
        std::function<void()> act;
        const char* title;
    } steps[] = {
        {"opened", [&] { dialog->OpenMessageFile(path); }, "Lumivex - sign one.json"},
        {"typed", [&] { QTest::keyClicks(&Editor(), "B"); }, "Lumivex - sign one.json*"},
        {"a file that fails", [&] { dialog->OpenMessageFile(bad); }, "Lumivex - sign one.json*"},
        {"saved", [&] { QTest::keyClick(&Editor(), Qt::Key_S, Qt::ControlModifier); },
         "Lumivex - sign one.json"},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(dialog->windowTitle(), step.title) << step.step;
    }
}

// Closing the window (close box, Escape, "Exit") with a message changed since it was opened, saved
// or started asks first; Cancel and a save that does not happen keep the window open.
TEST_F(MessageFileWindowTest, ClosingAsksAboutAChangedMessage) {
    const QString path = WriteMessage("hall.json", R"({"lines":["A"]})");
    const QString saved = folder.filePath("saved.json");
    const struct {
        const char* name;
        bool open;
        bool edit;
        std::vector<MessageAnswer> answers;
        QStringList savePaths;
        const char* question;
        bool closes;
    } cases[] = {
        {"unchanged since opened", true, false, {}, {}, nullptr, true},
        {"unchanged since started", false, false, {}, {}, nullptr, true},
        {"cancel",
         true,
         true,
         {MessageAnswer::kCancel},
         {},
         "Save the changes to hall.json before closing?",
         false},
        {"discard",
         true,
         true,
         {MessageAnswer::kDiscard},
         {},
         "Save the changes to hall.json before closing?",
         true},
        {"save into its file",
         true,
         true,
         {MessageAnswer::kSave},
         {},
         "Save the changes to hall.json before closing?",
         true},
        {"a new message saved",
         false,
         true,
         {MessageAnswer::kSave},
         {saved},
         "Save this message before closing?",
         true},
        {"a save cancelled in its dialog",
         false,
         true,
         {MessageAnswer::kSave},
         {},
         "Save this message before closing?",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.Message() = {};
        window.Open();
        if (c.open) {
            ASSERT_TRUE(dialog->OpenMessageFile(path));
        }
        if (c.edit) {
            QTest::keyClicks(&Editor(), "B");
        }
        messages.shown.clear();
        messages.answers.assign(c.answers.begin(), c.answers.end());
        dialogs.answers.assign(c.savePaths.begin(), c.savePaths.end());
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_EQ(dialog->isVisible(), !c.closes);
        if (c.question == nullptr) {
            EXPECT_TRUE(messages.shown.empty());
        } else {
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_EQ(messages.shown[0].text, c.question);
            EXPECT_EQ(messages.shown[0].buttons, MessageButtons::kSaveDiscardCancel);
        }
    }
    EXPECT_TRUE(QFile::exists(saved));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("BA")) << "saved into the file it came from";
}

// The file keys work anywhere in the window while the Messages page is shown, and only then.
TEST_F(MessageFileWindowTest, TheFileKeysBelongToTheMessagesPage) {
    CPageTabCtrl& tabs = dialog->PageTabs();
    for (const int page : {CPageTabCtrl::kPcSetupPage, CPageTabCtrl::kMessagesPage}) {
        tabs.ShowPage(page);
        tabs.tabBar()->setFocus();
        QTest::keyClick(tabs.tabBar(), Qt::Key_O, Qt::ControlModifier);
        EXPECT_EQ(dialogs.asked.size(), page == CPageTabCtrl::kMessagesPage ? 1u : 0u) << page;
    }
}

// A message file dropped anywhere on the window opens on the Messages page; other files are left
// to the widget under them.
TEST_F(MessageFileWindowTest, ADroppedMessageFileOpens) {
    const QString path = WriteMessage("drop.JSON", R"({"effect":"blink","lines":["DROP"]})");
    const QUrl message = QUrl::fromLocalFile(path);
    const QUrl other = QUrl::fromLocalFile(WriteMessage("note.txt", "TEXT"));
    const struct {
        const char* where;
        std::function<QWidget*()> target;
        QList<QUrl> urls;
        bool opens;
    } cases[] = {
        {"the text box", [this] { return Editor().viewport(); }, {message}, true},
        {"the Line box",
         [this] { return dialog->MessagePage().findChild<QLineEdit*>("lineEdit"); },
         {other, message},
         true},
        {"another page's tab", [this] { return dialog->PageTabs().tabBar(); }, {message}, true},
        {"a file of another kind", [this] { return Editor().viewport(); }, {other}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        app.Message() = {};
        window.Open();
        CPageTabCtrl& tabs = dialog->PageTabs();
        tabs.ShowPage(CPageTabCtrl::kNetworkSetupPage);
        Drop(c.target(), c.urls);
        EXPECT_EQ(Editor().toPlainText() == "DROP", c.opens);
        EXPECT_EQ(app.Message().effect == kEffectBlinkWholeMessage, c.opens);
        EXPECT_EQ(tabs.ShownPage(),
                  c.opens ? CPageTabCtrl::kMessagesPage : CPageTabCtrl::kNetworkSetupPage);
    }
    EXPECT_TRUE(messages.shown.empty());
}

// "lumivex FILE": the window shows with the file open; a file that cannot be opened is reported
// and the program runs on with the message of the last run.
TEST(StartUpFileTest, AFileNamedAtStartOpens) {
    QTemporaryDir folder;
    const QString path = folder.filePath("start.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"lines":["START"]})");
    file.close();
    const struct {
        QString file;
        const char* title;
        const char* text;
        std::vector<std::string> boxes;
    } cases[] = {
        {path, "Lumivex - start.json", "START", {}},
        {folder.filePath("gone.json"),
         "Lumivex",
         "",
         {"cannot read " + folder.filePath("gone.json").toStdString() +
          ": No such file or directory"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        CProfileStore profile(folder.filePath("lumivex.conf"));
        RecordingMessageService messages;
        RecordingHelpService help;
        bool ran = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<CMarqueeDlg*>(widget);
                    window && window->isVisible()) {
                    ran = true;
                    EXPECT_EQ(window->windowTitle(), c.title);
                    EXPECT_EQ(window->MessagePage().Editor().toPlainText(), c.text);
                    window->close();
                }
            }
            if (!ran) {
                QApplication::quit();
            }
        });
        EXPECT_EQ(RunMarquee(profile, messages, help, c.file), EXIT_SUCCESS);
        EXPECT_TRUE(ran);
        std::vector<std::string> boxes;
        for (const auto& shown : messages.shown) {
            boxes.push_back(shown.text);
        }
        EXPECT_EQ(boxes, c.boxes);
    }
}

}  // namespace
