#include "setup/NetworkParams.h"

#include <utility>

#include "encoding/CommandCodes.h"
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
        AppendDecimal(out, octets[i], kOctetDigits);
    }
}

// Every code of a type starts so; an unknown type is addressed as Ethernet.
std::string TypePrefix(int32_t type) {
    const bool fieldbus = type == kNetworkDeviceNet || type == kNetworkProfibus;
    std::string prefix(kNetworkCode);
    AppendDecimal(prefix, fieldbus ? type : kNetworkEthernet, 1);
    return prefix;
}

// One setup code: its type prefix, its letter and its zero-padded value.
void AppendCode(std::string& out, const std::string& prefix, char letter, int64_t value,
                size_t width) {
    out += prefix;
    out += letter;
    AppendDecimal(out, value, width);
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
        const std::string prefix = TypePrefix(m_nType);
        AppendCode(out, prefix, kStationLetter, m_nStationAddress, kFieldbusDigits);
        if (deviceNet) {
            AppendCode(out, prefix, kBaudLetter, GetBaudKbps(), kFieldbusDigits);
        }
        AppendCode(out, prefix, kInputSizeLetter, m_nInputSize, kFieldbusDigits);
        AppendCode(out, prefix, kOutputSizeLetter, m_nOutputSize, kFieldbusDigits);
        AppendCode(out, prefix, kByteOrderLetter, m_nByteOrder, kByteOrderDigits);
    } else {
        const std::string prefix = TypePrefix(kNetworkEthernet);
        const std::pair<char, const Ipv4Octets*> codes[] = {{kStationLetter, &m_cardIp},
                                                            {kMaskLetter, &m_cardMask},
                                                            {kGatewayLetter, &m_cardGateway}};
        for (const auto& [letter, octets] : codes) {
            out += prefix;
            out += letter;
            AppendDottedOctets(out, *octets);
        }
    }
    return out;
}

std::string CNetworkParams::GetLoadDefaultsString(const MessageSettings& address) const {
    return GetAddressPrefix(address) + TypePrefix(m_nType) + kLoadDefaultsLetter;
}

std::string CNetworkParams::GetDisableString(const MessageSettings& address) const {
    return GetAddressPrefix(address) + TypePrefix(m_nType) + kDisableLetter;
}

std::string GetAddressPrefix(const MessageSettings& address) {
    std::string out;
    AppendAddressCode(out, address.groupNumber, address.unitNumber);
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
    // A message as the composer builds one: addressed, clearing and resetting the display,
    // centred and scrolling repeatedly, in the smallest size and red.
    MessageSettings settings;
    settings.address = kAddressSpecificUnit;
    settings.groupNumber = address.groupNumber;
    settings.unitNumber = address.unitNumber;
    settings.displayMode = kDisplayClearHomeReset;
    settings.position = kPositionCenter;
    settings.effect = kEffectScrollRepeatedly;
    std::string body(kCharSizeCode);
    body += '0';
    body += kColourCode;
    body += kRedDigit;
    body += GetNetworkName(type);
    body += programmed ? " Communication Attributes Programmed."
                       : " Communication Attributes Disabled.";
    return BuildCommandString(settings, std::move(body));
}
