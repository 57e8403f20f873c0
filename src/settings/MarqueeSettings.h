#pragma once

#include <cstdint>

#include "encoding/MessageSettings.h"
#include "setup/Ipv4Text.h"
#include "setup/NetworkParams.h"
#include "transport/CSendDispatcher.h"

class IProfileStore;

inline constexpr int32_t kBaud9600 = 9600;
inline constexpr int32_t kBaud38400 = 38400;

// What the pages choose and the profile keeps: the message choices, the link, and the records of
// the sign's three network interfaces. Start-up values are the member initialisers; the profile's
// keys are in one table beside Load and the two saves.
struct MarqueeSettings {
    MessageSettings m_messageSettings;

    int32_t m_nComPort = 0;
    int32_t m_nBaudRate = kBaud9600;
    int32_t m_nByteSize = 8;
    bool m_bBinary = true;
    bool m_bParityCheck = true;
    int32_t m_nStopBits = 0;  // one stop bit
    int32_t m_nParity = 0;    // none
    Ipv4Octets m_ipAddress{};

    int32_t m_nNetworkType = kNetworkEthernet;
    CNetworkParams m_ethernetParams{kNetworkEthernet};
    CNetworkParams m_deviceNetParams{kNetworkDeviceNet};
    CNetworkParams m_profibusParams{kNetworkProfibus};

    // Reads the fourteen profile values in order; a missing or non-integer value leaves its member
    // as it is, and a message value the page's lists cannot show takes its start-up value with one
    // line on standard error. The address octets keep the low 8 bits of what is stored.
    void Load(const IProfileStore& profile);
    // The eight message values.
    void SaveMessageValues(IProfileStore& profile) const;
    // The six link values: port, baud rate and the four address octets (0 to 255).
    void SaveLinkValues(IProfileStore& profile) const;

    // The record of a network type: DeviceNet for 2, Profibus-DP for 3, else Ethernet.
    CNetworkParams& NetworkParams(int32_t type);
    // The serial line the link values choose.
    SerialLineSettings Line() const;
};
