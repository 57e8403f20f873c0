#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "encoding/MessageSettings.h"
#include "settings/SignsFile.h"
#include "transport/CSendDispatcher.h"
#include "transport/SendOutcome.h"

class IProfileStore;

// Gives the device path of "COMn" for n from 1 to 8, as the settings' [Ports] map it.
using ComDeviceResolver = std::function<std::string(int comNumber)>;

// The devices the profile maps "COM1" to "COM8" to. The profile must outlive it and is read on
// the thread that builds a plan, never by the sends.
ComDeviceResolver ProfileDevices(const IProfileStore& profile);

// Where a sign's string goes, settled on the caller's thread (the profile is read there, never by
// a send running elsewhere).
struct SignEndpoint {
    bool overTcp = false;
    int comNumber = 1;        // serial: the n of "COMn"
    std::string devicePath;   // serial: the device "COMn" is mapped to
    SerialLineSettings line;  // serial
    std::string host;         // TCP: "A.B.C.D"
    uint16_t port = kSignTcpPort;

    // Signs with the same key share one link and take their turns on it: a serial device (an
    // RS-485 line is one wire), or one address and port (an adapter takes one connection at a
    // time).
    std::string LinkKey() const;
    // An outcome that names the link and has no result yet: "COM3 (/dev/ttyUSB0)",
    // "Ethernet 192.168.0.20:49999".
    SendOutcome BlankOutcome() const;
};

SignEndpoint ResolveSignEndpoint(const NamedSign& sign, const ComDeviceResolver& resolve);

// The message's choices as one sign gets them: its own address, group and unit, and its model.
MessageSettings SettingsForSign(const MessageSettings& message, const NamedSign& sign);
