// The two signs dialogs driven through their widgets, against signs on loopback addresses and a
// signs.json in a configuration folder of the test's own.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fleet/CSendPlan.h"
#include "fleet/SignEndpoint.h"
#include "gui/controls/CIpAddressCtrl.h"
#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessagePage.h"
#include "gui/pages/CPcSetupPage.h"
#include "gui/services/HelpService.h"
#include "gui/signs/CSendToSignsDlg.h"
#include "gui/signs/CSignsDlg.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "settings/SignsFile.h"
#include "support/FleetTestSupport.h"
#include "support/MessagePageFixture.h"
#include "support/RecordingServices.h"

namespace {

class SignsDialogsTest : public MessagePageFixture {
public:
    void SetUp() override {
        // signs.json goes to this test's own folder.
        qputenv("XDG_CONFIG_HOME", folder.filePath("config").toUtf8());
        ASSERT_TRUE(QDir().mkpath(QFileInfo(DefaultSignsFilePath()).path()));
        MessagePageFixture::SetUp();
    }

    void WriteSigns(const std::vector<NamedSign>& signs) {
        CSignsFile file;
        for (const NamedSign& sign : signs) {
            file.Add(sign);
        }
        file.Save();
    }
    static std::vector<NamedSign> SavedSigns() {
        CSignsFile file;
        file.Load();
        return file.All();
    }

    template <typename T>
    T* Child(QWidget* parent, const char* name) {
        T* widget = parent->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // Opens a dialog with the page's button, as the operator does.
    template <typename Dialog>
    Dialog* OpenFromPage(const char* button) {
        Click(button);
        auto* dialog = page->findChild<Dialog*>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    using MessagePageFixture::Click;
    void Click(QWidget* dialog, const char* button) {
        QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
    }
    static void CheckRow(QTreeWidget* list, int row, bool checked) {
        list->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    }
    // The events run until the condition holds; false when it does not within the tests' bound.
    static bool WaitFor(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, kTestWaitMs);
    }
};

// Three signs behind three links, each with an address of its own: each gets the page's message
// built for its own address, the rows say so as they come, and the checks stay for the next send.
TEST_F(SignsDialogsTest, AMessageReachesEachSignWithItsOwnAddress) {
    CLoopbackSigns listeners({4, 4, 4});
    ASSERT_TRUE(listeners.Ready(3));
    struct Row {
        const char* name;
        int32_t address;
        int32_t group;
        int32_t unit;
    };
    const std::vector<Row> rows = {{"Line 3", kAddressSpecificUnit, 1, 5},
                                   {"Dock 2", kAddressSpecificGroup, 2, 0},
                                   {"Hall", kAddressBroadcast, 0, 0}};
    std::vector<NamedSign> signs;
    for (size_t i = 0; i < rows.size(); ++i) {
        NamedSign sign = listeners.Sign(i, rows[i].name);
        sign.address = rows[i].address;
        sign.groupNumber = rows[i].group;
        sign.unitNumber = rows[i].unit;
        signs.push_back(sign);
    }
    WriteSigns(signs);
    QTest::keyClicks(&page->Editor(), QStringLiteral("SHIFT 2"));

    std::vector<std::future<std::string>> received;
    for (size_t i = 0; i < rows.size(); ++i) {
        received.push_back(listeners[i].AcceptAndReadAsync());
    }
    auto* dialog = OpenFromPage<CSendToSignsDlg>("sendSignsButton");
    auto* list = Child<QTreeWidget>(dialog, "signList");
    ASSERT_EQ(list->topLevelItemCount(), 3);
    for (int row = 0; row < 3; ++row) {
        CheckRow(list, row, true);
    }
    Click(dialog, "sendButton");
    auto* summary = Child<QLabel>(dialog, "summaryLabel");
    ASSERT_TRUE(WaitFor([&] { return !summary->text().isEmpty(); }));
    EXPECT_EQ(summary->text(), "3 of 3 signs got the message");

    const MessageDocument message = page->CurrentMessage();
    std::vector<std::string> bytes;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].name);
        const std::string expected =
            SignSendsForMessage({signs[i]}, message, ProfileDevices(profile)).at(0).bytes;
        bytes.push_back(received[i].get());
        EXPECT_EQ(bytes.back(), expected);
        EXPECT_TRUE(list->topLevelItem(static_cast<int>(i))->text(3).startsWith("sent, "));
    }
    EXPECT_NE(bytes[0], bytes[1]);
    EXPECT_NE(bytes[1], bytes[2]);

    // Closed and opened again, the dialog offers the same signs checked.
    Click(dialog, "closeButton");
    ASSERT_EQ(OpenFromPage<CSendToSignsDlg>("sendSignsButton"), dialog);
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(list->topLevelItem(row)->checkState(0), Qt::Checked);
    }
}

// A sign whose accept queue is full never takes the message; the other finishes meanwhile, the
// window goes on answering, and Cancel ends the wait and says so.
TEST_F(SignsDialogsTest, CancelStopsTheSendsStillRunning) {
    CLoopbackSigns listeners({0, 4});
    ASSERT_TRUE(listeners.Ready(2));
    ASSERT_TRUE(listeners[0].FillAcceptQueue());
    NamedSign silent = listeners.Sign(0, "Silent");
    silent.tags = {"hall-b"};
    NamedSign quick = listeners.Sign(1, "Quick");
    quick.tags = {"hall-b"};
    NamedSign other = quick;
    other.name = "Elsewhere";
    other.tags = {"assembly"};
    WriteSigns({silent, quick, other});
    auto reading = listeners[1].AcceptAndReadAsync();

    auto* dialog = OpenFromPage<CSendToSignsDlg>("sendSignsButton");
    auto* list = Child<QTreeWidget>(dialog, "signList");
    for (int row = 0; row < 3; ++row) {
        CheckRow(list, row, true);
    }
    // The tag narrows the send to the signs it shows.
    auto* tags = Child<QComboBox>(dialog, "tagList");
    tags->setCurrentIndex(tags->findText("hall-b"));
    EXPECT_TRUE(list->topLevelItem(2)->isHidden());
    Click(dialog, "sendButton");
    ASSERT_TRUE(WaitFor([&] { return list->topLevelItem(1)->text(3).startsWith("sent, "); }));
    EXPECT_FALSE(reading.get().empty());
    EXPECT_TRUE(Child<QPushButton>(dialog, "stopButton")->isEnabled());
    Click(dialog, "stopButton");
    auto* summary = Child<QLabel>(dialog, "summaryLabel");
    ASSERT_TRUE(WaitFor([&] { return !summary->text().isEmpty(); }));
    EXPECT_EQ(summary->text(), "1 of 2 signs got the message");
    EXPECT_FALSE(list->topLevelItem(0)->text(3).startsWith("sent"));
    EXPECT_TRUE(list->topLevelItem(2)->text(3).isEmpty());
    EXPECT_TRUE(Child<QPushButton>(dialog, "sendButton")->isEnabled());
}

// Add, change and remove through the editor's fields, each written to the file at once.
TEST_F(SignsDialogsTest, TheEditorAddsChangesAndRemovesSigns) {
    auto* dialog = OpenFromPage<CSignsDlg>("signsButton");
    auto* list = Child<QTreeWidget>(dialog, "signList");
    auto* name = Child<QLineEdit>(dialog, "nameEdit");
    auto* link = Child<QComboBox>(dialog, "linkList");
    auto* tags = Child<QLineEdit>(dialog, "tagsEdit");

    struct Step {
        const char* what;
        std::function<void()> act;
        std::function<void(std::vector<NamedSign>&)> expect;  // changes the expected list
    };
    std::vector<NamedSign> expected;
    const std::vector<Step> steps = {
        {"add a serial sign",
         [&] {
             name->setText("Line 3");
             link->setCurrentIndex(1);
             Child<QComboBox>(dialog, "baudList")->setCurrentIndex(1);
             Child<QComboBox>(dialog, "addressList")->setCurrentIndex(kAddressSpecificUnit);
             Child<QSpinBox>(dialog, "groupSpin")->setValue(1);
             Child<QSpinBox>(dialog, "unitSpin")->setValue(5);
             Child<QComboBox>(dialog, "modelList")->setCurrentIndex(7);
             tags->setText("assembly, hall-b");
             Click(dialog, "addButton");
         },
         [](std::vector<NamedSign>& signs) {
             NamedSign sign;
             sign.name = "Line 3";
             sign.comPort = 1;
             sign.baudRate = kBaud38400;
             sign.address = kAddressSpecificUnit;
             sign.groupNumber = 1;
             sign.unitNumber = 5;
             sign.signModel = 7;
             sign.tags = {"assembly", "hall-b"};
             signs.push_back(sign);
         }},
        {"add a sign over Ethernet",
         [&] {
             name->setText("Dock 2");
             link->setCurrentIndex(kPortEthernet);
             auto* address = Child<CIpAddressCtrl>(dialog, "ipCtrl");
             const char* octets[] = {"127", "0", "0", "9"};
             for (int i = 0; i < CIpAddressCtrl::kOctetCount; ++i) {
                 QTest::keyClicks(address->OctetField(i), octets[i]);
             }
             Child<QSpinBox>(dialog, "tcpPortSpin")->setValue(50001);
             Child<QComboBox>(dialog, "addressList")->setCurrentIndex(kAddressBroadcast);
             tags->clear();
             Click(dialog, "addButton");
         },
         [](std::vector<NamedSign>& signs) {
             NamedSign sign = signs[0];
             sign.name = "Dock 2";
             sign.baudRate = kBaud9600;
             EXPECT_TRUE(SetSignLink(sign, "127.0.0.9:50001"));
             sign.address = kAddressBroadcast;
             sign.tags.clear();
             signs.push_back(sign);
         }},
        {"a taken name changes nothing",
         [&] {
             name->setText("line 3");
             Click(dialog, "addButton");
         },
         [](std::vector<NamedSign>&) {}},
        {"change the first sign's tags",
         [&] {
             list->setCurrentItem(list->topLevelItem(0));
             tags->setText("dock");
             Click(dialog, "changeButton");
         },
         [](std::vector<NamedSign>& signs) { signs[0].tags = {"dock"}; }},
        {"remove the first sign",
         [&] {
             list->setCurrentItem(list->topLevelItem(0));
             Click(dialog, "removeButton");
         },
         [](std::vector<NamedSign>& signs) { signs.erase(signs.begin()); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        step.expect(expected);
        EXPECT_EQ(SavedSigns(), expected);
        EXPECT_EQ(list->topLevelItemCount(), static_cast<int>(expected.size()));
    }
    ASSERT_EQ(messages.shown.size(), 1u);  // the taken name
}

// The Gateway field shows the chosen sign's and offers those the file names; Add writes it, and
// Change refuses a sign of none where the file names several gateways.
TEST_F(SignsDialogsTest, TheGatewayFieldIsWrittenAndASignOfNoneAmongSeveralRefused) {
    std::vector<NamedSign> signs(3);
    const char* gateways[] = {"hall-a", "hall-b", "hall-b"};
    for (size_t i = 0; i < signs.size(); ++i) {
        signs[i].name = "S" + std::to_string(i);
        signs[i].gateway = gateways[i];
    }
    WriteSigns(signs);
    auto* dialog = OpenFromPage<CSignsDlg>("signsButton");
    auto* list = Child<QTreeWidget>(dialog, "signList");
    auto* gateway = Child<QComboBox>(dialog, "gatewayList");
    list->setCurrentItem(list->topLevelItem(2));
    EXPECT_EQ(gateway->currentText(), "hall-b");
    gateway->setCurrentIndex(gateway->findText(""));
    Click(dialog, "changeButton");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "signs.json names the gateways hall-a and hall-b: give the sign its gateway");
    EXPECT_EQ(SavedSigns(), signs);

    Child<QLineEdit>(dialog, "nameEdit")->setText("New");
    QTest::keyClicks(gateway->lineEdit(), "hall-c");
    Click(dialog, "addButton");
    EXPECT_EQ(SavedSigns().back().gateway, "hall-c");
    EXPECT_EQ(gateway->findText("hall-c"), 3);  // after none and the two named before
}

// A signs.json that cannot be read is named with its line and field, whichever way a dialog is
// opened, and stays as it was: no edit reaches it.
TEST_F(SignsDialogsTest, ABadSignsFileChangesNothing) {
    const QByteArray bad =
        "{\"signs\": [\n  {\"name\": \"Line 3\", \"link\": \"COM2\", \"baud\": 1200}\n]}\n";
    QFile file(DefaultSignsFilePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bad);
    file.close();

    CPcSetupPage pcPage(PageContext{app, messages, help});
    pcPage.show();
    const std::vector<std::pair<const char*, QWidget*>> ways = {
        {"signsButton", page.get()}, {"sendSignsButton", page.get()}, {"signsButton", &pcPage}};
    for (const auto& [button, from] : ways) {
        SCOPED_TRACE(button);
        messages.shown.clear();
        QTest::mouseClick(Child<QPushButton>(from, button), Qt::LeftButton);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_NE(messages.shown[0].text.find("line 2"), std::string::npos)
            << messages.shown[0].text;
        EXPECT_NE(messages.shown[0].text.find("baud"), std::string::npos);
        auto* editor = from->findChild<CSignsDlg*>();
        if (editor != nullptr) {
            EXPECT_FALSE(Child<QPushButton>(editor, "addButton")->isEnabled());
            EXPECT_FALSE(Child<QPushButton>(editor, "removeButton")->isEnabled());
        }
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), bad);
}

// Check runs the checks of every sign and shows a line for each as it comes; what a line says is
// SignCheckTest's.
TEST_F(SignsDialogsTest, CheckShowsALineForEachSign) {
    CLoopbackSigns listeners({4});
    ASSERT_TRUE(listeners.Ready(1));
    WriteSigns({listeners.Sign(0, "Open"), listeners.Sign(0, "Dock")});
    auto* dialog = OpenFromPage<CSignsDlg>("signsButton");
    Click(dialog, "checkButton");
    auto* output = Child<QPlainTextEdit>(dialog, "checkOutput");
    auto* check = Child<QPushButton>(dialog, "checkButton");
    ASSERT_TRUE(WaitFor([&] { return check->isEnabled(); }));
    const QString text = output->toPlainText();
    EXPECT_TRUE(text.contains("Open: ")) << text.toStdString();
    EXPECT_TRUE(text.contains("Dock: ")) << text.toStdString();
}

// Every control has a name for screen readers, and F1 opens each dialog's own help.
TEST_F(SignsDialogsTest, EveryControlIsNamedAndF1OpensTheDialogsHelp) {
    const std::vector<std::pair<QDialog*, uint32_t>> dialogs = {
        {OpenFromPage<CSignsDlg>("signsButton"), kHelpSigns},
        {OpenFromPage<CSendToSignsDlg>("sendSignsButton"), kHelpSendToSigns}};
    for (const auto& [dialog, topic] : dialogs) {
        SCOPED_TRACE(topic);
        for (QWidget* control : dialog->findChildren<QWidget*>()) {
            const bool operable = qobject_cast<QAbstractButton*>(control) != nullptr ||
                                  qobject_cast<QComboBox*>(control) != nullptr ||
                                  qobject_cast<QLineEdit*>(control) != nullptr ||
                                  qobject_cast<QAbstractSpinBox*>(control) != nullptr ||
                                  qobject_cast<QAbstractItemView*>(control) != nullptr ||
                                  qobject_cast<QPlainTextEdit*>(control) != nullptr;
            // Qt's own parts of a control (a spin box's line edit) are named by the control.
            const bool own =
                !control->objectName().isEmpty() && !control->objectName().startsWith("qt_");
            if (operable && own && control->isVisibleTo(dialog)) {
                EXPECT_FALSE(control->accessibleName().isEmpty())
                    << control->objectName().toStdString();
            }
        }
        help.requests.clear();
        QApplication::setActiveWindow(dialog);
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
        auto* list = Child<QTreeWidget>(dialog, "signList");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_F1);
        EXPECT_EQ(help.requests, std::vector<uint32_t>{topic});
    }
}

}  // namespace
