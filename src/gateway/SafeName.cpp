#include "gateway/SafeName.h"

#include <QString>

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& escaped, unsigned char byte) {
    escaped += '%';
    escaped += kHex[byte >> 4];
    escaped += kHex[byte & 0xF];
}

// The escaping alone, bytes as they are.
std::string EscapeBytes(std::string_view name) {
    std::string escaped;
    escaped.reserve(name.size());
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 'A' && byte <= 'Z') {
            escaped += static_cast<char>(byte - 'A' + 'a');
        } else if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '_' ||
                   byte == '-') {
            escaped += c;
        } else {
            AppendEscaped(escaped, byte);
        }
    }
    if (escaped == kValuesTopicLevel || escaped == kAllTopicLevel) {
        // The live values' level and the one for every sign: a sign of that name gets its first
        // letter escaped, which no other name gives.
        std::string reserved;
        AppendEscaped(reserved, static_cast<unsigned char>(escaped.front()));
        return reserved + escaped.substr(1);
    }
    return escaped;
}

}  // namespace

std::string EscapeName(std::string_view name) {
    // Folded as sign names compare (Unicode case folding), so that "\u00C4rger" and "\u00E4rger"
    // are one level.
    const std::string folded = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
                                   .toCaseFolded()
                                   .toStdString();
    return EscapeBytes(folded);
}

std::vector<std::string> EarlierNamesOf(std::string_view name) {
    std::string earlier = EscapeBytes(name);
    if (earlier == "%61ll") {
        earlier = "all";
    }
    std::vector<std::string> names;
    if (earlier != EscapeName(name)) {
        names.push_back(earlier);
    }
    return names;
}
