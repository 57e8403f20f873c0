#pragma once

#include <string>
#include <vector>

#include "transport/SendOutcome.h"
#include "transport/SerialDevices.h"

// The operator's words for a send's outcome and a serial device's state, the same in the program's
// boxes and lumivex-cli's lines.

// "COM3 (/dev/ttyUSB0)" or "Ethernet 127.0.0.1:49999".
std::string LinkName(const SendOutcome& outcome);

// How a notice is shown: the icons of the program's message boxes.
enum class NoticeIcon { kExclamation, kError };

// One box of a send's outcome: its text, its caption (empty: the application's title), its icon,
// and below the text the line that names the link (LinkFailure).
struct SendNotice {
    std::string text;
    std::string caption;
    NoticeIcon icon = NoticeIcon::kExclamation;
    std::string details;
};

// What failed on which link, with the system's reason where the notice's own text does not give
// it: "cannot open COM3 (/dev/ttyUSB0): No such file or directory", "cannot connect to Ethernet
// 127.0.0.3:49999". Empty for a delivered or a cancelled send.
std::string LinkFailure(const SendOutcome& outcome);

// The boxes the operator sees for an outcome, before the caller's own "sent" or "failed": none for
// a delivered string, a cancelled send or an empty string over TCP; else exactly one.
std::vector<SendNotice> SendNotices(const SendOutcome& outcome);

// One line for the operator about a serial device (the "Device" row, the check of a sign): what
// the status means and, for a refused device, what to do.
std::string SerialDeviceStatusText(const SerialDeviceStatus& status);
