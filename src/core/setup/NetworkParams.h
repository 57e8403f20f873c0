#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "encoding/MessageSettings.h"
#include "setup/Ipv4Text.h"

// The sign's optional network interface.
enum NetworkType : int32_t {
    kNetworkEthernet = 1,
    kNetworkDeviceNet = 2,
    kNetworkProfibus = 3,
};

// DeviceNet bit-rate codes, the index of the bit-rate list entry.
inline constexpr uint8_t kBaud125 = 0;
inline constexpr uint8_t kBaud250 = 1;
inline constexpr uint8_t kBaud500 = 2;

// Byte-order flags: bit 0 for message bytes "Char 2, Char 1", bit 1 for count and status bytes
// "Low, High".
inline constexpr int32_t kByteOrderMessageSwapped = 1;
inline constexpr int32_t kByteOrderCountLowFirst = 2;

constexpr int32_t MakeByteOrder(bool messageSwapped, bool countLowFirst) {
    return (messageSwapped ? kByteOrderMessageSwapped : 0) |
           (countLowFirst ? kByteOrderCountLowFirst : 0);
}

// The parameters of one network interface type. A plain value: a copy carries every member.
class CNetworkParams {
public:
    explicit CNetworkParams(int32_t type);

    // Resets the members the type uses to its defaults; the type and byte order stay.
    void SetDefaults();

    // 250 for code 1, 500 for code 2, 125 for every other code.
    int32_t GetBaudKbps() const;

    // The strings address the sign with the group and unit numbers of the settings at the moment
    // of the call, whatever the composer's address mode.
    std::string GetSetupString(const MessageSettings& address) const;
    std::string GetLoadDefaultsString(const MessageSettings& address) const;
    std::string GetDisableString(const MessageSettings& address) const;

    bool operator==(const CNetworkParams&) const = default;

    int32_t m_nType;
    int32_t m_nInputSize = 0;
    int32_t m_nOutputSize = 0;
    int32_t m_nStationAddress = 0;
    int32_t m_nByteOrder = 0;
    uint8_t m_nBaudCode = 0;
    Ipv4Octets m_cardIp{};
    Ipv4Octets m_cardMask{};
    Ipv4Octets m_cardGateway{};
};

// "^A" with the group as two digits and the unit as four.
std::string GetAddressPrefix(const MessageSettings& address);

// "Ethernet", "DeviceNet", "Profibus", or empty for any other type.
std::string GetNetworkName(int32_t type);

// The message the sign scrolls after its interface was programmed (programmed = true) or disabled.
std::string GetConfirmationString(const MessageSettings& address, int32_t type, bool programmed);
