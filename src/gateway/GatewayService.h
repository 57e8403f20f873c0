#pragma once

#include <QString>
#include <memory>
#include <string>

#include "gateway/CGateway.h"
#include "gateway/CHttpApi.h"
#include "gateway/CMqttBridge.h"

// The whole gateway as lumivex-gateway runs it: its configuration, the signs it drives, the
// desired state, the HTTP API and the broker.
class GatewayService {
public:
    // Reads gateway.json, signs.json and its schedules. Throws CGatewayConfigError,
    // CSignsFileError or CScheduleError naming the file and the field.
    explicit GatewayService(const QString& configPath);
    ~GatewayService();

    // "gateway hall-b: 3 of 5 signs, HTTP 127.0.0.1:8080, no broker"
    std::string Summary() const;
    // Sends every sign its message and serves; false with the reason when it cannot.
    bool Start(std::string& error);
    // Stops serving, then ends the sends; within a moment.
    void Stop();

    CGateway& Gateway() { return *m_gateway; }

private:
    size_t m_nAllSigns = 0;
    std::unique_ptr<CGateway> m_gateway;
    std::unique_ptr<CHttpApi> m_http;
    std::unique_ptr<CMqttBridge> m_mqtt;
};
