#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Where devices and the kernel's description of them are looked up; tests give folders of their
// own.
struct SerialDeviceRoots {
    std::string devDir = "/dev";
    std::string sysTtyDir = "/sys/class/tty";
};

// The serial devices present, in the order an operator looks for them: the names under
// serial/by-id first (they stay the same whichever USB socket an adapter is in), then ttyUSB and
// ttyACM, then only those ttyS ports that have a UART behind them (a PC lists ttyS0 to ttyS31
// whether or not it has any). Each kind in natural order: ttyUSB2 before ttyUSB10.
std::vector<std::string> ListSerialDevices(const SerialDeviceRoots& roots = {});

// Who is to open a device.
struct DeviceUser {
    uid_t uid = 0;
    // The groups this session has: the process's group and its supplementary groups.
    std::vector<gid_t> groups;
    // The groups the account is in now; a group joined after logging in is here but not above.
    std::vector<gid_t> accountGroups;
};

// This process's user.
DeviceUser CurrentDeviceUser();

enum class SerialDeviceState {
    kMissing,    // no such file, or a link to nothing
    kNotSerial,  // a file, but not a character device
    kNoUart,     // a ttyS port with no UART behind it: opening it fails
    kNoAccess,   // present, but this user may not open it for reading and writing
    kUsable,
};

struct SerialDeviceStatus {
    SerialDeviceState state = SerialDeviceState::kMissing;
    // kNoAccess: the group that owns the device when its members may open it, else empty.
    std::string group;
    // kNoAccess: the account joined that group after this session began.
    bool joinedPending = false;
};

// Tells from the device's file and the kernel's description alone, never by opening it: opening a
// port can reset the board behind it, and ttyS0 is often the console.
SerialDeviceStatus GetSerialDeviceStatus(const std::string& path, const DeviceUser& user,
                                         const SerialDeviceRoots& roots = {});

// The name of the group that owns a file, or "" when it cannot be told.
std::string FileGroupName(const std::string& path);
