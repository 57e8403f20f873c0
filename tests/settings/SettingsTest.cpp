#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <utility>
#include <vector>

#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"

namespace {

// Keeps the order of writes, which a settings file does not show.
class RecordingProfile : public IProfileStore {
public:
    int32_t GetProfileInt(const QString& key, int32_t fallback) const override {
        reads.push_back(key);
        return fallback;
    }
    void WriteProfileInt(const QString& key, int32_t value) override {
        writes.emplace_back(key, value);
    }
    QString GetProfileString(const QString& group, const QString& key) const override {
        groupReads.emplace_back(group, key);
        return {};
    }
    void WriteProfileString(const QString&, const QString&, const QString&) override {}
    QString Sync() override { return {}; }

    mutable std::vector<QString> reads;
    mutable std::vector<std::pair<QString, QString>> groupReads;
    std::vector<std::pair<QString, int32_t>> writes;
};

const QStringList kKeyOrder = {"Address",     "GroupNumber", "UnitNumber",   "Position",
                               "Line",        "Column",      "Display Mode", "Effect",
                               "COM Port",    "Baud Rate",   "IP Address1",  "IP Address2",
                               "IP Address3", "IP Address4"};

QString WriteProfile(const QTemporaryDir& folder, const QByteArray& text) {
    const QString path = folder.filePath("lumivex.conf");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    return path;
}

TEST(SettingsTest, EmptyProfileKeepsEveryStartUpValue) {
    QTemporaryDir folder;
    CProfileStore profile(folder.filePath("lumivex.conf"));
    CMarqueeApp app(profile);
    app.LoadSettings();
    EXPECT_EQ(app.Message(), MessageSettings{});
    EXPECT_EQ(app.Message().line, 1);
    EXPECT_EQ(app.Message().column, 1);
    EXPECT_EQ(app.ComPort(), 0);
    EXPECT_EQ(app.BaudRate(), 9600);
    EXPECT_EQ(app.IpAddress(), (Ipv4Octets{0, 0, 0, 0}));
    EXPECT_EQ(app.NetworkType(), kNetworkEthernet);
}

TEST(SettingsTest, StoredValuesLoadAsTheyAre) {
    QTemporaryDir folder;
    const QString path = WriteProfile(folder,
                                      "[General]\nAddress=2\nGroupNumber=2\nUnitNumber=12\n"
                                      "Position=2\nLine=3\nColumn=40\nDisplay Mode=4\nEffect=3\n"
                                      "COM Port=9\nBaud Rate=300\nIP Address1=300\n"
                                      "IP Address2=-1\nIP Address3=0\nIP Address4=7\n");
    CProfileStore profile(path);
    CMarqueeApp app(profile);
    app.LoadSettings();
    const MessageSettings& s = app.Message();
    EXPECT_EQ(s.address, 2);
    EXPECT_EQ(s.groupNumber, 2);
    EXPECT_EQ(s.unitNumber, 12);
    EXPECT_EQ(s.position, 2);
    EXPECT_EQ(s.line, 3);
    EXPECT_EQ(s.column, 40);
    EXPECT_EQ(s.displayMode, 4);
    EXPECT_EQ(s.effect, 3);
    EXPECT_EQ(app.ComPort(), 9);
    EXPECT_EQ(app.BaudRate(), 300);
    EXPECT_EQ(app.IpAddress(), (Ipv4Octets{44, 255, 0, 7}));
}

// A value the page's lists or fields cannot show would leave a list blank while the string is built
// from it: it takes its start-up value, and one line says so.
TEST(SettingsTest, ValuesThePageCannotShowTakeTheirStartUpValue) {
    const struct {
        const char* stored;
        int32_t MessageSettings::*field;
        int32_t loaded;
        const char* warning;
    } cases[] = {
        {"Address=77", &MessageSettings::address, 0, "Setting Address=77 is outside 0 to 3"},
        {"Address=-1", &MessageSettings::address, 0, "Setting Address=-1 is outside 0 to 3"},
        {"Position=3", &MessageSettings::position, 0, "Setting Position=3 is outside 0 to 2"},
        {"Display Mode=5", &MessageSettings::displayMode, 0, "Display Mode=5 is outside 0 to 4"},
        {"Effect=9", &MessageSettings::effect, 0, "Setting Effect=9 is outside 0 to 4"},
        {"GroupNumber=-3", &MessageSettings::groupNumber, 0, "GroupNumber=-3 is below 0"},
        {"UnitNumber=-1", &MessageSettings::unitNumber, 0, "UnitNumber=-1 is below 0"},
        {"Line=0", &MessageSettings::line, 1, "Setting Line=0 is outside 1 to 4"},
        {"Column=41", &MessageSettings::column, 1, "Setting Column=41 is outside 1 to 40"},
        // Kept: the lists of group and unit are shorter than what is sent as stored.
        {"GroupNumber=250", &MessageSettings::groupNumber, 250, nullptr},
        {"Effect=4", &MessageSettings::effect, 4, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        QTemporaryDir folder;
        CProfileStore profile(WriteProfile(folder, QByteArray("[General]\n") + c.stored + "\n"));
        CMarqueeApp app(profile);
        testing::internal::CaptureStderr();
        app.LoadSettings();
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(app.Message().*c.field, c.loaded);
        if (c.warning != nullptr) {
            EXPECT_NE(said.find(c.warning), std::string::npos) << said;
            EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        } else {
            EXPECT_EQ(said, "");
        }
    }
}

TEST(SettingsTest, ValuesThatAreNotIntegersChangeNothing) {
    QTemporaryDir folder;
    const QString path = WriteProfile(
        folder, "[General]\nAddress=abc\nLine=\nColumn=12x\nCOM Port=99999999999\nEffect=2\n");
    CProfileStore profile(path);
    CMarqueeApp app(profile);
    app.Message().column = 7;
    app.LoadSettings();
    EXPECT_EQ(app.Message().address, 0);
    EXPECT_EQ(app.Message().line, 1);
    EXPECT_EQ(app.Message().column, 7);
    EXPECT_EQ(app.ComPort(), 0);
    EXPECT_EQ(app.Message().effect, 2);
}

TEST(SettingsTest, ReadsAndWritesInTableOrder) {
    RecordingProfile profile;
    CMarqueeApp app(profile);
    app.LoadSettings();
    EXPECT_EQ(QStringList(profile.reads.begin(), profile.reads.end()), kKeyOrder);

    app.SetIpAddress({10, 0, 0, 255});
    app.SetComPort(8);
    app.SaveSettings();
    QStringList written;
    for (const auto& [key, value] : profile.writes) {
        written << key;
    }
    EXPECT_EQ(written, kKeyOrder);
    EXPECT_EQ(profile.writes[8].second, 8);
    EXPECT_EQ(profile.writes[13].second, 255);

    profile.writes.clear();
    app.SaveCommSettings();
    ASSERT_EQ(profile.writes.size(), 6u);
    EXPECT_EQ(profile.writes.front().first, "COM Port");
}

TEST(SettingsTest, SavedValuesAreIntegersThatLoadBack) {
    QTemporaryDir folder;
    const QString path = folder.filePath("lumivex.conf");
    {
        CProfileStore profile(path);
        CMarqueeApp app(profile);
        app.Message().address = kAddressSpecificUnit;
        app.Message().unitNumber = 5;
        app.SetBaudRate(38400);
        app.SetIpAddress({192, 168, 1, 20});
        app.SaveSettings();
        EXPECT_TRUE(profile.Flush());
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("Baud%20Rate=38400\n") || text.contains("Baud Rate=38400\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains("IP%20Address1=192\n") || text.contains("IP Address1=192\n"));

    CProfileStore again(path);
    CMarqueeApp app(again);
    app.LoadSettings();
    EXPECT_EQ(app.Message().address, kAddressSpecificUnit);
    EXPECT_EQ(app.Message().unitNumber, 5);
    EXPECT_EQ(app.BaudRate(), 38400);
    EXPECT_EQ(app.IpAddress(), (Ipv4Octets{192, 168, 1, 20}));
}

// A profile that cannot be written (a regular file where its folder should be, which stops root
// too) loads nothing and keeps the members as they are; the first save says so, naming the file
// and the system's reason, and the saves after it say nothing more.
TEST(SettingsTest, AProfileThatCannotBeWrittenIsToldOnce) {
    QTemporaryDir folder;
    const QString path = WriteProfile(folder, "not a folder") + "/sub/lumivex.conf";
    CProfileStore profile(path);
    CMarqueeApp app(profile);
    app.LoadSettings();
    EXPECT_EQ(app.Message(), MessageSettings{});
    app.SetComPort(3);
    EXPECT_EQ(app.SaveSettings(), "The settings could not be saved to " + path.toStdString() +
                                      ": Not a directory.\nChanges to them are lost when Lumivex "
                                      "closes.");
    EXPECT_EQ(app.SaveCommSettings(), "");
    EXPECT_EQ(app.SaveSettings(), "");
    EXPECT_EQ(app.ComPort(), 3);
}

TEST(SerialDevicePathTest, MappedOrDefaultDevice) {
    QTemporaryDir folder;
    const QString path =
        WriteProfile(folder, "[Ports]\nCOM2=/dev/ttyUSB0\nCOM3=  /dev/serial/by-id/x  \n");
    CProfileStore profile(path);
    EXPECT_EQ(SerialDevicePath(profile, 1), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath(profile, 2), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath(profile, 3), "/dev/serial/by-id/x");
    EXPECT_EQ(SerialDevicePath(profile, 8), "/dev/ttyS7");
}

// Whoever edits the settings file by hand finds every key the program reads in the help, spelt
// as the file spells it.
TEST(SettingsTest, TheHelpNamesEverySettingsKeyTheProgramReads) {
    RecordingProfile profile;
    CMarqueeApp app(profile);
    app.LoadSettings();
    for (int comNumber = 1; comNumber <= 8; ++comNumber) {
        SerialDevicePath(profile, comNumber);
    }
    QFile file(QStringLiteral(LUMIVEX_HELP_SOURCE));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString help = QString::fromUtf8(file.readAll()).simplified();

    ASSERT_EQ(profile.reads.size(), 14u);
    ASSERT_EQ(profile.groupReads.size(), 8u);
    for (const QString& key : profile.reads) {
        EXPECT_TRUE(help.contains("<code>" + key + "</code>") || help.contains(key + "="))
            << key.toStdString();
    }
    for (const auto& [group, key] : profile.groupReads) {
        EXPECT_TRUE(help.contains("[" + group + "]")) << group.toStdString();
        EXPECT_TRUE(help.contains("<code>" + key + "</code>")) << key.toStdString();
    }
}

// The page maps a port in the file lumivex-cli reads; a by-id name with blanks and commas must
// come back whole, and clearing the mapping brings the default back.
TEST(SerialDevicePathTest, AMappingWrittenIsWhatTheNextReaderSees) {
    QTemporaryDir folder;
    const QString path = folder.filePath("lumivex.conf");
    const std::string byId = "/dev/serial/by-id/usb-FTDI_A, B=C;x-if00-port0";
    {
        CProfileStore profile(path);
        SetSerialDevicePath(profile, 3, byId);
        SetSerialDevicePath(profile, 5, "/dev/ttyUSB1");
        SetSerialDevicePath(profile, 5, "");
        EXPECT_TRUE(profile.Flush());
    }
    CProfileStore reader(path);
    EXPECT_EQ(SerialDevicePath(reader, 3), byId);
    EXPECT_EQ(SerialDevicePath(reader, 5), "/dev/ttyS4");
}

}  // namespace
