#include "setup/NetworkParams.h"

#include <string_view>

#include "encoding/CommandNotation.h"

namespace {

constexpr Ipv4Octets kEthernetDefaultIp = {192, 168, 0, 1};
constexpr Ipv4Octets kEthernetDefaultMask = {255, 255, 255, 0};
constexpr int32_t kFieldbusDefaultStation = 20;
constexpr int32_t kFieldbusDefaultInput = 32;
constexpr int32_t kFieldbusDefaultOutput = 2;

// "%03d.%03d.%03d.%03d"
void AppendDottedOctets(std::string& out, const Ipv4Octets& octets) {
    for (size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) {
            out += '.';
        }
        AppendDecimal(out, octets[i], 3);
    }
}

// One setup code: its type prefix, its letter and its zero-padded value.
void AppendCode(std::string& out, const char* prefix, char letter, int64_t value, int width) {
    out += prefix;
    out += letter;
    AppendDecimal(out, value, width);
}

// Every code of a type starts so; an unknown type is addressed as Ethernet.
const char* TypePrefix(int32_t type) {
    switch (type) {
        case kNetworkDeviceNet:
            return "^P2";
        case kNetworkProfibus:
            return "^P3";
        default:
            return "^P1";
    }
}

}  // namespace

CNetworkParams::CNetworkParams(int32_t type) : m_nType(type) {
    SetDefaults();
}

void CNetworkParams::SetDefaults() {
    const bool fieldbus = m_nType == kNetworkDeviceNet || m_nType == kNetworkProfibus;
    if (fieldbus) {
        m_nStationAddress = kFieldbusDefaultStation;
        m_nInputSize = kFieldbusDefaultInput;
        m_nOutputSize = kFieldbusDefaultOutput;
    }
    m_nBaudCode = kBaud125;
    m_cardIp = fieldbus ? Ipv4Octets{} : kEthernetDefaultIp;
    m_cardMask = fieldbus ? Ipv4Octets{} : kEthernetDefaultMask;
    m_cardGateway = Ipv4Octets{};
}

int32_t CNetworkParams::GetBaudKbps() const {
    switch (m_nBaudCode) {
        case kBaud250:
            return 250;
        case kBaud500:
            return 500;
        default:
            return 125;
    }
}

std::string CNetworkParams::GetSetupString(const MessageSettings& address) const {
    std::string out = GetAddressPrefix(address);
    if (m_nType == kNetworkDeviceNet || m_nType == kNetworkProfibus) {
        // Profibus-DP takes the same codes as DeviceNet but for the bit rate, which it finds
        // by itself.
        const bool deviceNet = m_nType == kNetworkDeviceNet;
        const char* prefix = TypePrefix(m_nType);
        AppendCode(out, prefix, 'A', m_nStationAddress, 3);
        if (deviceNet) {
            AppendCode(out, prefix, 'B', GetBaudKbps(), 3);
        }
        AppendCode(out, prefix, 'R', m_nInputSize, 3);
        AppendCode(out, prefix, 'S', m_nOutputSize, 3);
        AppendCode(out, prefix, 'W', m_nByteOrder, 1);
    } else {
        out += "^P1A";
        AppendDottedOctets(out, m_cardIp);
        out += "^P1M";
        AppendDottedOctets(out, m_cardMask);
        out += "^P1G";
        AppendDottedOctets(out, m_cardGateway);
    }
    return out;
}

std::string CNetworkParams::GetLoadDefaultsString(const MessageSettings& address) const {
    return GetAddressPrefix(address) + TypePrefix(m_nType) + 'L';
}

std::string CNetworkParams::GetDisableString(const MessageSettings& address) const {
    return GetAddressPrefix(address) + TypePrefix(m_nType) + 'Z';
}

std::string GetAddressPrefix(const MessageSettings& address) {
    std::string out = "^A";
    AppendDecimal(out, address.groupNumber, 2);
    AppendDecimal(out, address.unitNumber, 4);
    return out;
}

std::string GetNetworkName(int32_t type) {
    switch (type) {
        case kNetworkEthernet:
            return "Ethernet";
        case kNetworkDeviceNet:
            return "DeviceNet";
        case kNetworkProfibus:
            return "Profibus";
        default:
            return {};
    }
}

std::string GetConfirmationString(const MessageSettings& address, int32_t type, bool programmed) {
    return GetAddressPrefix(address) + "^E1^L0^C1^D1^K0^dC1" + GetNetworkName(type) +
           (programmed ? " Communication Attributes Programmed."
                       : " Communication Attributes Disabled.") +
           "^N";
}
