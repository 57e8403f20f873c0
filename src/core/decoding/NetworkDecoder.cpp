#include "decoding/NetworkDecoder.h"

#include <algorithm>
#include <string>

#include "decoding/CodeReading.h"
#include "encoding/CommandCodes.h"

namespace {

constexpr int32_t kMaxByteOrder = MakeByteOrder(true, true);
constexpr size_t kShownTail = 12;

enum class FieldKind { kDotted, kNumber, kLoadDefaults, kDisable };

// One code of a network type, in the order the setup string writes them (rank).
struct NetworkField {
    int32_t type;
    char letter;
    int rank;
    FieldKind kind;
    const char* name;
    std::optional<DottedNumbers> DecodedNetwork::*dotted;
    std::optional<int32_t> DecodedNetwork::*number;
    size_t width;
};

constexpr NetworkField kFields[] = {
    {kNetworkEthernet, kStationLetter, 1, FieldKind::kDotted, "address", &DecodedNetwork::ip,
     nullptr, 0},
    {kNetworkEthernet, kMaskLetter, 2, FieldKind::kDotted, "subnet mask", &DecodedNetwork::mask,
     nullptr, 0},
    {kNetworkEthernet, kGatewayLetter, 3, FieldKind::kDotted, "gateway", &DecodedNetwork::gateway,
     nullptr, 0},
    {kNetworkDeviceNet, kStationLetter, 1, FieldKind::kNumber, "MAC ID", nullptr,
     &DecodedNetwork::stationAddress, kFieldbusDigits},
    {kNetworkDeviceNet, kBaudLetter, 2, FieldKind::kNumber, "bit rate", nullptr,
     &DecodedNetwork::baudKbps, kFieldbusDigits},
    {kNetworkDeviceNet, kInputSizeLetter, 3, FieldKind::kNumber, "consumed bytes", nullptr,
     &DecodedNetwork::inputSize, kFieldbusDigits},
    {kNetworkDeviceNet, kOutputSizeLetter, 4, FieldKind::kNumber, "produced bytes", nullptr,
     &DecodedNetwork::outputSize, kFieldbusDigits},
    {kNetworkDeviceNet, kByteOrderLetter, 5, FieldKind::kNumber, "byte order", nullptr,
     &DecodedNetwork::byteOrder, kByteOrderDigits},
    {kNetworkProfibus, kStationLetter, 1, FieldKind::kNumber, "node address", nullptr,
     &DecodedNetwork::stationAddress, kFieldbusDigits},
    {kNetworkProfibus, kInputSizeLetter, 2, FieldKind::kNumber, "input bytes", nullptr,
     &DecodedNetwork::inputSize, kFieldbusDigits},
    {kNetworkProfibus, kOutputSizeLetter, 3, FieldKind::kNumber, "output bytes", nullptr,
     &DecodedNetwork::outputSize, kFieldbusDigits},
    {kNetworkProfibus, kByteOrderLetter, 4, FieldKind::kNumber, "byte order", nullptr,
     &DecodedNetwork::byteOrder, kByteOrderDigits},
};

const NetworkField* FindField(int32_t type, char letter) {
    for (const NetworkField& field : kFields) {
        if (field.type == type && field.letter == letter) {
            return &field;
        }
    }
    return nullptr;
}

std::string CodeName(int32_t type, char letter) {
    return std::string(kNetworkCode) + std::to_string(type) + letter;
}

class CNetworkReader {
public:
    CNetworkReader(std::string_view bytes, CWarningList& warnings)
        : m_bytes(bytes), m_warnings(warnings) {}

    DecodedNetwork Read() {
        size_t pos = ReadAddress();
        bool typeKnown = false;
        int lastRank = 0;
        while (pos < m_bytes.size()) {
            if (!LooksLikeNetworkCode(m_bytes, pos)) {
                Warn(pos, "bytes after the network codes are not read: " +
                              ShowBytes(m_bytes, pos, kShownTail));
                break;
            }
            const int32_t type = m_bytes[pos + kNetworkCode.size()] - '0';
            const char letter = m_bytes[pos + kNetworkCode.size() + 1];
            if (!typeKnown) {
                m_network.type = type;
                typeKnown = true;
            } else if (type != m_network.type) {
                Warn(pos, CodeName(type, letter) + " is of another network type than ^P" +
                              std::to_string(m_network.type));
            }
            const size_t codeStart = pos;
            pos += kNetworkCodeLength;
            if (letter == kLoadDefaultsLetter || letter == kDisableLetter) {
                m_network.action = letter == kLoadDefaultsLetter ? NetworkAction::kLoadDefaults
                                                                 : NetworkAction::kDisable;
                m_bActionCode = true;
                continue;
            }
            const NetworkField* field = FindField(type, letter);
            if (field == nullptr) {
                Warn(codeStart, CodeName(type, letter) + " is not a code of " +
                                    GetNetworkName(type) + "; skipped");
                continue;
            }
            m_bSetupCode = true;
            if (field->rank <= lastRank) {
                Warn(codeStart, CodeName(type, letter) + (field->rank == lastRank
                                                              ? " repeats a code"
                                                              : " stands out of the codes' order"));
            }
            lastRank = std::max(lastRank, field->rank);
            pos = ReadValue(*field, codeStart, pos);
        }
        Finish();
        return m_network;
    }

private:
    void Warn(size_t offset, std::string text) { m_warnings.Add(offset, std::move(text)); }

    size_t ReadAddress() {
        if (!StartsWithAt(m_bytes, 0, kAddressCode)) {
            Warn(0, "no address (^A) before the network codes");
            return 0;
        }
        const AddressCode address = ReadAddressCode(m_bytes, 0);
        if (!address.complete) {
            Warn(0, "truncated address " + ShowBytes(m_bytes, 0, address.length) +
                        ": missing digits read as 0");
        }
        m_network.groupNumber = address.group;
        m_network.unitNumber = address.unit;
        return address.length;
    }

    // Reads the field's value after its code; returns where the next code begins.
    size_t ReadValue(const NetworkField& field, size_t codeStart, size_t pos) {
        const std::string code = CodeName(field.type, field.letter);
        if (field.kind == FieldKind::kNumber) {
            int32_t value = 0;
            const size_t digits = ReadDigits(m_bytes, pos, field.width, value);
            if (digits < field.width) {
                Warn(codeStart, "truncated " + code + " (" + field.name + ")");
            }
            CheckValue(field, codeStart, value);
            m_network.*field.number = value;
            return pos + digits;
        }
        DottedNumbers numbers{};
        bool complete = true;
        for (size_t i = 0; i < numbers.size(); ++i) {
            if (i > 0) {
                if (pos >= m_bytes.size() || m_bytes[pos] != '.') {
                    complete = false;
                    break;
                }
                ++pos;
            }
            const size_t digits = ReadDigits(m_bytes, pos, kOctetDigits, numbers[i]);
            pos += digits;
            complete = complete && digits == kOctetDigits;
            if (numbers[i] > kMaxOctet) {
                Warn(codeStart, code + " (" + field.name + ") has a number above 255");
            }
        }
        if (!complete) {
            Warn(codeStart, "truncated " + code + " (" + field.name + ")");
        }
        m_network.*field.dotted = numbers;
        return pos;
    }

    void Finish() {
        if (m_bActionCode && m_bSetupCode) {
            Warn(m_bytes.size(), "setup codes and a load-defaults or disable code in one string");
        }
        if (m_network.action != NetworkAction::kSetup) {
            return;
        }
        for (const NetworkField& field : kFields) {
            const bool present = field.kind == FieldKind::kDotted
                                     ? (m_network.*field.dotted).has_value()
                                     : (m_network.*field.number).has_value();
            if (field.type == m_network.type && !present) {
                Warn(m_bytes.size(),
                     "no " + CodeName(field.type, field.letter) + " (" + field.name + ")");
            }
        }
    }

    // The two values whose every possible reading is known.
    void CheckValue(const NetworkField& field, size_t codeStart, int32_t value) {
        if (field.number == &DecodedNetwork::baudKbps && value != 125 && value != 250 &&
            value != 500) {
            Warn(codeStart,
                 "bit rate " + std::to_string(value) + " kb/s is none of 125, 250 and 500");
        }
        if (field.number == &DecodedNetwork::byteOrder && value > kMaxByteOrder) {
            Warn(codeStart, "byte order " + std::to_string(value) + " is beyond 3");
        }
    }

    std::string_view m_bytes;
    CWarningList& m_warnings;
    DecodedNetwork m_network;
    bool m_bActionCode = false;
    bool m_bSetupCode = false;
};

}  // namespace

bool LooksLikeNetworkCode(std::string_view bytes, size_t pos) {
    if (pos + kNetworkCodeLength > bytes.size() || !StartsWithAt(bytes, pos, kNetworkCode)) {
        return false;
    }
    const int32_t type = bytes[pos + kNetworkCode.size()] - '0';
    const char letter = bytes[pos + kNetworkCode.size() + 1];
    return type >= kNetworkEthernet && type <= kNetworkProfibus && letter >= 'A' && letter <= 'Z';
}

bool IsNetworkString(std::string_view bytes) {
    const size_t codes =
        StartsWithAt(bytes, 0, kAddressCode) ? ReadAddressCode(bytes, 0).length : 0;
    return LooksLikeNetworkCode(bytes, codes);
}

DecodedNetwork DecodeNetworkString(std::string_view bytes, CWarningList& warnings) {
    return CNetworkReader(bytes, warnings).Read();
}
