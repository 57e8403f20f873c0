#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "setup/Ipv4Text.h"
#include "transport/CSerialPort.h"

class IMessageService;

// The sign listens on this TCP port.
inline constexpr uint16_t kSignTcpPort = 49999;

// Seconds that each step of a TCP send may wait for room to send.
inline constexpr int kTcpSendTimeoutSeconds = 1;

// The settings a send reads, as they stand at the moment of the call.
struct LinkSettings {
    int32_t comPort = 0;  // 0 to 7: "COM1" to "COM8"; 8: Ethernet; anything else: "COM1"
    SerialLineSettings line;
    Ipv4Octets ipAddress{};
};

// The one way a command string leaves the program, apart from the settings it reads, so that it
// needs neither Qt nor a profile. The application object is one of these.
class CSendDispatcher {
public:
    // Gives the device path of "COMn" for n from 1 to 8.
    using DeviceResolver = std::function<std::string(int comNumber)>;

    explicit CSendDispatcher(DeviceResolver resolveDevice);
    virtual ~CSendDispatcher();

    // Where boxes go; until one is given they are dropped (the send's result still tells).
    void SetMessageService(IMessageService& messages);

    // Sends the bytes exactly as given over the chosen link; true when they were delivered. A
    // serial failure shows one box; a TCP failure has shown its "Error" box already.
    bool SendToMarquee(std::string text, const LinkSettings& link);

    // The box of a serial result code: codes 1 to 3 have one, every other code none.
    void ShowLinkError(int code);

    // Sends m_strSendText to m_strHostAddress port m_nHostPort in a connection of its own:
    // SEND_OK, or SEND_FAILED after an "Error" box with the failure's text (none for an empty
    // string, which sends nothing).
    virtual int SendOverTcp();

    // The last TCP send; kept after the call.
    std::string m_strSendText;
    std::string m_strHostAddress;
    uint16_t m_nHostPort = 0;

private:
    DeviceResolver m_resolveDevice;
    IMessageService* m_pMessages = nullptr;
    // One port for the whole program, as the sign has one line.
    CSerialPort m_serialPort;
};
