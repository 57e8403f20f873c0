#pragma once

#include <cstdint>
#include <string>

#include "encoding/MessageSettings.h"
#include "setup/NetworkParams.h"
#include "transport/CSendDispatcher.h"

class CCancelToken;
class IProfileStore;

inline constexpr int32_t kBaud9600 = 9600;
inline constexpr int32_t kBaud38400 = 38400;

// The application object: the settings every page reads and writes, and the profile they are
// kept in between runs, and the dispatcher every send goes through. A plain object handed to the
// pages, so tests can build their own.
class CMarqueeApp {
public:
    explicit CMarqueeApp(IProfileStore& profile);

    // Reads the fourteen profile values in order; a missing or non-integer value leaves its member
    // as it is. The address octets keep the low 8 bits of what is stored.
    void LoadSettings();
    // Writes the eight message values, then the link values.
    std::string SaveSettings();
    // Writes the six link values: port, baud rate and the four address octets (0 to 255), and
    // has the profile keep them with everything else written so far. Returns what the operator
    // is told when the profile cannot be written, the first time only; else an empty string.
    std::string SaveCommSettings();

    // The record of the current network type: DeviceNet for 2, Profibus-DP for 3, else Ethernet.
    CNetworkParams& CurrentNetworkParams();

    IProfileStore& Profile() { return m_profile; }

    // The link as the settings choose it now, with the device of "COMn" resolved, so that a send
    // made later, on any thread, uses what it was given.
    LinkSettings CurrentLink() const;

    // Sends the bytes over the link the settings choose as they stand now; "COMn" is the device
    // the profile maps it to. Shows nothing: the outcome says what happened.
    SendOutcome SendToMarquee(std::string text, const CCancelToken* cancel = nullptr);
    // The same over a link taken earlier, for a send that runs off the UI thread.
    SendOutcome SendToMarquee(std::string text, const LinkSettings& link,
                              const CCancelToken* cancel = nullptr);

    CSendDispatcher& Dispatcher() { return m_dispatcher; }

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

private:
    IProfileStore& m_profile;
    CSendDispatcher m_dispatcher;
    bool m_bSaveFailureTold = false;
};
