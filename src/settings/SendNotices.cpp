#include "settings/SendNotices.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "transport/CSendDispatcher.h"

namespace {

constexpr const char* kErrorCaption = "Error";

std::string SystemText(int error) {
    return std::strerror(error);
}

// How to be let in to a device: the same words whether a send was refused or the device's row
// tells beforehand.
std::string JoinGroupAdvice(const std::string& group) {
    return "join the group \"" + group + "\" (sudo usermod -aG " + group + " $USER)";
}

// A serial failure the program has no text of its own for: the system's words, the device, and
// for a refused permission what the operator can do about it.
std::string SystemErrorText(const SendOutcome& outcome) {
    std::string text = SystemText(outcome.result.error) + ": " + outcome.devicePath;
    if (outcome.result.error == EACCES || outcome.result.error == EPERM) {
        const std::string group = outcome.deviceGroup.empty() ? "dialout" : outcome.deviceGroup;
        text += "\nTo use this port, " + JoinGroupAdvice(group) + " and log in again.";
    }
    return text;
}

}  // namespace

std::string LinkName(const SendOutcome& outcome) {
    if (outcome.overTcp) {
        return "Ethernet " + outcome.devicePath;
    }
    return outcome.portName + " (" + outcome.devicePath + ")";
}

std::string LinkFailure(const SendOutcome& outcome) {
    const LinkResult& result = outcome.result;
    if (result.Ok() || result.code == SEND_CANCELLED) {
        return {};
    }
    const std::string link = LinkName(outcome);
    if (!outcome.overTcp) {
        const bool opening = result.operation == LinkOperation::kOpen ||
                             result.operation == LinkOperation::kConfigure;
        std::string line = (opening ? "cannot open " : "cannot send to ") + link;
        // The program's texts of these say why already.
        const bool explained = result.code == SEND_SYSTEM_ERROR ||
                               result.code == SEND_BAUD_REFUSED || result.code == SEND_PORT_IN_USE;
        if (result.error != 0 && !explained) {
            line += ": " + SystemText(result.error);
        }
        return line;
    }
    // Over TCP the box's text is the system's reason.
    if (result.operation == LinkOperation::kNone) {
        return "nothing was sent to " + link + ": the command string is empty";
    }
    if (result.operation == LinkOperation::kConnect) {
        return "cannot connect to " + link;
    }
    if (result.operation == LinkOperation::kSendTimeout) {
        return link + " stopped taking data: nothing went through for " +
               std::to_string(kTcpSendTimeoutSeconds) + " s";
    }
    if (result.operation == LinkOperation::kSend) {
        return "the connection to " + link + " broke off while sending";
    }
    return "cannot send to " + link;
}

std::vector<SendNotice> SendNotices(const SendOutcome& outcome) {
    const LinkResult& result = outcome.result;
    const auto notice = [&outcome](std::string text, std::string caption, NoticeIcon icon) {
        return std::vector<SendNotice>{
            {std::move(text), std::move(caption), icon, LinkFailure(outcome)}};
    };
    switch (result.code) {
        case SEND_OK:
        case SEND_CANCELLED:
            return {};
        case SEND_INVALID_PORT:
            return notice("Invalid Port", {}, NoticeIcon::kExclamation);
        case SEND_PORT_IN_USE:
            return notice("Port in use Retry later", {}, NoticeIcon::kExclamation);
        case SEND_BAUD_REFUSED:
            return notice(outcome.devicePath + " cannot run at " +
                              std::to_string(outcome.baudRate) +
                              " bits per second.\nChoose another rate on the PC Communication "
                              "Setup page.",
                          {}, NoticeIcon::kExclamation);
        case SEND_SYSTEM_ERROR:
            return notice(SystemErrorText(outcome), kErrorCaption, NoticeIcon::kError);
        default:
            break;
    }
    if (!outcome.overTcp) {
        return notice("Error in sending data", {}, NoticeIcon::kExclamation);
    }
    // A socket failure shows the system's text; an empty string fails with no box of the link's.
    if (result.operation == LinkOperation::kNone) {
        return {};
    }
    return notice(SystemText(result.error), kErrorCaption, NoticeIcon::kError);
}

std::string SerialDeviceStatusText(const SerialDeviceStatus& status) {
    switch (status.state) {
        case SerialDeviceState::kMissing:
            return "Not present: plug the adapter in, or choose another device.";
        case SerialDeviceState::kNotSerial:
            return "Not a serial device: choose another device.";
        case SerialDeviceState::kNoUart:
            return "No serial port is behind this device: choose another device.";
        case SerialDeviceState::kUsable:
            return "Present and usable.";
        case SerialDeviceState::kNoAccess:
            break;
    }
    if (status.group.empty()) {
        return "Present, but not open to your account, nor to any group: ask the administrator, "
               "or choose another device.";
    }
    if (status.joinedPending) {
        return "Present, but not open to this session: your account joined the group \"" +
               status.group + "\" after you logged in. Log out and in again.";
    }
    return "Present, but not open to your account: " + JoinGroupAdvice(status.group) +
           ", then log out and in again.";
}
