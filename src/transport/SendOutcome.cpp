#include "transport/SendOutcome.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr const char* kErrorCaption = "Error";

std::string SystemText(int error) {
    return std::strerror(error);
}

// A serial failure the program has no text of its own for: the system's words, the device, and
// for a refused permission what the operator can do about it.
std::string SystemErrorText(const SendOutcome& outcome) {
    std::string text = SystemText(outcome.result.error) + ": " + outcome.devicePath;
    if (outcome.result.error == EACCES || outcome.result.error == EPERM) {
        const std::string group = outcome.deviceGroup.empty() ? "dialout" : outcome.deviceGroup;
        text += "\nTo use this port, join the group \"" + group + "\" (sudo usermod -aG " + group +
                " $USER) and log in again.";
    }
    return text;
}

}  // namespace

std::string SendOutcome::LinkName() const {
    if (overTcp) {
        return "Ethernet " + devicePath;
    }
    return portName + " (" + devicePath + ")";
}

std::vector<SendNotice> SendNotices(const SendOutcome& outcome) {
    const LinkResult& result = outcome.result;
    switch (result.code) {
        case SEND_OK:
        case SEND_CANCELLED:
            return {};
        case SEND_INVALID_PORT:
            return {{"Invalid Port", {}, NoticeIcon::kExclamation}};
        case SEND_PORT_IN_USE:
            return {{"Port in use Retry later", {}, NoticeIcon::kExclamation}};
        case SEND_BAUD_REFUSED:
            return {
                {outcome.devicePath + " cannot run at " + std::to_string(outcome.baudRate) +
                     " bits per second.\nChoose another rate on the PC Communication Setup page.",
                 {},
                 NoticeIcon::kExclamation}};
        case SEND_SYSTEM_ERROR:
            return {{SystemErrorText(outcome), kErrorCaption, NoticeIcon::kExclamation}};
        default:
            break;
    }
    if (!outcome.overTcp) {
        return {{"Error in sending data", {}, NoticeIcon::kExclamation}};
    }
    // A socket failure shows the system's text; an empty string fails with no box of the link's.
    if (result.operation.empty()) {
        return {};
    }
    return {{SystemText(result.error), kErrorCaption, NoticeIcon::kInformation}};
}

std::string FileGroupName(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return {};
    }
    // Sends run off the UI thread, so the reentrant lookup.
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(16384);
    if (getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->gr_name;
}
