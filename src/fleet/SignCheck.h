#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "fleet/SignEndpoint.h"
#include "settings/SignsFile.h"
#include "transport/SerialDevices.h"

class CCancelToken;

// A sign's TCP port must take a connection within this long to count as reachable.
inline constexpr std::chrono::milliseconds kSignCheckConnectLimit{2000};

// Whether one sign can be reached, found without sending it anything.
struct SignCheckResult {
    size_t index = 0;  // the sign's place in the list checked
    std::string name;
    std::string link;  // "COM2 (/dev/ttyUSB0)", "Ethernet 192.168.0.20:49999"
    bool reachable = false;
    std::string text;  // "Present and usable.", "accepts connections", "Connection refused"
};

struct SignCheckOptions {
    std::chrono::milliseconds connectLimit = kSignCheckConnectLimit;
    SerialDeviceRoots roots;
};

// Checks every sign at once: a serial sign's device from its file alone (opening a port can reset
// the board behind it), a TCP sign by connecting and closing again. The callback, when given,
// hears of each sign as it is known, calls never overlapping; the results come in the signs'
// order. A cancelled token ends the waits at once.
std::vector<SignCheckResult> CheckSigns(
    const std::vector<NamedSign>& signs, const ComDeviceResolver& resolve,
    const CCancelToken* cancel = nullptr,
    const std::function<void(const SignCheckResult&)>& onResult = {},
    const SignCheckOptions& options = {});
