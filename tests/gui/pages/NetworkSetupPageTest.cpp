#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "gui/controls/CIpAddressCtrl.h"
#include "gui/pages/CEthernetNetworkPanel.h"
#include "gui/pages/CFieldbusPanel.h"
#include "support/PageTestWindow.h"
#include "support/SendTestSupport.h"

namespace {

constexpr int kNetworkPage = CPageTabCtrl::kNetworkSetupPage;
using Box = std::pair<std::string, MessageIcon>;

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
    EXPECT_EQ(window.app.NetworkType(), kNetworkDeviceNet);
    EXPECT_TRUE(window.FieldbusShown());
    EXPECT_FALSE(window.EthernetShown());
    window.Click("charSwappedRadio");
    window.Type("stationEdit", "45");

    struct Case {
        const char* radio;
        const char* caption;
        QStringList labels;
        QStringList rates;
    };
    const std::vector<Case> cases = {
        {"profibusRadio",
         "Profibus",
         {"Node Address (0-125)", "Input Bytes (1-122)", "Output Bytes"},
         {"Auto"}},
        {"deviceNetRadio",
         "DeviceNet",
         {"MAC ID (0-63)", "Consumed Bytes (8-120)", "Produced Bytes"},
         {"125 kb/s", "250 kb/s", "500 kb/s"}},
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
        EXPECT_FALSE(window.Get<QLabel>("hintLabel")->isVisible());
        EXPECT_EQ(window.Get<QLineEdit>("stationEdit")->text(), "20");
        EXPECT_EQ(window.Get<QLineEdit>("inputEdit")->text(), "32");
        EXPECT_EQ(window.Get<QLineEdit>("outputEdit")->text(), "2");
        EXPECT_FALSE(window.Get<QLineEdit>("outputEdit")->isEnabled());
        EXPECT_TRUE(window.Get<QRadioButton>("charSwappedRadio")->isChecked());
        EXPECT_EQ(window.Generated(), generated);
    }
}

Box Asked(const std::string& question) {
    return {question, MessageIcon::kQuestion};
}
Box Refused(const char* done) {
    return {std::string("Ethernet network must be ") + done + " over serial communication port!",
            MessageIcon::kExclamation};
}
Box Outcome(const std::string& name, const char* what, bool sent) {
    return {name + " network " + what + " message " +
                (sent ? "was successfully sent." : "could not be sent!"),
            sent ? MessageIcon::kInformation : MessageIcon::kExclamation};
}

// Program Marquee and Disable Network over each kind of link, with each answer. Over TCP the sign
// is a loopback listener and the strings are read in full; a serial port is a pty.
TEST(NetworkSetupPageTest, ProgramAndDisableSendOrRefuseAsTheOperatorSays) {
    enum class Link { kSerial, kMissingSerial, kTcp };
    const Box invalidPort = {"Invalid Port", MessageIcon::kExclamation};
    const Box programDn = Asked(ProgramQuestion("DeviceNet"));
    const Box disableDn = Asked(DisableQuestion("DeviceNet"));
    struct Case {
        const char* what;
        const char* radio;
        Link link;
        bool program;         // else disable
        const char* station;  // typed into the station field first, when not empty
        MessageAnswer answer;
        bool sent;
        std::vector<Box> boxes;
    };
    const auto make = [](const char* what, const char* radio, Link link, bool program,
                         const char* station, MessageAnswer answer, bool sent,
                         std::vector<Box> boxes) {
        return Case{what, radio, link, program, station, answer, sent, std::move(boxes)};
    };
    const MessageAnswer yes = MessageAnswer::kYes;
    const MessageAnswer no = MessageAnswer::kNo;
    const std::vector<Case> cases = {
        make("Ethernet over Ethernet", "ethernetRadio", Link::kTcp, true, "", yes, false,
             {Refused("programmed")}),
        make("Ethernet over serial", "ethernetRadio", Link::kSerial, true, "", yes, true,
             {Asked(ProgramQuestion("Ethernet")), Outcome("Ethernet", "program", true)}),
        make("DeviceNet over Ethernet", "deviceNetRadio", Link::kTcp, true, "45", yes, true,
             {programDn, Outcome("DeviceNet", "program", true)}),
        make("No", "profibusRadio", Link::kSerial, true, "45", no, false,
             {Asked(ProgramQuestion("Profibus"))}),
        make("refused value", "deviceNetRadio", Link::kSerial, true, "64", yes, false,
             {{"Invalid MAC Address !\nValid Range is 0 - 63", MessageIcon::kStop}}),
        make("failed send", "deviceNetRadio", Link::kMissingSerial, true, "", yes, false,
             {programDn, invalidPort, Outcome("DeviceNet", "program", false)}),
        make("disable Ethernet over Ethernet", "ethernetRadio", Link::kTcp, false, "", yes, false,
             {Refused("disabled")}),
        make("disable Profibus over Ethernet", "profibusRadio", Link::kTcp, false, "", yes, true,
             {Asked(DisableQuestion("Profibus")), Outcome("Profibus", "disable", true)}),
        make("disable, No", "deviceNetRadio", Link::kSerial, false, "", no, false, {disableDn}),
        make("failed disable", "deviceNetRadio", Link::kMissingSerial, false, "", yes, false,
             {disableDn, invalidPort, Outcome("DeviceNet", "disable", false)}),
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        CPtyPair pty;
        const std::string device =
            test.link == Link::kMissingSerial ? "/nonexistent/ttyLumivex" : pty.SlavePath();
        CNetworkPageWindow window("[Ports]\nCOM1=" + device + "\n");
        std::unique_ptr<CLoopbackListener> sign;
        if (test.link == Link::kTcp) {
            sign = CLoopbackListener::AsSign(kSignTcpPort);
            ASSERT_NE(sign, nullptr);
            window.app.SetIpAddress(sign->Address());
            Choose(window.Get<QComboBox>("portList"), kPortEthernet);
        }
        window.Click(test.radio);
        if (*test.station != '\0') {
            window.Type("stationEdit", test.station);
        }
        window.messages.answers = {test.answer};
        window.Click(test.program ? "programButton" : "disableButton");
        EXPECT_EQ(window.Boxes(), test.boxes);
        if (test.link == Link::kTcp && test.sent) {
            // The connections wait in the listener's queue in the order they were made.
            const MessageSettings& address = window.app.Message();
            const CNetworkParams& params = window.app.CurrentNetworkParams();
            EXPECT_EQ(sign->AcceptAndReadAsync().get(), test.program
                                                            ? params.GetSetupString(address)
                                                            : params.GetDisableString(address));
            EXPECT_EQ(sign->AcceptAndReadAsync().get(),
                      GetConfirmationString(address, params.m_nType, test.program));
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
    EXPECT_EQ(window.app.NetworkParams(kNetworkProfibus).m_nInputSize, 32) << "nothing stored";
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
    EXPECT_EQ(window.app.NetworkParams(kNetworkDeviceNet).m_nStationAddress, 63);
    EXPECT_EQ(window.app.NetworkParams(kNetworkDeviceNet).m_nBaudCode, kBaud500);
}

// Disable Network uses the shared group and unit as they stand, whatever the lists show.
TEST(NetworkSetupPageTest, DisableUsesTheSharedAddress) {
    auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_NE(sign, nullptr);
    CNetworkPageWindow window;
    window.app.SetIpAddress(sign->Address());
    Choose(window.Get<QComboBox>("portList"), kPortEthernet);
    window.Click("deviceNetRadio");
    // The composer chose group 2 since this page was made.
    window.app.Message().groupNumber = 2;
    window.Click("disableButton");
    EXPECT_EQ(window.Get<QComboBox>("groupList")->currentText(), "0");
    EXPECT_EQ(window.Generated(), "^A020000^P2Z");
    EXPECT_EQ(sign->AcceptAndReadAsync().get(), "^A020000^P2Z");
    EXPECT_EQ(sign->AcceptAndReadAsync().get(),
              GetConfirmationString(window.app.Message(), kNetworkDeviceNet, false));
}

// Generate String and Set to Default Values show their strings and send nothing; the defaults
// also refill the panel, while the byte-order choice stays.
TEST(NetworkSetupPageTest, GenerateAndDefaultsShowStringsAndSendNothing) {
    struct Case {
        const char* radio;
        int group;
        int unit;
        std::vector<int> clearedIpOctets;
        const char* station;  // typed first, when not empty
        const char* button;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"ethernetRadio",
         0,
         0,
         {},
         "",
         "generateButton",
         "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000"},
        {"ethernetRadio",
         1,
         8,
         {1, 3},
         "",
         "generateButton",
         "^A010008^P1A192.000.000.000^P1M255.255.255.000^P1G000.000.000.000"},
        {"deviceNetRadio", 1, 2, {}, "40", "defaultsButton", "^A010002^P2L"},
        {"profibusRadio", 2, 5, {}, "7", "generateButton", "^A020005^P3A007^P3R032^P3S002^P3W1"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.expected);
        CNetworkPageWindow window;
        window.Click(test.radio);
        window.Get<QRadioButton>("charSwappedRadio")->setChecked(true);
        for (const int index : test.clearedIpOctets) {
            window.Get<CIpAddressCtrl>("ipCtrl")->OctetField(index)->clear();
        }
        if (*test.station != '\0') {
            window.Type("stationEdit", test.station);
        }
        window.Get<QComboBox>("groupList")->setCurrentIndex(test.group);
        window.Get<QComboBox>("unitList")->setCurrentIndex(test.unit);
        window.Click(test.button);
        EXPECT_EQ(window.Generated(), test.expected);
        EXPECT_EQ(window.app.Message().groupNumber, test.group);
        EXPECT_EQ(window.app.Message().unitNumber, test.unit);
        EXPECT_TRUE(window.messages.shown.empty());
        EXPECT_TRUE(window.Get<QRadioButton>("charSwappedRadio")->isChecked());
        if (test.button == std::string("defaultsButton")) {
            EXPECT_EQ(window.Get<QLineEdit>("stationEdit")->text(), "20");
        }
    }
}

// The page's own selections run no reaction: a saved port 9 stays 9, and a saved group the list
// has no entry for is not replaced by -1.
TEST(NetworkSetupPageTest, SavedValuesTheListsLackStayAsTheyAre) {
    CNetworkPageWindow window("[General]\nCOM%20Port=9\nGroupNumber=7\nUnitNumber=3\n");
    window.ShowPage(CPageTabCtrl::kMessagesPage);
    window.ShowPage(kNetworkPage);
    // The composer page, as it was hidden, took its own lists' numbers; these stand for a group
    // and unit from elsewhere that this page's lists have no entry for.
    window.app.Message().groupNumber = 7;
    window.app.Message().unitNumber = 3;
    EXPECT_EQ(window.Get<QComboBox>("portList")->currentIndex(), -1);
    EXPECT_EQ(window.Get<QComboBox>("groupList")->currentIndex(), -1);
    EXPECT_EQ(window.app.ComPort(), 9);
    window.Click("generateButton");
    EXPECT_EQ(window.app.Message().groupNumber, 7);
    EXPECT_EQ(window.app.Message().unitNumber, 3);
    EXPECT_EQ(window.Generated().substr(0, 8), "^A070003");

    Choose(window.Get<QComboBox>("portList"), 8);
    EXPECT_EQ(window.app.ComPort(), 8);
    Choose(window.Get<QComboBox>("portList"), 0);
    EXPECT_EQ(window.app.ComPort(), 0);
}

}  // namespace
