#include "settings/MarqueeSettings.h"

#include <QString>
#include <array>
#include <cstdio>
#include <limits>
#include <string>

#include "settings/ProfileStore.h"

namespace {

constexpr int32_t kNoLimit = std::numeric_limits<int32_t>::max();

// One stored value: its key, where it lives, and for a message value what the page's lists and
// fields can show (a value outside takes its start-up value). In the order they are read and
// written; the first eight are the message values, the rest the link values.
struct ProfileKey {
    const char* key;
    int32_t (*get)(const MarqueeSettings&);
    void (*set)(MarqueeSettings&, int32_t);
    int32_t low = std::numeric_limits<int32_t>::min();
    int32_t high = kNoLimit;
};

#define LUMIVEX_MESSAGE_KEY(name, field, low, high)                                         \
    ProfileKey {                                                                            \
        name, [](const MarqueeSettings& s) { return s.m_messageSettings.field; },           \
            [](MarqueeSettings& s, int32_t v) { s.m_messageSettings.field = v; }, low, high \
    }
#define LUMIVEX_OCTET_KEY(name, index)                                                      \
    ProfileKey {                                                                            \
        name, [](const MarqueeSettings& s) { return int32_t{s.m_ipAddress[index]}; },       \
            [](MarqueeSettings& s, int32_t v) { s.m_ipAddress[index] = uint8_t(v & 0xFF); } \
    }

constexpr int32_t Last(size_t count) {
    return static_cast<int32_t>(count) - 1;
}

// Group and unit numbers above the lists' entries are kept: they are sent as stored.
const std::array<ProfileKey, 14> kProfileKeys = {{
    LUMIVEX_MESSAGE_KEY("Address", address, 0, Last(kAddressModeNames.size())),
    LUMIVEX_MESSAGE_KEY("GroupNumber", groupNumber, 0, kNoLimit),
    LUMIVEX_MESSAGE_KEY("UnitNumber", unitNumber, 0, kNoLimit),
    LUMIVEX_MESSAGE_KEY("Position", position, 0, Last(kPositionModeNames.size())),
    LUMIVEX_MESSAGE_KEY("Line", line, kMinLine, kMaxLine),
    LUMIVEX_MESSAGE_KEY("Column", column, kMinColumn, kMaxColumn),
    LUMIVEX_MESSAGE_KEY("Display Mode", displayMode, 0, Last(kDisplayModeNames.size())),
    LUMIVEX_MESSAGE_KEY("Effect", effect, 0, Last(kMessageEffectNames.size())),
    ProfileKey{"COM Port", [](const MarqueeSettings& s) { return s.m_nComPort; },
               [](MarqueeSettings& s, int32_t v) { s.m_nComPort = v; }},
    ProfileKey{"Baud Rate", [](const MarqueeSettings& s) { return s.m_nBaudRate; },
               [](MarqueeSettings& s, int32_t v) { s.m_nBaudRate = v; }},
    LUMIVEX_OCTET_KEY("IP Address1", 0),
    LUMIVEX_OCTET_KEY("IP Address2", 1),
    LUMIVEX_OCTET_KEY("IP Address3", 2),
    LUMIVEX_OCTET_KEY("IP Address4", 3),
}};
constexpr size_t kMessageKeyCount = 8;

#undef LUMIVEX_MESSAGE_KEY
#undef LUMIVEX_OCTET_KEY

void Write(const MarqueeSettings& settings, IProfileStore& profile, size_t first, size_t end) {
    for (size_t i = first; i < end; ++i) {
        profile.WriteProfileInt(QString::fromLatin1(kProfileKeys[i].key),
                                kProfileKeys[i].get(settings));
    }
}

}  // namespace

void MarqueeSettings::Load(const IProfileStore& profile) {
    for (const ProfileKey& entry : kProfileKeys) {
        const int32_t current = entry.get(*this);
        const int32_t stored = profile.GetProfileInt(QString::fromLatin1(entry.key), current);
        if (stored >= entry.low && stored <= entry.high) {
            entry.set(*this, stored);
            continue;
        }
        // The lists would show nothing while the string is built from the value: say so, and
        // start from what a first start shows.
        const std::string range = entry.high == kNoLimit ? "below " + std::to_string(entry.low)
                                                         : "outside " + std::to_string(entry.low) +
                                                               " to " + std::to_string(entry.high);
        std::fprintf(stderr, "Setting %s=%d is %s; %d is used instead.\n", entry.key, stored,
                     range.c_str(), current);
    }
}

void MarqueeSettings::SaveMessageValues(IProfileStore& profile) const {
    Write(*this, profile, 0, kMessageKeyCount);
}

void MarqueeSettings::SaveLinkValues(IProfileStore& profile) const {
    Write(*this, profile, kMessageKeyCount, kProfileKeys.size());
}

CNetworkParams& MarqueeSettings::NetworkParams(int32_t type) {
    switch (type) {
        case kNetworkDeviceNet:
            return m_deviceNetParams;
        case kNetworkProfibus:
            return m_profibusParams;
        default:
            return m_ethernetParams;
    }
}

SerialLineSettings MarqueeSettings::Line() const {
    return {m_nBaudRate, m_nByteSize, m_bBinary, m_bParityCheck, m_nStopBits, m_nParity};
}
