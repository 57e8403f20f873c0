#pragma once

#include <QObject>
#include <cstdint>
#include <string>

#include "settings/MarqueeSettings.h"
#include "transport/CSendDispatcher.h"

class CCancelToken;
class IProfileStore;

// The application object: the settings every page reads and writes, the profile they are kept in
// between runs, and the dispatcher every send goes through. Handed to the pages, so tests can
// build their own. The link choice is shared by three lists and the PC page: whoever changes it
// here, the others hear of it through LinkChosen.
class CMarqueeApp : public QObject {
    Q_OBJECT

public:
    explicit CMarqueeApp(IProfileStore& profile);

    // Reads the fourteen profile values (see MarqueeSettings::Load).
    void LoadSettings();
    // Writes the eight message values, then the link values.
    std::string SaveSettings();
    // Writes the six link values and has the profile keep them with everything else written so
    // far. Returns what the operator is told when the profile cannot be written, the first time
    // only; else an empty string.
    std::string SaveCommSettings();

    const MarqueeSettings& Settings() const { return m_settings; }
    // The composer's choices for the message, which the pages write as the operator chooses.
    MessageSettings& Message() { return m_settings.m_messageSettings; }
    const MessageSettings& Message() const { return m_settings.m_messageSettings; }

    // The port index: 0 to 7 for "COM1" to "COM8", 8 for Ethernet. A change is told to LinkChosen.
    int32_t ComPort() const { return m_settings.m_nComPort; }
    void SetComPort(int32_t comPort);
    int32_t BaudRate() const { return m_settings.m_nBaudRate; }
    void SetBaudRate(int32_t baudRate) { m_settings.m_nBaudRate = baudRate; }
    const Ipv4Octets& IpAddress() const { return m_settings.m_ipAddress; }
    void SetIpAddress(const Ipv4Octets& address) { m_settings.m_ipAddress = address; }

    int32_t NetworkType() const { return m_settings.m_nNetworkType; }
    void SetNetworkType(int32_t type) { m_settings.m_nNetworkType = type; }
    CNetworkParams& NetworkParams(int32_t type) { return m_settings.NetworkParams(type); }
    // The record of the current network type: DeviceNet for 2, Profibus-DP for 3, else Ethernet.
    CNetworkParams& CurrentNetworkParams() { return NetworkParams(NetworkType()); }

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

signals:
    // The port index changed; every list that shows it follows.
    void LinkChosen(int32_t comPort);

private:
    MarqueeSettings m_settings;
    IProfileStore& m_profile;
    CSendDispatcher m_dispatcher;
    bool m_bSaveFailureTold = false;
};
