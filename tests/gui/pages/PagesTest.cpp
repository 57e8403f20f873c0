#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <memory>

#include "encoding/MessageSettings.h"
#include "gui/window/CMarqueeDlg.h"
#include "gui/window/CPageTabCtrl.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "support/RecordingServices.h"

namespace {

class PagesTest : public testing::Test {
protected:
    QString WriteProfile(const QByteArray& text) {
        const QString path = folder.filePath("lumivex.conf");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }

    QTemporaryDir folder;
    RecordingMessageService messages;
    RecordingHelpService help;
};

// A screen reader toggles a button through its accessible action and a list can change with no
// `activated`: each page follows what its controls show, as after a click.
TEST_F(PagesTest, ChangesMadeWithoutAClickMoveThePages) {
    CProfileStore profile(folder.filePath("lumivex.conf"));
    CMarqueeApp app(profile);
    CMarqueeDlg dialog(PageContext{app, messages, help});
    dialog.show();
    const auto find = [&dialog](int page, const char* name) {
        auto* found = dialog.PageTabs().Page(page)->findChild<QWidget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    };
    const auto toggle = [](QWidget* button) {
        QAccessibleInterface* access = QAccessible::queryAccessibleInterface(button);
        ASSERT_NE(access, nullptr);
        ASSERT_NE(access->actionInterface(), nullptr);
        access->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    };
    const auto choose = [](QWidget* list, int index) {
        static_cast<QComboBox*>(list)->setCurrentIndex(index);
    };
    constexpr int kMessages = CPageTabCtrl::kMessagesPage;
    constexpr int kPc = CPageTabCtrl::kPcSetupPage;
    constexpr int kNetwork = CPageTabCtrl::kNetworkSetupPage;

    choose(find(kMessages, "positionList"), kPositionStartingAt);
    EXPECT_EQ(app.Message().position, kPositionStartingAt);
    EXPECT_TRUE(find(kMessages, "lineEdit")->isEnabled());
    toggle(find(kMessages, "clearMessageCheck"));
    EXPECT_TRUE(app.Message().clearMessageOnLine);
    choose(find(kMessages, "effectList"), kEffectScrollOnce);
    EXPECT_EQ(app.Message().effect, kEffectScrollOnce);
    // The link chosen in one list shows at once in the others, shown or not.
    choose(find(kMessages, "portList"), 3);
    for (const int page : {kPc, kNetwork}) {
        EXPECT_EQ(static_cast<QComboBox*>(find(page, "portList"))->currentIndex(), 3) << page;
    }

    dialog.PageTabs().ShowPage(kPc);
    choose(find(kPc, "portList"), kPortEthernet);
    EXPECT_EQ(app.ComPort(), kPortEthernet);
    EXPECT_TRUE(find(kPc, "addressCtrl")->isVisible());

    dialog.PageTabs().ShowPage(kNetwork);
    toggle(find(kNetwork, "deviceNetRadio"));
    EXPECT_EQ(app.NetworkType(), kNetworkDeviceNet);
    EXPECT_TRUE(find(kNetwork, "stationEdit")->isVisible());
    EXPECT_EQ(static_cast<QLabel*>(find(kNetwork, "stationLabel"))->text(), "MAC ID (0-63)");
    choose(find(kNetwork, "portList"), 2);
    EXPECT_EQ(app.ComPort(), 2);
    EXPECT_TRUE(messages.shown.empty());
}

// The settings are loaded before the pages are made, so every page sees the loaded values.
TEST_F(PagesTest, TheSettingsAreLoadedAsTheWindowIsMade) {
    CProfileStore profile(WriteProfile("[General]\nAddress=2\nCOM%20Port=8\n"));
    CMarqueeApp app(profile);
    CMarqueeDlg dialog(PageContext{app, messages, help});
    const auto shown = [&dialog](int page, const char* list) {
        return dialog.PageTabs().Page(page)->findChild<QComboBox*>(list)->currentIndex();
    };
    EXPECT_EQ(shown(CPageTabCtrl::kMessagesPage, "addressList"), 2);
    EXPECT_EQ(shown(CPageTabCtrl::kPcSetupPage, "portList"), 8);
}

TEST_F(PagesTest, TheLinkSettingsAreSavedAsTheWindowGoes) {
    CProfileStore profile(folder.filePath("lumivex.conf"));
    CMarqueeApp app(profile);
    // The address is what the PC page's control shows, so it is set before the page shows it.
    app.SetComPort(8);
    app.SetBaudRate(38400);
    app.SetIpAddress({10, 0, 0, 7});
    app.Message().line = 3;
    {
        CMarqueeDlg dialog(PageContext{app, messages, help});
        dialog.show();
        dialog.close();
    }
    EXPECT_EQ(profile.GetProfileInt("COM Port", -1), 8);
    EXPECT_EQ(profile.GetProfileInt("Baud Rate", -1), 38400);
    EXPECT_EQ(profile.GetProfileInt("IP Address1", -1), 10);
    EXPECT_EQ(profile.GetProfileInt("IP Address4", -1), 7);
    // The message values are saved when a string is built, not at the end.
    EXPECT_EQ(profile.GetProfileInt("Line", -1), -1);
    EXPECT_TRUE(profile.Flush());
}

// The help describes what each page shows: every caption an operator reads there.
TEST_F(PagesTest, TheHelpNamesEveryCaptionOfEveryPage) {
    QFile file(QStringLiteral(LUMIVEX_HELP_SOURCE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QTextDocument help;
    help.setHtml(QString::fromUtf8(file.readAll()));
    const QString text = help.toPlainText().simplified();

    CProfileStore profile(folder.filePath("lumivex.conf"));
    CMarqueeApp app(profile);
    RecordingHelpService recorder;
    CMarqueeDlg dialog(PageContext{app, messages, recorder});
    for (int index = 0; index < CPageTabCtrl::kPageCount; ++index) {
        QWidget* page = dialog.PageTabs().Page(index);
        QStringList captions = {dialog.PageTabs().tabText(index)};
        for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
            captions << button->text();
        }
        for (QGroupBox* group : page->findChildren<QGroupBox*>()) {
            captions << group->title();
        }
        for (QLabel* label : page->findChildren<QLabel*>()) {
            if (label->buddy() != nullptr) {
                captions << label->text();
            }
        }
        for (const QString& caption : captions) {
            EXPECT_TRUE(text.contains(caption.simplified())) << caption.toStdString();
        }
    }
}

}  // namespace
