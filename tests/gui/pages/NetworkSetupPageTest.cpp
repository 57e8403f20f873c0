#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "PageTestWindow.h"
#include "SendTestSupport.h"
#include "gui/controls/CIpAddressCtrl.h"
#include "gui/pages/CEthernetNetworkPanel.h"
#include "gui/pages/CFieldbusPanel.h"

namespace {

constexpr int kNetworkPage = CPageTabCtrl::kNetworkSetupPage;
using Boxes = std::vector<std::pair<std::string, MessageIcon>>;

// The network page of a window of its own, shown.
class CNetworkPageWindow : public CPageTestWindow {
public:
    explicit CNetworkPageWindow(const std::string& profileText = {})
        : CPageTestWindow(profileText) {
        ShowPage(kNetworkPage);
    }

    template <class T>
    T* Get(const char* name) const {
        return Find<T>(kNetworkPage, name);
    }
    // A radio button takes a click on its circle or caption only, at its left end. A panel just
    // shown is laid out first, as it is before an operator can click in it.
    void Click(const char* name) const {
        QApplication::processEvents();
        QAbstractButton* button = Get<QAbstractButton>(name);
        const QPoint at = qobject_cast<QRadioButton*>(button) != nullptr
                              ? QPoint(button->height() / 2, button->height() / 2)
                              : button->rect().center();
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, at);
    }
    void Type(const char* field, const char* text) const {
        QLineEdit* edit = Get<QLineEdit>(field);
        edit->selectAll();
        QTest::keyClicks(edit, QString::fromLatin1(text));
    }
    std::string Generated() const {
        return Get<QPlainTextEdit>("generatedEdit")->toPlainText().toStdString();
    }
    bool FieldbusShown() const {
        return Page(kNetworkPage)->findChild<CFieldbusPanel*>()->isVisible();
    }
    bool EthernetShown() const {
        return Page(kNetworkPage)->findChild<CEthernetNetworkPanel*>()->isVisible();
    }
};

// What the sign's end of a pty got of a string and the confirmation sent after it, read from a
// read begun before the sends. Opening the port for the confirmation discards what the pty had
// not yet passed on, so the first string may be cut or missing there; the confirmation, the last
// thing sent, always arrives whole. Over TCP both are checked in full.
std::string ReadUntilConfirmation(const CPtyPair& pty, std::future<std::string> reading,
                                  const std::string& confirmation) {
    std::string received = reading.get();
    while (received.size() < confirmation.size() ||
           received.compare(received.size() - confirmation.size(), confirmation.size(),
                            confirmation) != 0) {
        const std::string more = pty.ReadAsync(1).get();
        if (more.empty()) {
            break;
        }
        received += more;
    }
    return received;
}

std::string ProgramQuestion(const std::string& name) {
    return "Are you sure you want to program the " + name +
           " network\nwith the displayed parameters?";
}

std::string DisableQuestion(const std::string& name) {
    return "Are you sure you want to disable the " + name +
           " network?\n(Programming new parameters automatically enables the network)";
}

TEST(NetworkSetupPageTest, StartsWithEthernetAndTheSavedAddressAndLink) {
    CNetworkPageWindow window("[General]\nGroupNumber=2\nUnitNumber=5\nCOM%20Port=3\n");
    EXPECT_TRUE(window.Get<QRadioButton>("ethernetRadio")->isChecked());
    EXPECT_TRUE(window.EthernetShown());
    EXPECT_FALSE(window.FieldbusShown());
    EXPECT_EQ(window.Get<CIpAddressCtrl>("ipCtrl")->GetOctets(), (Ipv4Octets{192, 168, 0, 1}));
    EXPECT_EQ(window.Get<CIpAddressCtrl>("maskCtrl")->GetOctets(), (Ipv4Octets{255, 255, 255, 0}));
    EXPECT_EQ(window.Get<CIpAddressCtrl>("gatewayCtrl")->GetOctets(), (Ipv4Octets{0, 0, 0, 0}));
    EXPECT_EQ(window.Generated(), "");
    EXPECT_EQ(window.Get<QComboBox>("groupList")->currentText(), "2");
    EXPECT_EQ(window.Get<QComboBox>("unitList")->currentText(), "5");
    EXPECT_EQ(window.Get<QComboBox>("portList")->currentText(), "Com4");
}

// The panel shows the record of the type chosen, relabelled; what was typed and not generated is
// gone after a change of type, while the byte-order choice and the generated string stay.
TEST(NetworkSetupPageTest, AChangeOfTypeRelabelsAndRefillsThePanel) {
    CNetworkPageWindow window;
    window.Click("generateButton");
    const std::string generated = window.Generated();
    window.Click("deviceNetRadio");
    EXPECT_EQ(window.app.m_nNetworkType, kNetworkDeviceNet);
    EXPECT_TRUE(window.FieldbusShown());
    EXPECT_FALSE(window.EthernetShown());
    window.Click("charSwappedRadio");
    window.Type("stationEdit", "45");

    struct Case {
        const char* radio;
        const char* caption;
        QStringList labels;
        QStringList rates;
        const char* hint;
    };
    const std::vector<Case> cases = {
        {"profibusRadio",
         "Profibus",
         {"Node Address (0-125)", "Input Bytes (1-122)", "Output Bytes"},
         {"Auto"},
         "Max I/O 1-122 words, the sum of Max I/O must be less than or equal to 208 words"},
        {"deviceNetRadio",
         "DeviceNet",
         {"MAC ID (0-63)", "Consumed Bytes (8-120)", "Produced Bytes"},
         {"125 kb/s", "250 kb/s", "500 kb/s"},
         "Max I/O range 1-256 words"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.radio);
        window.Click(test.radio);
        EXPECT_EQ(window.Get<QGroupBox>("fieldbusGroup")->title(), test.caption);
        const QStringList labels = {window.Get<QLabel>("stationLabel")->text(),
                                    window.Get<QLabel>("inputLabel")->text(),
                                    window.Get<QLabel>("outputLabel")->text()};
        EXPECT_EQ(labels, test.labels);
        // Screen readers name the fields by the labels they have now.
        EXPECT_EQ(window.Get<QLineEdit>("stationEdit")->accessibleName(), test.labels[0]);
        EXPECT_EQ(window.Get<QLineEdit>("inputEdit")->accessibleName(), test.labels[1]);
        QComboBox* rates = window.Get<QComboBox>("baudList");
        QStringList entries;
        for (int index = 0; index < rates->count(); ++index) {
            entries << rates->itemText(index);
        }
        EXPECT_EQ(entries, test.rates);
        EXPECT_EQ(rates->currentIndex(), 0);
        EXPECT_EQ(window.Get<QLabel>("hintLabel")->text(), test.hint);
        EXPECT_FALSE(window.Get<QLabel>("hintLabel")->isVisible());
        EXPECT_EQ(window.Get<QLineEdit>("stationEdit")->text(), "20");
        EXPECT_EQ(window.Get<QLineEdit>("inputEdit")->text(), "32");
        EXPECT_EQ(window.Get<QLineEdit>("outputEdit")->text(), "2");
        EXPECT_FALSE(window.Get<QLineEdit>("outputEdit")->isEnabled());
        EXPECT_TRUE(window.Get<QRadioButton>("charSwappedRadio")->isChecked());
        EXPECT_EQ(window.Generated(), generated);
    }
}

// Program Marquee and Disable Network over each kind of link, with each answer.
TEST(NetworkSetupPageTest, ProgramAndDisableSendOrRefuseAsTheOperatorSays) {
    enum class Link { kSerial, kMissingSerial, kTcp };
    struct Case {
        const char* what;
        const char* radio;
        Link link;
        const char* button;
        const char* station;  // typed into the station field, or nullptr
        std::vector<MessageAnswer> answers;
        Boxes boxes;
        bool sent;  // the string in the box, then the confirmation
        bool programmed;
    };
    const std::string ethernetSetup =
        "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000";
    const std::vector<Case> cases = {
        {"Ethernet over Ethernet is refused",
         "ethernetRadio",
         Link::kTcp,
         "programButton",
         nullptr,
         {},
         {{"Ethernet network must be programmed over serial communication port!",
           MessageIcon::kExclamation}},
         false,
         true},
        {"Ethernet over a serial port",
         "ethernetRadio",
         Link::kSerial,
         "programButton",
         nullptr,
         {},
         {{ProgramQuestion("Ethernet"), MessageIcon::kQuestion},
          {"Ethernet network program message was successfully sent.", MessageIcon::kInformation}},
         true,
         true},
        {"DeviceNet may go over Ethernet",
         "deviceNetRadio",
         Link::kTcp,
         "programButton",
         "45",
         {},
         {{ProgramQuestion("DeviceNet"), MessageIcon::kQuestion},
          {"DeviceNet network program message was successfully sent.", MessageIcon::kInformation}},
         true,
         true},
        {"No sends nothing",
         "profibusRadio",
         Link::kSerial,
         "programButton",
         "45",
         {MessageAnswer::kNo},
         {{ProgramQuestion("Profibus"), MessageIcon::kQuestion}},
         false,
         true},
        {"a refused value shows only why",
         "deviceNetRadio",
         Link::kSerial,
         "programButton",
         "64",
         {},
         {{"Invalid MAC Address !\nValid Range is 0 - 63", MessageIcon::kStop}},
         false,
         true},
        {"a failed send sends nothing more",
         "deviceNetRadio",
         Link::kMissingSerial,
         "programButton",
         nullptr,
         {},
         {{ProgramQuestion("DeviceNet"), MessageIcon::kQuestion},
          {"Invalid Port", MessageIcon::kExclamation},
          {"DeviceNet network program message could not be sent!", MessageIcon::kExclamation}},
         false,
         true},
        {"disabling Ethernet over Ethernet is refused",
         "ethernetRadio",
         Link::kTcp,
         "disableButton",
         nullptr,
         {},
         {{"Ethernet network must be disabled over serial communication port!",
           MessageIcon::kExclamation}},
         false,
         false},
        {"disabling Profibus over Ethernet",
         "profibusRadio",
         Link::kTcp,
         "disableButton",
         nullptr,
         {},
         {{DisableQuestion("Profibus"), MessageIcon::kQuestion},
          {"Profibus network disable message was successfully sent.", MessageIcon::kInformation}},
         true,
         false},
        {"disabling, No",
         "deviceNetRadio",
         Link::kSerial,
         "disableButton",
         nullptr,
         {MessageAnswer::kNo},
         {{DisableQuestion("DeviceNet"), MessageIcon::kQuestion}},
         false,
         false},
        {"a failed disable",
         "ethernetRadio",
         Link::kMissingSerial,
         "disableButton",
         nullptr,
         {},
         {{DisableQuestion("Ethernet"), MessageIcon::kQuestion},
          {"Invalid Port", MessageIcon::kExclamation},
          {"Ethernet network disable message could not be sent!", MessageIcon::kExclamation}},
         false,
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        CPtyPair pty;
        std::unique_ptr<CLoopbackListener> sign;
        std::string profileText = "[Ports]\nCOM1=" + pty.SlavePath() + "\n";
        if (test.link == Link::kMissingSerial) {
            profileText = "[Ports]\nCOM1=/nonexistent/ttyLumivex\n";
        }
        CNetworkPageWindow window(profileText);
        if (test.link == Link::kTcp) {
            sign = CLoopbackListener::AsSign(kSignTcpPort);
            ASSERT_NE(sign, nullptr);
            window.app.m_ipAddress = sign->Address();
            Choose(window.Get<QComboBox>("portList"), kPortEthernet);
        }
        window.Click(test.radio);
        if (test.station != nullptr) {
            window.Type("stationEdit", test.station);
        }
        window.messages.answers.assign(test.answers.begin(), test.answers.end());
        const int32_t type = window.app.m_nNetworkType;
        const std::string confirmation =
            GetConfirmationString(window.app.m_messageSettings, type, test.programmed);
        std::future<std::string> serialReading =
            pty.ReadAsync(test.sent && test.link == Link::kSerial ? confirmation.size() : 0);

        window.Click(test.button);
        EXPECT_EQ(window.Boxes(), test.boxes);
        const std::string shown = window.Generated();
        if (test.link == Link::kTcp && test.sent) {
            // The connections wait in the listener's queue in the order they were made.
            EXPECT_EQ(sign->AcceptAndReadAsync().get(), shown);
            EXPECT_EQ(sign->AcceptAndReadAsync().get(), confirmation);
        } else if (test.link == Link::kSerial && test.sent) {
            const std::string received =
                ReadUntilConfirmation(pty, std::move(serialReading), confirmation);
            ASSERT_GE(received.size(), confirmation.size());
            const size_t before = received.size() - confirmation.size();
            EXPECT_EQ(received.substr(before), confirmation);
            EXPECT_EQ(received.substr(0, before), shown.substr(0, before));
        } else if (test.link == Link::kSerial) {
            EXPECT_EQ(serialReading.get(), "");
            EXPECT_EQ(pty.ReadPending(), "");
        }
        if (test.sent && test.button == std::string("programButton")) {
            EXPECT_EQ(shown, window.app.CurrentNetworkParams().GetSetupString(
                                 window.app.m_messageSettings));
        }
    }
}

// A refusal puts the cursor where the operator has to act.
TEST(NetworkSetupPageTest, ARefusalPutsTheFocusWhereTheFaultIs) {
    CNetworkPageWindow window;
    Choose(window.Get<QComboBox>("portList"), kPortEthernet);
    window.Click("programButton");
    EXPECT_TRUE(window.Get<QComboBox>("portList")->hasFocus());
    // The setup string was generated before the refusal and stays.
    EXPECT_EQ(window.Generated(),
              "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000");

    window.Click("profibusRadio");
    window.Type("stationEdit", "20");
    window.Type("inputEdit", "123");
    window.Click("generateButton");
    EXPECT_EQ(window.Boxes().back(),
              std::make_pair(std::string("Invalid Value for Input Bytes!\nValid Range is  1 - 122"),
                             MessageIcon::kStop));
    EXPECT_TRUE(window.Get<QLineEdit>("inputEdit")->hasFocus());
    EXPECT_EQ(window.app.m_profibusParams.m_nInputSize, 32) << "nothing stored";
}

// No to the question leaves what was validated stored and the string in the box.
TEST(NetworkSetupPageTest, NoKeepsWhatWasChecked) {
    CNetworkPageWindow window;
    window.Click("deviceNetRadio");
    window.Type("stationEdit", "63");
    window.Get<QComboBox>("baudList")->setCurrentIndex(2);
    window.Click("lowHighRadio");
    window.messages.answers = {MessageAnswer::kNo};
    window.Click("programButton");
    EXPECT_EQ(window.Generated(), "^A000000^P2A063^P2B500^P2R032^P2S002^P2W2");
    EXPECT_EQ(window.app.m_deviceNetParams.m_nStationAddress, 63);
    EXPECT_EQ(window.app.m_deviceNetParams.m_nBaudCode, kBaud500);
}

// Disable Network uses the shared group and unit as they stand, whatever the lists show.
TEST(NetworkSetupPageTest, DisableUsesTheSharedAddress) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    CNetworkPageWindow window;
    window.app.m_ipAddress = sign->Address();
    Choose(window.Get<QComboBox>("portList"), kPortEthernet);
    window.Click("deviceNetRadio");
    // The composer chose group 2 since this page was made.
    window.app.m_messageSettings.groupNumber = 2;
    window.Click("disableButton");
    EXPECT_EQ(window.Get<QComboBox>("groupList")->currentText(), "0");
    EXPECT_EQ(window.Generated(), "^A020000^P2Z");
    EXPECT_EQ(sign->AcceptAndReadAsync().get(), "^A020000^P2Z");
    EXPECT_EQ(sign->AcceptAndReadAsync().get(),
              GetConfirmationString(window.app.m_messageSettings, kNetworkDeviceNet, false));
}

TEST(NetworkSetupPageTest, GenerateAndDefaultsShowStringsAndSendNothing) {
    struct Case {
        const char* what;
        const char* radio;
        int group;
        int unit;
        std::vector<int> clearedIpOctets;
        const char* button;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"Ethernet defaults",
         "ethernetRadio",
         0,
         0,
         {},
         "generateButton",
         "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000"},
        {"empty octets",
         "ethernetRadio",
         1,
         8,
         {1, 3},
         "generateButton",
         "^A010008^P1A192.000.000.000^P1M255.255.255.000^P1G000.000.000.000"},
        {"DeviceNet load defaults", "deviceNetRadio", 1, 2, {}, "defaultsButton", "^A010002^P2L"},
        {"Profibus setup",
         "profibusRadio",
         2,
         5,
         {},
         "generateButton",
         "^A020005^P3A020^P3R032^P3S002^P3W1"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        CNetworkPageWindow window;
        window.Click(test.radio);
        window.Get<QRadioButton>("charSwappedRadio")->setChecked(true);
        for (const int index : test.clearedIpOctets) {
            window.Get<CIpAddressCtrl>("ipCtrl")->OctetField(index)->clear();
        }
        window.Get<QComboBox>("groupList")->setCurrentIndex(test.group);
        window.Get<QComboBox>("unitList")->setCurrentIndex(test.unit);
        window.Click(test.button);
        EXPECT_EQ(window.Generated(), test.expected);
        EXPECT_EQ(window.app.m_messageSettings.groupNumber, test.group);
        EXPECT_EQ(window.app.m_messageSettings.unitNumber, test.unit);
        EXPECT_TRUE(window.messages.shown.empty());
        EXPECT_TRUE(window.Get<QRadioButton>("charSwappedRadio")->isChecked());
    }
}

TEST(NetworkSetupPageTest, DefaultsRefillThePanel) {
    CNetworkPageWindow window;
    window.Click("deviceNetRadio");
    window.Type("stationEdit", "40");
    window.Click("generateButton");
    EXPECT_EQ(window.app.m_deviceNetParams.m_nStationAddress, 40);
    window.Click("defaultsButton");
    EXPECT_EQ(window.Get<QLineEdit>("stationEdit")->text(), "20");
    EXPECT_EQ(window.app.m_deviceNetParams.m_nStationAddress, 20);
}

// The page's own selections run no reaction: a saved port 9 stays 9, and a saved group the list
// has no entry for is not replaced by -1.
TEST(NetworkSetupPageTest, SavedValuesTheListsLackStayAsTheyAre) {
    CNetworkPageWindow window("[General]\nCOM%20Port=9\nGroupNumber=7\nUnitNumber=3\n");
    window.ShowPage(CPageTabCtrl::kMessagesPage);
    window.ShowPage(kNetworkPage);
    EXPECT_EQ(window.Get<QComboBox>("portList")->currentIndex(), -1);
    EXPECT_EQ(window.Get<QComboBox>("groupList")->currentIndex(), -1);
    EXPECT_EQ(window.app.m_nComPort, 9);
    window.Click("generateButton");
    EXPECT_EQ(window.app.m_messageSettings.groupNumber, 7);
    EXPECT_EQ(window.app.m_messageSettings.unitNumber, 3);
    EXPECT_EQ(window.Generated().substr(0, 8), "^A070003");

    Choose(window.Get<QComboBox>("portList"), 8);
    EXPECT_EQ(window.app.m_nComPort, 8);
    Choose(window.Get<QComboBox>("portList"), 0);
    EXPECT_EQ(window.app.m_nComPort, 0);
}

TEST(NetworkSetupPageTest, ControlsAreNamedForScreenReaders) {
    CNetworkPageWindow window;
    struct Case {
        const char* object;
        const char* name;
        bool list;
    };
    const std::vector<Case> cases = {
        {"portList", "Use", true},
        {"groupList", "Group", true},
        {"unitList", "Unit", true},
        {"ethernetRadio", "Ethernet", false},
        {"deviceNetRadio", "DeviceNet", false},
        {"profibusRadio", "Profibus - DP", false},
        {"ipCtrl", "IP Address", false},
        {"maskCtrl", "Subnet Mask", false},
        {"gatewayCtrl", "Gateway Address", false},
        {"generatedEdit", "Generated String", false},
        {"baudList", "Baud Rate", true},
        {"highLowRadio", "High, Low ", false},
        {"disableButton", "Disable Network ", false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.object);
        QWidget* widget = window.Get<QWidget>(test.object);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->accessibleName().toStdString(), test.name);
        if (test.list) {
            EXPECT_EQ(widget->accessibleDescription().toStdString(), test.name);
        }
    }
    EXPECT_EQ(window.Get<CIpAddressCtrl>("gatewayCtrl")->OctetField(0)->accessibleName(),
              "Gateway Address octet 1");
}

}  // namespace
