#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/SendTestSupport.h"
#include "transport/SerialDevices.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own for one test, removed afterwards.
class CScratchDir {
public:
    CScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "lumivex-devices-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    }
    ~CScratchDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    CScratchDir(const CScratchDir&) = delete;
    CScratchDir& operator=(const CScratchDir&) = delete;

    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    void WriteFile(const std::string& name, const std::string& text) const {
        fs::create_directories(fs::path(Path(name)).parent_path());
        std::ofstream(Path(name)) << text;
    }

private:
    std::string m_path;
};

// A user who owns nothing here and is in no group but one that owns nothing either.
constexpr uid_t kStranger = 54321;
constexpr gid_t kStrangersGroup = 54321;
constexpr uid_t kOwnerStandIn = 54322;

DeviceUser Stranger(std::vector<gid_t> groups = {kStrangersGroup}) {
    return {kStranger, groups, groups};
}

TEST(SerialDevicesTest, ListsStableNamesFirstAndOnlyBuiltInPortsWithAUart) {
    CScratchDir root;
    const SerialDeviceRoots roots{root.Path("dev"), root.Path("sys")};
    for (const char* name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "ttyS2", "ttyS10",
                             "ttySAC", "ttyS", "tty0", "ttyUSB"}) {
        root.WriteFile(std::string("dev/") + name, "");
    }
    // The kernel's word on which built-in ports have a UART: type 0 is none.
    root.WriteFile("sys/ttyS0/type", "4\n");
    root.WriteFile("sys/ttyS1/type", "0\n");
    root.WriteFile("sys/ttyS10/type", "4\n");
    fs::create_directories(root.Path("dev/serial/by-id"));
    fs::create_symlink("../../ttyUSB2", root.Path("dev/serial/by-id/usb-FTDI_A-if00-port0"));
    // An adapter pulled out leaves no link, but a stale one must not be offered.
    fs::create_symlink("../../ttyUSB7", root.Path("dev/serial/by-id/usb-Gone-if00-port0"));

    const std::vector<std::string> expected = {
        root.Path("dev/serial/by-id/usb-FTDI_A-if00-port0"),
        root.Path("dev/ttyUSB2"),
        root.Path("dev/ttyUSB10"),
        root.Path("dev/ttyACM0"),
        root.Path("dev/ttyS0"),
        root.Path("dev/ttyS10"),
    };
    EXPECT_EQ(ListSerialDevices(roots), expected);
}

// The status comes from the file's owner, group and mode as the kernel would weigh them for an
// open for reading and writing.
TEST(SerialDevicesTest, StatusOfARealDevice) {
    CPtyPair pty;
    const std::string device = pty.SlavePath();
    struct stat status {};
    ASSERT_EQ(stat(device.c_str(), &status), 0);
    // Root owns the pty when the tests run as root; then another owner stands in, so that the
    // owner's case is about a user the mode bits bind.
    uid_t owner = status.st_uid;
    if (owner == 0 && chown(device.c_str(), kOwnerStandIn, static_cast<gid_t>(-1)) == 0) {
        owner = kOwnerStandIn;
    }
    const gid_t group = status.st_gid;

    struct Case {
        const char* what;
        mode_t mode;
        DeviceUser user;
        SerialDeviceState expected;
        bool joinedPending;
    };
    const std::vector<Case> cases = {
        {"this very user", 0620, CurrentDeviceUser(), SerialDeviceState::kUsable, false},
        {"a member of its group", 0660, Stranger({kStrangersGroup, group}),
         SerialDeviceState::kUsable, false},
        {"a stranger", 0660, Stranger(), SerialDeviceState::kNoAccess, false},
        {"a member, read only for the group", 0640, Stranger({group}), SerialDeviceState::kNoAccess,
         false},
        {"owner only", 0600, Stranger({group}), SerialDeviceState::kNoAccess, false},
        {"a stranger, open to all", 0666, Stranger(), SerialDeviceState::kUsable, false},
        // The owner's own bits decide for the owner, even when everybody else may.
        {"the owner shut out", 0066, DeviceUser{owner, {group}, {group}},
         SerialDeviceState::kNoAccess, false},
        {"joined after logging in", 0660, DeviceUser{kStranger, {kStrangersGroup}, {group}},
         SerialDeviceState::kNoAccess, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        if (test.user.uid == 0) {
            continue;  // root opens whatever the bits say; nothing to tell
        }
        ASSERT_EQ(chmod(device.c_str(), test.mode), 0);
        const SerialDeviceStatus result = GetSerialDeviceStatus(device, test.user);
        EXPECT_EQ(result.state, test.expected);
        if (test.expected == SerialDeviceState::kNoAccess) {
            // Joining the group is worth saying only when the group may read and write.
            EXPECT_EQ(result.group.empty(), (test.mode & 060) != 060);
            EXPECT_EQ(result.joinedPending, test.joinedPending);
        }
    }
    EXPECT_EQ(GetSerialDeviceStatus(device, DeviceUser{0, {0}, {0}}).state,
              SerialDeviceState::kUsable);
    chmod(device.c_str(), status.st_mode & 07777);
    chown(device.c_str(), status.st_uid, static_cast<gid_t>(-1));
}

TEST(SerialDevicesTest, StatusOfWhatIsNoUsableDevice) {
    CScratchDir root;
    root.WriteFile("plain", "not a device");
    fs::create_symlink(root.Path("nowhere"), root.Path("dangling"));
    const DeviceUser user = CurrentDeviceUser();
    EXPECT_EQ(GetSerialDeviceStatus(root.Path("missing"), user).state, SerialDeviceState::kMissing);
    EXPECT_EQ(GetSerialDeviceStatus(root.Path("dangling"), user).state,
              SerialDeviceState::kMissing);
    EXPECT_EQ(GetSerialDeviceStatus("", user).state, SerialDeviceState::kMissing);
    EXPECT_EQ(GetSerialDeviceStatus(root.Path("plain"), user).state, SerialDeviceState::kNotSerial);
}

// A built-in port that the kernel lists without a UART behind it fails to open; the status says
// so rather than "usable". Making the device node needs the right to do so.
TEST(SerialDevicesTest, ABuiltInPortWithoutUartIsNoPort) {
    CScratchDir root;
    const SerialDeviceRoots roots{root.Path("dev"), root.Path("sys")};
    fs::create_directories(root.Path("dev"));
    constexpr unsigned kTtySMajor = 4;
    constexpr unsigned kTtyS5Minor = 69;
    if (mknod(root.Path("dev/ttyS5").c_str(), S_IFCHR | 0660, makedev(kTtySMajor, kTtyS5Minor)) !=
        0) {
        GTEST_SKIP() << "no right to make a device node here";
    }
    fs::create_directories(root.Path("dev/serial/by-id"));
    fs::create_symlink("../../ttyS5", root.Path("dev/serial/by-id/pci-port5"));
    const DeviceUser root0{0, {0}, {0}};

    root.WriteFile("sys/ttyS5/type", "0\n");
    EXPECT_EQ(GetSerialDeviceStatus(root.Path("dev/ttyS5"), root0, roots).state,
              SerialDeviceState::kNoUart);
    EXPECT_EQ(GetSerialDeviceStatus(root.Path("dev/serial/by-id/pci-port5"), root0, roots).state,
              SerialDeviceState::kNoUart);
    root.WriteFile("sys/ttyS5/type", "4\n");
    EXPECT_EQ(GetSerialDeviceStatus(root.Path("dev/ttyS5"), root0, roots).state,
              SerialDeviceState::kUsable);
}

}  // namespace
