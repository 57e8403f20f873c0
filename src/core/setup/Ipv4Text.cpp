#include "setup/Ipv4Text.h"

std::optional<Ipv4Octets> ParseIpv4(std::string_view text) {
    Ipv4Octets octets{};
    size_t index = 0;
    int value = 0;
    int digits = 0;
    for (size_t pos = 0; pos <= text.size(); ++pos) {
        if (pos == text.size() || text[pos] == '.') {
            if (index >= octets.size()) {
                return std::nullopt;
            }
            octets[index++] = static_cast<uint8_t>(value);
            value = 0;
            digits = 0;
        } else if (text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
            value = value * 10 + (text[pos] - '0');
            ++digits;
            if (value > kMaxOctet) {
                return std::nullopt;
            }
        } else {
            return std::nullopt;
        }
    }
    if (index != octets.size()) {
        return std::nullopt;
    }
    return octets;
}

std::string FormatIpv4(const Ipv4Octets& octets) {
    std::string text;
    for (size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) {
            text += '.';
        }
        text += std::to_string(octets[i]);
    }
    return text;
}
