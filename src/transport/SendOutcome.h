#pragma once

#include <cstdint>
#include <string>

#include "transport/LinkResult.h"

// What happened to one send: the link's result and where it went. The operator's words for it are
// made above the transport.
struct SendOutcome {
    LinkResult result;
    bool overTcp = false;
    std::string portName;     // "COM3", or "Ethernet"
    std::string devicePath;   // the serial device, or the sign's "A.B.C.D:49999"
    std::string deviceGroup;  // the group that may open a device this user may not (EACCES)
    int32_t baudRate = 0;     // the rate a serial line was asked for

    bool Delivered() const { return result.Ok(); }
};
