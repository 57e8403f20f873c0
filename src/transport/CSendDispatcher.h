#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "setup/Ipv4Text.h"
#include "transport/CSerialPort.h"
#include "transport/CTcpSend.h"
#include "transport/SendOutcome.h"

class CCancelToken;

// The sign listens on this TCP port.
inline constexpr uint16_t kSignTcpPort = 49999;

// Port index of the link the PC uses: 0 to 7 for "COM1" to "COM8", 8 for "Ethernet".
inline constexpr int32_t kComPortCount = 8;
inline constexpr int32_t kPortEthernet = 8;

// The n of the "COMn" a port index sends to: 1 to 8 for 0 to 7; an index outside the lists (a
// stored value from elsewhere) falls back to "COM1".
int ComNumberOf(int32_t comPort);

// The settings a send reads, as they stand at the moment of the call.
struct LinkSettings {
    int32_t comPort = 0;  // 0 to 7: "COM1" to "COM8"; 8: Ethernet; anything else: "COM1"
    SerialLineSettings line;
    Ipv4Octets ipAddress{};
    // The device of the chosen "COMn" when the caller resolved it already (a send on another
    // thread must not read the profile); empty: the dispatcher resolves it.
    std::string serialDevice;
    WriteProgress progress;  // follows a serial write when set; a TCP send does not report
};

// The one way a command string leaves the program. It shows nothing: it returns what happened,
// and the caller tells the operator (on the UI thread), so a send may run on any thread. One send
// at a time.
class CSendDispatcher {
public:
    // Gives the device path of "COMn" for n from 1 to 8.
    using DeviceResolver = std::function<std::string(int comNumber)>;

    explicit CSendDispatcher(DeviceResolver resolveDevice);
    virtual ~CSendDispatcher();

    // Sends the bytes exactly as given over the chosen link. A token, when given, ends the link's
    // waits at once (SEND_CANCELLED).
    SendOutcome SendToMarquee(std::string text, const LinkSettings& link,
                              const CCancelToken* cancel = nullptr);

    // Sends m_strSendText to m_strHostAddress port m_nHostPort in a connection of its own, ending
    // at the last byte written: SEND_OK, or SEND_FAILED with the failed operation and its errno
    // (no operation for an empty string, which sends nothing). The socket is closed before it
    // returns.
    virtual LinkResult SendOverTcp(const CCancelToken* cancel = nullptr);

    // The last TCP send; kept after the call.
    std::string m_strSendText;
    std::string m_strHostAddress;
    uint16_t m_nHostPort = 0;

private:
    DeviceResolver m_resolveDevice;
    // One port for the whole program, as the sign has one line.
    CSerialPort m_serialPort;
};
