#include "transport/SerialDevices.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The kernel's number for a serial port without a UART (PORT_UNKNOWN).
constexpr int kUartUnknown = 0;
// Read and write permission within one class of the mode bits.
constexpr mode_t kReadWrite = 06;
constexpr mode_t kOwnerShift = 6;
constexpr mode_t kGroupShift = 3;
constexpr size_t kLookupBufferSize = 16384;
// An account in more groups than this is not looked at further.
constexpr int kMaxAccountGroups = 256;

// Splits "ttyUSB12" into "ttyUSB" and 12, so that ports sort as people count.
bool NaturalLess(const std::string& left, const std::string& right) {
    const auto split = [](const std::string& name) {
        size_t digits = name.size();
        while (digits > 0 && name[digits - 1] >= '0' && name[digits - 1] <= '9') {
            --digits;
        }
        const std::string number = name.substr(digits);
        return std::make_pair(name.substr(0, digits),
                              number.empty() ? -1L : std::strtol(number.c_str(), nullptr, 10));
    };
    return split(left) < split(right);
}

bool IsDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "ttyS3" and the like: the built-in ports, listed whether or not they exist in hardware.
bool IsBuiltInPortName(const std::string& name) {
    return name.size() > 4 && name.compare(0, 4, "ttyS") == 0 && IsDigits(name.substr(4));
}

bool HasUart(const SerialDeviceRoots& roots, const std::string& name) {
    std::ifstream type(roots.sysTtyDir + "/" + name + "/type");
    int uart = kUartUnknown;
    return static_cast<bool>(type >> uart) && uart != kUartUnknown;
}

// The names in a folder that begin with a prefix, in natural order.
std::vector<std::string> NamesIn(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0 && name.size() > prefix.size()) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(kLookupBufferSize);
    if (getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
        return std::to_string(gid);
    }
    return found->gr_name;
}

bool Contains(const std::vector<gid_t>& groups, gid_t gid) {
    return std::find(groups.begin(), groups.end(), gid) != groups.end();
}

// The open() check of the kernel on the mode bits: the first class the user falls in decides.
bool MayReadAndWrite(const struct stat& status, const DeviceUser& user) {
    if (user.uid == 0) {
        return true;
    }
    mode_t bits = status.st_mode;
    if (status.st_uid == user.uid) {
        bits >>= kOwnerShift;
    } else if (Contains(user.groups, status.st_gid)) {
        bits >>= kGroupShift;
    }
    return (bits & kReadWrite) == kReadWrite;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const SerialDeviceRoots& roots) {
    std::vector<std::string> devices;
    const std::string byId = roots.devDir + "/serial/by-id";
    for (const std::string& name : NamesIn(byId, "")) {
        std::error_code error;
        // A link left behind by an adapter that was pulled out leads nowhere.
        if (fs::exists(byId + "/" + name, error)) {
            devices.push_back(byId + "/" + name);
        }
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const std::string& name : NamesIn(roots.devDir, prefix)) {
            devices.push_back(roots.devDir + "/" + name);
        }
    }
    for (const std::string& name : NamesIn(roots.devDir, "ttyS")) {
        if (IsBuiltInPortName(name) && HasUart(roots, name)) {
            devices.push_back(roots.devDir + "/" + name);
        }
    }
    return devices;
}

DeviceUser CurrentDeviceUser() {
    DeviceUser user;
    user.uid = geteuid();
    const gid_t primary = getegid();
    user.groups.push_back(primary);
    const int count = getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> supplementary(static_cast<size_t>(count));
        const int got = getgroups(count, supplementary.data());
        supplementary.resize(static_cast<size_t>(std::max(got, 0)));
        user.groups.insert(user.groups.end(), supplementary.begin(), supplementary.end());
    }
    user.accountGroups = user.groups;

    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(kLookupBufferSize);
    if (getpwuid_r(user.uid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr) {
        std::vector<gid_t> account(kMaxAccountGroups);
        int accountCount = kMaxAccountGroups;
        if (getgrouplist(found->pw_name, found->pw_gid, account.data(), &accountCount) >= 0) {
            account.resize(static_cast<size_t>(accountCount));
            user.accountGroups = std::move(account);
        }
    }
    return user;
}

SerialDeviceStatus GetSerialDeviceStatus(const std::string& path, const DeviceUser& user,
                                         const SerialDeviceRoots& roots) {
    SerialDeviceStatus result;
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0) {
        return result;
    }
    if (!S_ISCHR(status.st_mode)) {
        result.state = SerialDeviceState::kNotSerial;
        return result;
    }
    // A by-id link names the port it leads to only after resolving.
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    const std::string name =
        error ? fs::path(path).filename().string() : target.filename().string();
    if (IsBuiltInPortName(name) && !HasUart(roots, name)) {
        result.state = SerialDeviceState::kNoUart;
        return result;
    }
    if (!MayReadAndWrite(status, user)) {
        result.state = SerialDeviceState::kNoAccess;
        // Joining the group helps only when the group may read and write it.
        if (((status.st_mode >> kGroupShift) & kReadWrite) != kReadWrite) {
            return result;
        }
        result.group = GroupName(status.st_gid);
        result.joinedPending =
            Contains(user.accountGroups, status.st_gid) && !Contains(user.groups, status.st_gid);
        return result;
    }
    result.state = SerialDeviceState::kUsable;
    return result;
}

std::string FileGroupName(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return {};
    }
    // Sends run off the UI thread: GroupName's lookup is the reentrant one.
    const std::string name = GroupName(status.st_gid);
    return name == std::to_string(status.st_gid) ? std::string() : name;
}
