#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <string>
#include <vector>

#include "gui/controls/CIpAddressCtrl.h"
#include "gui/pages/CComPortPanel.h"
#include "gui/pages/CEthernetAddressPanel.h"
#include "support/PageTestWindow.h"
#include "support/SendTestSupport.h"

namespace {

constexpr int kPcPage = CPageTabCtrl::kPcSetupPage;

class PcSetupPageTest : public testing::Test {
protected:
    static QComboBox* PortList(const CPageTestWindow& window) {
        return window.Find<QComboBox>(kPcPage, "portList");
    }
    static CComPortPanel* ComPanel(const CPageTestWindow& window) {
        return window.Page(kPcPage)->findChild<CComPortPanel*>();
    }
    static CEthernetAddressPanel* AddressPanel(const CPageTestWindow& window) {
        return window.Page(kPcPage)->findChild<CEthernetAddressPanel*>();
    }
    static CIpAddressCtrl* Address(const CPageTestWindow& window) {
        return window.Find<CIpAddressCtrl>(kPcPage, "addressCtrl");
    }
    static QComboBox* DeviceList(const CPageTestWindow& window) {
        return window.Find<QComboBox>(kPcPage, "deviceList");
    }
    static QString DeviceStatus(const CPageTestWindow& window) {
        return window.Find<QLabel>(kPcPage, "deviceStatus")->text();
    }
};

// Each choice takes effect at once, shows its panel, and is what the profile keeps at the end.
TEST_F(PcSetupPageTest, AChosenPortShowsItsPanelAndIsSavedAtTheEnd) {
    struct Case {
        int entry;
        bool addressPanel;
        const char* device;  // the device row, for a serial port nobody mapped
    };
    const std::vector<Case> cases = {
        {8, true, nullptr},       {0, false, "/dev/ttyS0"}, {7, false, "/dev/ttyS7"},
        {2, false, "/dev/ttyS2"}, {8, true, nullptr},
    };
    CPageTestWindow window;
    window.ShowPage(kPcPage);
    for (const Case& test : cases) {
        SCOPED_TRACE(test.entry);
        Choose(PortList(window), test.entry);
        EXPECT_EQ(window.app.ComPort(), test.entry);
        EXPECT_EQ(AddressPanel(window)->isVisible(), test.addressPanel);
        EXPECT_EQ(ComPanel(window)->isVisible(), !test.addressPanel);
        if (test.device != nullptr) {
            EXPECT_EQ(DeviceList(window)->currentText().toStdString(), test.device);
        }
    }
    window.Close();
    EXPECT_EQ(window.profile.GetProfileInt("COM Port", -1), 8);
    EXPECT_TRUE(window.messages.shown.empty());
}

TEST_F(PcSetupPageTest, TheRateChosenHereIsUsedOnceThePageIsLeftAndSavedAtTheEnd) {
    CPageTestWindow window;
    window.ShowPage(kPcPage);
    EXPECT_EQ(window.Find<QLabel>(kPcPage, "parityValue")->text(), "None");
    EXPECT_EQ(window.Find<QLabel>(kPcPage, "dataBitsValue")->text(), "8");
    EXPECT_EQ(window.Find<QLabel>(kPcPage, "stopBitsValue")->text(), "1");
    QComboBox* baud = window.Find<QComboBox>(kPcPage, "baudList");
    EXPECT_EQ(baud->currentText(), "9600");
    baud->setCurrentIndex(baud->findText("38400"));
    window.ShowPage(CPageTabCtrl::kMessagesPage);
    EXPECT_EQ(window.app.BaudRate(), 38400);
    EXPECT_EQ(window.app.CurrentLink().line.baudRate, 38400);
    window.Close();
    EXPECT_EQ(window.profile.GetProfileInt("Baud Rate", -1), 38400);
}

// Values saved by another version or by hand are shown as far as the lists can, and kept until
// the operator picks something else; the page's own selections change no setting.
TEST_F(PcSetupPageTest, SavedValuesOutOfTheUsualRangesAreKept) {
    struct Case {
        const char* profile;
        int shownPort;  // -1: no entry selected
        int shownBaud;
        int savedPort;
        int savedBaud;
        int savedOctet1;
    };
    const std::vector<Case> cases = {
        {"[General]\nCOM%20Port=9\nBaud%20Rate=300\nIP%20Address1=300\n", -1, -1, 9, 300, 44},
        {"[General]\nCOM%20Port=-1\nBaud%20Rate=38400\n", -1, 1, -1, 38400, 0},
        {"[General]\nCOM%20Port=8\nBaud%20Rate=9600\nIP%20Address1=10\n", 8, 0, 8, 9600, 10},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.profile);
        CPageTestWindow window(test.profile);
        window.ShowPage(kPcPage);
        EXPECT_EQ(PortList(window)->currentIndex(), test.shownPort);
        EXPECT_EQ(window.Find<QComboBox>(kPcPage, "baudList")->currentIndex(), test.shownBaud);
        // Through the other pages and back, as the operator looks around.
        window.ShowPage(CPageTabCtrl::kNetworkSetupPage);
        window.ShowPage(kPcPage);
        window.ShowPage(CPageTabCtrl::kMessagesPage);
        EXPECT_EQ(window.app.ComPort(), test.savedPort);
        EXPECT_EQ(window.app.BaudRate(), test.savedBaud);
        window.Close();
        EXPECT_EQ(window.profile.GetProfileInt("COM Port", -2), test.savedPort);
        EXPECT_EQ(window.profile.GetProfileInt("Baud Rate", -2), test.savedBaud);
        EXPECT_EQ(window.profile.GetProfileInt("IP Address1", -2), test.savedOctet1);
    }
}

TEST_F(PcSetupPageTest, AnotherPagesChoiceOfLinkIsShownHere) {
    CPageTestWindow window;
    window.ShowPage(CPageTabCtrl::kNetworkSetupPage);
    Choose(window.Find<QComboBox>(CPageTabCtrl::kNetworkSetupPage, "portList"), 8);
    window.ShowPage(kPcPage);
    EXPECT_EQ(PortList(window)->currentText(), "Ethernet");
    EXPECT_TRUE(AddressPanel(window)->isVisible());
    EXPECT_FALSE(ComPanel(window)->isVisible());
}

// What the address control shows is what is sent to and saved; empty fields count as 0.
TEST_F(PcSetupPageTest, TheAddressShownIsStoredWithEmptyOctetsAsZero) {
    struct Case {
        std::vector<int> cleared;
        Ipv4Octets stored;
    };
    const std::vector<Case> cases = {
        {{}, {10, 1, 2, 3}},
        {{1}, {10, 0, 2, 3}},
        {{0, 3}, {0, 1, 2, 0}},
        {{0, 1, 2, 3}, {0, 0, 0, 0}},
    };
    for (const Case& test : cases) {
        CPageTestWindow window(
            "[General]\nCOM%20Port=8\nIP%20Address1=10\nIP%20Address2=1\n"
            "IP%20Address3=2\nIP%20Address4=3\n");
        window.ShowPage(kPcPage);
        for (const int index : test.cleared) {
            Address(window)->OctetField(index)->clear();
        }
        window.ShowPage(CPageTabCtrl::kMessagesPage);
        EXPECT_EQ(window.app.IpAddress(), test.stored);
        window.Close();
        for (size_t index = 0; index < test.stored.size(); ++index) {
            const QString key = QStringLiteral("IP Address%1").arg(index + 1);
            EXPECT_EQ(window.profile.GetProfileInt(key, -1), test.stored[index]);
        }
    }
}

// The row names the device of the chosen port; what the operator puts there is the port's device
// for the next send and for lumivex-cli, and the status follows it.
TEST_F(PcSetupPageTest, TheDeviceRowMapsTheChosenPort) {
    CPtyPair pty;
    CPageTestWindow window("[General]\nCOM%20Port=2\n[Ports]\nCOM3=" + pty.SlavePath() + "\n");
    window.ShowPage(kPcPage);
    QComboBox* devices = DeviceList(window);
    EXPECT_EQ(devices->currentText().toStdString(), pty.SlavePath());
    EXPECT_EQ(DeviceStatus(window), "Present and usable.");

    const std::string missing = window.folder.filePath("ttyUSB9").toStdString();
    devices->lineEdit()->selectAll();
    QTest::keyClicks(devices->lineEdit(), QString::fromStdString(missing));
    EXPECT_EQ(DeviceStatus(window).toStdString(),
              "Not present: plug the adapter in, or choose another device.");
    EXPECT_EQ(window.app.CurrentLink().serialDevice, missing);

    // Opening the list makes it afresh and leaves the operator's text alone.
    devices->showPopup();
    devices->hidePopup();
    EXPECT_EQ(devices->currentText().toStdString(), missing);
    EXPECT_EQ(SerialDevicePath(window.profile, 3), missing);

    // Another port has its own device; the first keeps its mapping.
    Choose(PortList(window), 4);
    EXPECT_EQ(devices->currentText(), "/dev/ttyS4");
    EXPECT_EQ(SerialDevicePath(window.profile, 3), missing);
    window.Close();
    CProfileStore reader(window.folder.filePath("lumivex.conf"));
    EXPECT_EQ(SerialDevicePath(reader, 3), missing);
    EXPECT_EQ(SerialDevicePath(reader, 5), "/dev/ttyS4");
}

}  // namespace
