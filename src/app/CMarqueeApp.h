#pragma once

#include <cstdint>
#include <string>

#include "encoding/MessageSettings.h"
#include "setup/NetworkParams.h"
#include "transport/CSendDispatcher.h"

class IProfileStore;

// Port index of the link the PC uses: 0 to 7 for "COM1" to "COM8", 8 for "Ethernet".
inline constexpr int32_t kComPortCount = 8;
inline constexpr int32_t kPortEthernet = 8;

inline constexpr int32_t kBaud9600 = 9600;
inline constexpr int32_t kBaud38400 = 38400;

// The application object: the settings every page reads and writes, and the profile they are
// kept in between runs. A plain object handed to the pages, so tests can build their own.
// Its send role (SendToMarquee, SendOverTcp, ShowLinkError, the TCP members, SetMessageService)
// comes from CSendDispatcher.
class CMarqueeApp : public CSendDispatcher {
public:
    explicit CMarqueeApp(IProfileStore& profile);

    // Reads the fourteen profile values in order; a missing or non-integer value leaves its member
    // as it is. The address octets keep the low 8 bits of what is stored.
    void LoadSettings();
    // Writes the eight message values, then the link values.
    void SaveSettings();
    // Writes the six link values: port, baud rate and the four address octets (0 to 255).
    void SaveCommSettings();

    // The record of the current network type: DeviceNet for 2, Profibus-DP for 3, else Ethernet.
    CNetworkParams& CurrentNetworkParams();

    IProfileStore& Profile() { return m_profile; }

    // Sends the bytes over the link the settings choose as they stand now; "COMn" is the device
    // the profile maps it to. True when the string was delivered.
    bool SendToMarquee(std::string text);

    MessageSettings m_messageSettings;

    int32_t m_nComPort = 0;
    int32_t m_nBaudRate = kBaud9600;
    int32_t m_nByteSize = 8;
    int32_t m_bBinary = 1;
    int32_t m_bParityCheck = 1;
    int32_t m_nStopBits = 0;  // one stop bit
    int32_t m_nParity = 0;    // none
    Ipv4Octets m_ipAddress{};

    int32_t m_nNetworkType = kNetworkEthernet;
    CNetworkParams m_ethernetParams{kNetworkEthernet};
    CNetworkParams m_deviceNetParams{kNetworkDeviceNet};
    CNetworkParams m_profibusParams{kNetworkProfibus};

private:
    IProfileStore& m_profile;
};
