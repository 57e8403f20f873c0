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

// The one-letter suffix code of a type's load-defaults or disable string.
std::string TypeCode(int32_t type, char letter) {
    std::string code = "^P1";
    if (type == kNetworkDeviceNet) {
        code = "^P2";
    } else if (type == kNetworkProfibus) {
        code = "^P3";
    }
    code += letter;
    return code;
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
    if (m_nType == kNetworkDeviceNet) {
        out += "^P2A";
        AppendDecimal(out, m_nStationAddress, 3);
        out += "^P2B";
        AppendDecimal(out, GetBaudKbps(), 3);
        out += "^P2R";
        AppendDecimal(out, m_nInputSize, 3);
        out += "^P2S";
        AppendDecimal(out, m_nOutputSize, 3);
        out += "^P2W";
        AppendDecimal(out, m_nByteOrder, 1);
    } else if (m_nType == kNetworkProfibus) {
        out += "^P3A";
        AppendDecimal(out, m_nStationAddress, 3);
        out += "^P3R";
        AppendDecimal(out, m_nInputSize, 3);
        out += "^P3S";
        AppendDecimal(out, m_nOutputSize, 3);
        out += "^P3W";
        AppendDecimal(out, m_nByteOrder, 1);
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
    return GetAddressPrefix(address) + TypeCode(m_nType, 'L');
}

std::string CNetworkParams::GetDisableString(const MessageSettings& address) const {
    return GetAddressPrefix(address) + TypeCode(m_nType, 'Z');
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
