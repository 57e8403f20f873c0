#include "settings/CMarqueeApp.h"

#include <QString>
#include <string>
#include <utility>

#include "settings/ProfileStore.h"

CMarqueeApp::CMarqueeApp(IProfileStore& profile)
    : m_profile(profile),
      m_dispatcher([this](int comNumber) { return SerialDevicePath(m_profile, comNumber); }) {}

void CMarqueeApp::LoadSettings() {
    const int32_t comPort = ComPort();
    m_settings.Load(m_profile);
    if (ComPort() != comPort) {
        emit LinkChosen(ComPort());
    }
}

void CMarqueeApp::SetComPort(int32_t comPort) {
    if (comPort != m_settings.m_nComPort) {
        m_settings.m_nComPort = comPort;
        emit LinkChosen(comPort);
    }
}

std::string CMarqueeApp::SaveSettings() {
    m_settings.SaveMessageValues(m_profile);
    return SaveCommSettings();
}

std::string CMarqueeApp::SaveCommSettings() {
    m_settings.SaveLinkValues(m_profile);
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
    link.comPort = ComPort();
    link.line = m_settings.Line();
    link.ipAddress = IpAddress();
    if (ComPort() != kPortEthernet) {
        link.serialDevice = SerialDevicePath(m_profile, ComNumberOf(ComPort()));
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
