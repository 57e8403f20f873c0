#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include "gui/window/CAboutDlg.h"
#include "gui/window/CMarqueeDlg.h"
#include "gui/window/CPageTabCtrl.h"
#include "gui/window/MarqueeStartup.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/ModalCloser.h"
#include "support/PageTestWindow.h"
#include "support/RecordingServices.h"

namespace {

class MainWindowTest : public MainWindowFixture {
protected:
    void SetUp() override { ASSERT_TRUE(dialog->isActiveWindow()); }

    CPageTabCtrl& Tabs() { return dialog->PageTabs(); }

    // The page of the index is the only one visible, its tab is selected and it has the focus.
    void ExpectShown(int index) {
        EXPECT_EQ(Tabs().ShownPage(), index);
        EXPECT_EQ(Tabs().tabBar()->currentIndex(), index);
        for (int i = 0; i < CPageTabCtrl::kPageCount; ++i) {
            EXPECT_EQ(Tabs().Page(i)->isVisible(), i == index) << "page " << i;
        }
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        EXPECT_TRUE(focus == Tabs().Page(index) || Tabs().Page(index)->isAncestorOf(focus))
            << "focus on " << focus->objectName().toStdString();
    }
};

TEST_F(MainWindowTest, StartsOnTheMessagesPage) {
    EXPECT_EQ(dialog->windowTitle(), "Lumivex");
    // The icon comes once the window has been drawn, to every window of the program.
    QTRY_VERIFY(!dialog->windowIcon().isNull());
    const QStringList captions = {"Messages", "PC Communication Setup",
                                  "Marquee Communication Setup"};
    ASSERT_EQ(Tabs().count(), captions.size());
    for (int i = 0; i < Tabs().count(); ++i) {
        EXPECT_EQ(Tabs().tabText(i), captions[i]);
    }
    ExpectShown(CPageTabCtrl::kMessagesPage);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, MouseAndKeyboardSwitchPagesTogetherWithTheirTabs) {
    QTabBar* bar = Tabs().tabBar();
    const auto click = [bar](int tab) {
        return
            [bar, tab] { QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center()); };
    };
    // Keys go where the operator's keys go: to the focused control, or to the tab bar itself.
    const auto keyToFocus = [](Qt::Key key, Qt::KeyboardModifiers modifiers) {
        return [key, modifiers] { QTest::keyClick(QApplication::focusWidget(), key, modifiers); };
    };
    const auto keyToBar = [bar](Qt::Key key) { return [bar, key] { QTest::keyClick(bar, key); }; };
    const auto show = [this](int index) { return [this, index] { Tabs().ShowPage(index); }; };

    struct Step {
        const char* what;
        std::function<void()> act;
        int shown;
    };
    const Step steps[] = {
        {"click on the tab already shown", click(0), 0},
        {"click on the second tab", click(1), 1},
        {"click on the third tab", click(2), 2},
        {"Left arrow on the tab bar", keyToBar(Qt::Key_Left), 1},
        {"Right arrow on the tab bar", keyToBar(Qt::Key_Right), 2},
        {"Ctrl+Tab wraps to the first page", keyToFocus(Qt::Key_Tab, Qt::ControlModifier), 0},
        {"Ctrl+Shift+Tab wraps to the last page",
         keyToFocus(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier), 2},
        {"Ctrl+PgUp", keyToFocus(Qt::Key_PageUp, Qt::ControlModifier), 1},
        {"Ctrl+PgDown", keyToFocus(Qt::Key_PageDown, Qt::ControlModifier), 2},
        {"Ctrl+PgUp again", keyToFocus(Qt::Key_PageUp, Qt::ControlModifier), 1},
        {"ShowPage below the range", show(-1), 1},
        {"ShowPage above the range", show(3), 1},
        {"ShowPage of the first page", show(0), 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        ExpectShown(step.shown);
    }
}

// F1 and the page's Help button both ask for the topic of the page shown.
TEST_F(MainWindowTest, F1AndTheHelpButtonOpenTheHelpOfTheShownPage) {
    const uint32_t topics[] = {0x30000, 0x30005, 0x30010};
    for (int index = 0; index < CPageTabCtrl::kPageCount; ++index) {
        SCOPED_TRACE(index);
        Tabs().ShowPage(index);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        auto* button = Tabs().Page(index)->findChild<QPushButton*>("helpButton");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), "Help");
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(help.requests, std::vector<uint32_t>(2, topics[index]));
        help.requests.clear();
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MainWindowTest, AboutShowsTheAboutBox) {
    auto* about = dialog->findChild<QPushButton*>("aboutButton");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text(), "About");
    ModalCloser closer([](QWidget* modal) {
        ASSERT_NE(qobject_cast<CAboutDlg*>(modal), nullptr);
        EXPECT_EQ(modal->windowTitle(), "About Lumivex");
        auto* version = modal->findChild<QLabel*>("versionLabel");
        ASSERT_NE(version, nullptr);
        EXPECT_EQ(version->text(), "Lumivex Version 1.2");
        auto* icon = modal->findChild<QLabel*>("iconLabel");
        ASSERT_NE(icon, nullptr);
        EXPECT_FALSE(icon->pixmap().isNull());
        auto* ok = modal->findChild<QPushButton*>("okButton");
        ASSERT_NE(ok, nullptr);
        EXPECT_EQ(ok->text(), "OK");
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_FALSE(modal->isVisible());
    });
    QTest::mouseClick(about, Qt::LeftButton);
    EXPECT_TRUE(closer.Fired());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// Screen readers and scripted checks find controls by these names: a list by its description,
// because on Linux a list reports its current entry as its name.
TEST_F(MainWindowTest, EveryControlIsNamedByItsCaptionOrLabel) {
    const QList<QWidget*> widgets = dialog->findChildren<QWidget*>();
    int controls = 0;
    for (QWidget* widget : widgets) {
        const bool isList = qobject_cast<QComboBox*>(widget) != nullptr;
        const bool isControl = isList || qobject_cast<QAbstractButton*>(widget) != nullptr ||
                               qobject_cast<QLineEdit*>(widget) != nullptr ||
                               qobject_cast<QTextEdit*>(widget) != nullptr ||
                               qobject_cast<QPlainTextEdit*>(widget) != nullptr;
        if (!isControl) {
            continue;
        }
        ++controls;
        SCOPED_TRACE(widget->objectName().toStdString());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        ASSERT_NE(accessible, nullptr);
        if (isList) {
            EXPECT_FALSE(widget->accessibleName().isEmpty());
            EXPECT_EQ(accessible->text(QAccessible::Description), widget->accessibleName());
        } else {
            EXPECT_FALSE(accessible->text(QAccessible::Name).trimmed().isEmpty());
        }
    }
    EXPECT_GT(controls, 30);

    for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (label->buddy() != nullptr) {
            SCOPED_TRACE(label->objectName().toStdString());
            EXPECT_EQ(label->buddy()->accessibleName(), label->text());
        }
    }
}

// Acts on the program's main window once the program's event loop runs. The action ends the
// program; without a window the loop is ended, so that the test fails rather than hangs.
void WhenTheWindowRuns(std::function<void(CMarqueeDlg* window)> act) {
    QTimer::singleShot(0, [act = std::move(act)] {
        CMarqueeDlg* window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<CMarqueeDlg*>(widget); dialog && dialog->isVisible()) {
                window = dialog;
            }
        }
        act(window);
        if (window == nullptr || window->isVisible()) {
            ADD_FAILURE() << "the program did not end";
            QApplication::quit();
        }
    });
}

// The program's own start-up: the window runs modeless until it is closed, which ends the program
// and every other window of it; only then does the start-up routine return.
TEST(StartUpTest, ClosingTheMainWindowEndsTheProgram) {
    struct Ending {
        const char* how;
        void (*close)(QWidget* window);
    };
    const Ending endings[] = {
        {"close box", [](QWidget* window) { window->close(); }},
        {"Escape", [](QWidget* window) { QTest::keyClick(window->focusWidget(), Qt::Key_Escape); }},
    };
    for (const Ending& ending : endings) {
        SCOPED_TRACE(ending.how);
        QTemporaryDir folder;
        CProfileStore profile(folder.filePath("lumivex.conf"));
        RecordingMessageService messages;
        RecordingHelpService help;
        QWidget otherWindow;  // such as the help or the preview
        bool ran = false;
        WhenTheWindowRuns([&](CMarqueeDlg* window) {
            ASSERT_NE(window, nullptr);
            ran = true;
            EXPECT_FALSE(window->isModal());
            EXPECT_EQ(window->PageTabs().ShownPage(), CPageTabCtrl::kMessagesPage);
            otherWindow.show();
            // Enter on a page without a default button leaves the program running.
            window->PageTabs().ShowPage(CPageTabCtrl::kPcSetupPage);
            QTest::keyClick(window->focusWidget(), Qt::Key_Return);
            EXPECT_TRUE(window->isVisible());
            ending.close(window);
            EXPECT_FALSE(window->isVisible());
        });
        EXPECT_EQ(RunMarquee(profile, messages, help), EXIT_SUCCESS);
        EXPECT_TRUE(ran);
        EXPECT_FALSE(otherWindow.isVisible());
        EXPECT_TRUE(messages.shown.empty());
        // The link settings reached the profile as the window went.
        EXPECT_EQ(profile.GetProfileInt("COM Port", -1), 0);
        EXPECT_EQ(profile.GetProfileInt("Baud Rate", -1), 9600);
    }
}

// A profile that can be neither read nor written: the program starts from its defaults and runs;
// the first save that fails says so, naming the file and the reason, and the program ends as
// usual without saying it again.
TEST(StartUpTest, AnUnusableProfileIsToldOnce) {
    QTemporaryDir folder;
    const QString blocker = folder.filePath("not-a-folder");
    QFile file(blocker);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString path = blocker + "/Lumivex1.2/lumivex.conf";
    const std::string told = "The settings could not be saved to " + path.toStdString() +
                             ": Not a directory.\nChanges to them are lost when Lumivex closes.";
    for (const bool generate : {false, true}) {
        SCOPED_TRACE(generate ? "generated, then closed" : "closed");
        CProfileStore profile(path);
        RecordingMessageService messages;
        RecordingHelpService help;
        WhenTheWindowRuns([&](CMarqueeDlg* window) {
            ASSERT_NE(window, nullptr);
            EXPECT_EQ(window->PageTabs().ShownPage(), CPageTabCtrl::kMessagesPage);
            if (generate) {
                auto* button = window->PageTabs()
                                   .Page(CPageTabCtrl::kMessagesPage)
                                   ->findChild<QPushButton*>("generateButton");
                ASSERT_NE(button, nullptr);
                QTest::mouseClick(button, Qt::LeftButton);
                QTest::mouseClick(button, Qt::LeftButton);
                EXPECT_EQ(messages.shown.size(), 1u);
            }
            window->close();
        });
        EXPECT_EQ(RunMarquee(profile, messages, help), EXIT_SUCCESS);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, told);
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::kExclamation);
    }
}

TEST(StartUpTest, SocketsThatCannotBePreparedEndTheProgramBeforeAnyWindow) {
    QTemporaryDir folder;
    CProfileStore profile(folder.filePath("lumivex.conf"));
    RecordingMessageService messages;
    RecordingHelpService help;
    EXPECT_EQ(RunMarquee(profile, messages, help, {}, [] { return false; }), EXIT_FAILURE);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Socket initialization failed");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::kStop);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::kOk);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        EXPECT_EQ(qobject_cast<CMarqueeDlg*>(window), nullptr);
    }
    EXPECT_EQ(profile.GetProfileInt("COM Port", -1), -1);
}

TEST(StartUpTest, PreparedSocketsSurviveAPeerThatHasGone) {
    ASSERT_TRUE(InitialiseSockets());
    struct sigaction current {};
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
}

}  // namespace
