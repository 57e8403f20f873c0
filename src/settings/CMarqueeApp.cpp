#include "settings/CMarqueeApp.h"

#include <QString>
#include <array>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

#include "settings/ProfileStore.h"

namespace {

// The stored values in the order they are read and written; the first eight are the message
// values, the rest the link values. Octets are handled by SaveCommSettings / LoadSettings.
struct ProfileKey {
    const char* key;
    int32_t MessageSettings::*field;
    // What the page's lists and fields can show; a value outside takes its start-up value.
    int32_t low;
    int32_t high;
};

constexpr int32_t kNoUpperLimit = std::numeric_limits<int32_t>::max();

// Group and unit numbers above the lists' entries are kept: they are sent as stored.
constexpr std::array<ProfileKey, 8> kMessageKeys = {{
    {"Address", &MessageSettings::address, 0, kAddressModeNames.size() - 1},
    {"GroupNumber", &MessageSettings::groupNumber, 0, kNoUpperLimit},
    {"UnitNumber", &MessageSettings::unitNumber, 0, kNoUpperLimit},
    {"Position", &MessageSettings::position, 0, kPositionModeNames.size() - 1},
    {"Line", &MessageSettings::line, kMinLine, kMaxLine},
    {"Column", &MessageSettings::column, kMinColumn, kMaxColumn},
    {"Display Mode", &MessageSettings::displayMode, 0, kDisplayModeNames.size() - 1},
    {"Effect", &MessageSettings::effect, 0, kMessageEffectNames.size() - 1},
}};

constexpr const char* kComPortKey = "COM Port";
constexpr const char* kBaudRateKey = "Baud Rate";
constexpr std::array<const char*, 4> kIpAddressKeys = {"IP Address1", "IP Address2", "IP Address3",
                                                       "IP Address4"};

}  // namespace

CMarqueeApp::CMarqueeApp(IProfileStore& profile)
    : m_profile(profile),
      m_dispatcher([this](int comNumber) { return SerialDevicePath(m_profile, comNumber); }) {}

void CMarqueeApp::LoadSettings() {
    for (const ProfileKey& entry : kMessageKeys) {
        int32_t& member = m_messageSettings.*entry.field;
        const int32_t stored = m_profile.GetProfileInt(QString::fromLatin1(entry.key), member);
        if (stored >= entry.low && stored <= entry.high) {
            member = stored;
        } else {
            // The lists would show nothing while the string is built from the value: say so, and
            // start from what a first start shows.
            const std::string range =
                entry.high == kNoUpperLimit
                    ? "below " + std::to_string(entry.low)
                    : "outside " + std::to_string(entry.low) + " to " + std::to_string(entry.high);
            std::fprintf(stderr, "Setting %s=%d is %s; %d is used instead.\n", entry.key, stored,
                         range.c_str(), member);
        }
    }
    m_nComPort = m_profile.GetProfileInt(QString::fromLatin1(kComPortKey), m_nComPort);
    m_nBaudRate = m_profile.GetProfileInt(QString::fromLatin1(kBaudRateKey), m_nBaudRate);
    for (size_t i = 0; i < kIpAddressKeys.size(); ++i) {
        const int32_t value =
            m_profile.GetProfileInt(QString::fromLatin1(kIpAddressKeys[i]), m_ipAddress[i]);
        m_ipAddress[i] = static_cast<uint8_t>(value & 0xFF);
    }
}

std::string CMarqueeApp::SaveSettings() {
    for (const ProfileKey& entry : kMessageKeys) {
        m_profile.WriteProfileInt(QString::fromLatin1(entry.key), m_messageSettings.*entry.field);
    }
    return SaveCommSettings();
}

std::string CMarqueeApp::SaveCommSettings() {
    m_profile.WriteProfileInt(QString::fromLatin1(kComPortKey), m_nComPort);
    m_profile.WriteProfileInt(QString::fromLatin1(kBaudRateKey), m_nBaudRate);
    for (size_t i = 0; i < kIpAddressKeys.size(); ++i) {
        m_profile.WriteProfileInt(QString::fromLatin1(kIpAddressKeys[i]), m_ipAddress[i]);
    }
    const QString failure = m_profile.Sync();
    // A store that cannot be written stays so for the run: one word about it is enough.
    if (failure.isEmpty() || m_bSaveFailureTold) {
        return {};
    }
    m_bSaveFailureTold = true;
    return "The settings could not be saved to " + failure.toStdString() +
           ".\nChanges to them are lost when Lumivex closes.";
}

LinkSettings CMarqueeApp::CurrentLink() const {
    LinkSettings link;
    link.comPort = m_nComPort;
    link.line = {m_nBaudRate, m_nByteSize, m_bBinary, m_bParityCheck, m_nStopBits, m_nParity};
    link.ipAddress = m_ipAddress;
    if (m_nComPort != kPortEthernet) {
        link.serialDevice = SerialDevicePath(m_profile, ComNumberOf(m_nComPort));
    }
    return link;
}

SendOutcome CMarqueeApp::SendToMarquee(std::string text, const CCancelToken* cancel) {
    return SendToMarquee(std::move(text), CurrentLink(), cancel);
}

SendOutcome CMarqueeApp::SendToMarquee(std::string text, const LinkSettings& link,
                                       const CCancelToken* cancel) {
    return m_dispatcher.SendToMarquee(std::move(text), link, cancel);
}

CNetworkParams& CMarqueeApp::CurrentNetworkParams() {
    switch (m_nNetworkType) {
        case kNetworkDeviceNet:
            return m_deviceNetParams;
        case kNetworkProfibus:
            return m_profibusParams;
        default:
            return m_ethernetParams;
    }
}
