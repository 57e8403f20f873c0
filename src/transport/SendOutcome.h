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
    // The sign closed the connection after taking every byte, so it read the message. Only TCP
    // sends that wait for the sign's close can tell (the fleet's); a serial line never can.
    bool confirmed = false;

    bool Delivered() const { return result.Ok(); }
};
