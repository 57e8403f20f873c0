#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "gateway/GatewayConfig.h"
#include "gateway/Schedules.h"

class CTimerClock;
class CPlanSender;
class CGatewayCore;
class CHttpApi;
class CMqttBridge;
class CServiceManager;
class CModbusStatus;
class CModbusServer;
class CModbusPoller;

// The whole gateway as lumivex-gateway runs it: its configuration, the system's clock, the send
// plans, the core, and the ways in (HTTP and the broker).
class GatewayService {
public:
    // Reads gateway.json (the defaults when it is missing and they are asked for), signs.json and
    // its schedules, and checks that they fit together. Throws CGatewayConfigError,
    // CSignsFileError or CScheduleError naming the file and the field.
    explicit GatewayService(const QString& configPath, bool defaultsIfMissing = false);
    ~GatewayService();

    // "gateway hall-b: 3 of 5 signs, HTTP 127.0.0.1:8080, no broker"
    std::string Summary() const;
    // Told when another live gateway of this name holds it on the broker: this one drives nothing
    // there.
    void SetNameHeld(std::function<void(const std::string& why)> nameHeld) {
        m_nameHeld = std::move(nameHeld);
    }
    // What --check prints beside the summary: the Modbus map, register by register.
    std::string ModbusMapText() const;
    // Sends every sign its message and serves; false with the reason when it cannot.
    bool Start(std::string& error);
    // Stops serving, keeps what was asked of the state folder, then ends the sends; within a
    // second whatever is pending. False when a slow client or a connect to a silent broker still
    // holds a thread: the program then ends without waiting for it.
    bool Stop();
    // Reads signs.json and its schedules again; a file that does not read, or does not fit,
    // leaves the running ones as they are. Says what it did in the log.
    void Reload();

private:
    // signs.json, its schedules and their checks.
    void ReadSigns();
    // The Modbus server and the polling of controllers, once the core has started.
    bool StartModbus(std::string& error);

    GatewayConfig m_config;
    std::vector<NamedSign> m_allSigns;
    GatewaySchedules m_schedules;
    std::unique_ptr<CTimerClock> m_clock;
    std::unique_ptr<CModbusStatus> m_modbusStatus;  // outlives the core that asks it
    std::unique_ptr<CPlanSender> m_sender;
    std::unique_ptr<CGatewayCore> m_core;
    std::unique_ptr<CHttpApi> m_http;
    std::unique_ptr<CMqttBridge> m_mqtt;
    std::unique_ptr<CModbusServer> m_modbus;
    std::unique_ptr<CModbusPoller> m_poller;
    std::unique_ptr<CServiceManager> m_manager;
    std::function<void(const std::string&)> m_nameHeld;
};
