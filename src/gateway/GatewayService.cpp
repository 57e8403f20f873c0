#include "gateway/GatewayService.h"

#include <QFileInfo>
#include <cstdio>
#include <map>

#include "gateway/CDashboard.h"
#include "settings/ProfileStore.h"

GatewayService::GatewayService(const QString& configPath) {
    GatewayConfig config = LoadGatewayConfig(configPath);
    CSignsFile signs(config.signsPath);
    signs.Load();
    GatewaySchedules schedules =
        ParseSchedules(signs.SchedulesJson(), QFileInfo(config.signsPath).absolutePath());
    m_nAllSigns = signs.All().size();
    // The profile is read here, once: sends running elsewhere never touch it.
    std::map<int, std::string> devices;
    const CProfileStore profile;
    for (int com = 1; com <= 8; ++com) {
        devices[com] = SerialDevicePath(profile, com);
    }
    std::vector<NamedSign> driven = SignsOfGateway(signs.All(), config.name);
    const bool withBroker = !config.mqtt.url.empty();
    m_gateway =
        std::make_unique<CGateway>(std::move(config), std::move(driven), std::move(schedules),
                                   [devices](int com) { return devices.at(com); });
    m_http = std::make_unique<CHttpApi>(*m_gateway);
    if (withBroker) {
        m_mqtt = std::make_unique<CMqttBridge>(*m_gateway, signs.All());
        m_http->SetForwarder(m_mqtt.get());
        QObject::connect(m_mqtt.get(), &CMqttBridge::OtherSignState, &m_http->Dashboard(),
                         &CDashboard::TakeOtherSign);
    }
}

GatewayService::~GatewayService() {
    Stop();
}

std::string GatewayService::Summary() const {
    const GatewayConfig& config = m_gateway->Config();
    return "gateway " + config.name + ": " + std::to_string(m_gateway->SignNames().size()) +
           " of " + std::to_string(m_nAllSigns) + " signs, HTTP " + config.httpHost + ":" +
           std::to_string(config.httpPort) + (config.token.empty() ? "" : " with a token") + ", " +
           (config.mqtt.url.empty() ? "no broker" : "broker " + config.mqtt.url);
}

bool GatewayService::Start(std::string& error) {
    try {
        m_gateway->Start();
    } catch (const CGatewayConfigError& failure) {
        error = failure.what();
        return false;
    }
    if (!m_http->Listen(error)) {
        return false;
    }
    if (m_mqtt) {
        m_mqtt->Start();
    }
    const GatewayConfig& config = m_gateway->Config();
    std::fprintf(stderr, "lumivex-gateway: %s: listening on http://%s:%u\n", config.name.c_str(),
                 config.httpHost.c_str(), static_cast<unsigned>(m_http->Port()));
    return true;
}

void GatewayService::Stop() {
    if (m_http) {
        m_http->Stop();
    }
    if (m_mqtt) {
        m_mqtt->Stop();
    }
    if (m_gateway) {
        m_gateway->Stop();
    }
}
