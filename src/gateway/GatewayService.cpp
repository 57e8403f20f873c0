#include "gateway/GatewayService.h"

#include <sys/resource.h>

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "gateway/CGatewayCore.h"
#include "gateway/CHttpApi.h"
#include "gateway/CModbusPoller.h"
#include "gateway/CModbusServer.h"
#include "gateway/CMqttBridge.h"
#include "gateway/Clock.h"
#include "gateway/MemoryRelease.h"
#include "gateway/ServiceManager.h"
#include "gateway/SignSender.h"
#include "gateway/TlsContext.h"
#include "settings/ProfileStore.h"

namespace {

// Within the second a stop may take, with the broker's goodbye after it.
constexpr std::chrono::milliseconds kHttpStopWait{400};
constexpr rlim_t kFewOpenFiles = 4096;

// Every sign being sent to, every client and the journal hold a descriptor: the soft limit is
// raised to the hard one, and the log says what it is.
std::string RaiseOpenFilesLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return std::string("cannot read the open files limit: ") + std::strerror(errno);
    }
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            limit = raised;
        }
    }
    return "open files limit " + std::to_string(limit.rlim_cur) +
           (limit.rlim_cur < kFewOpenFiles ? " (low: LimitNOFILE=65536 in the unit)" : "");
}

}  // namespace

GatewayService::GatewayService(const QString& configPath, bool defaultsIfMissing)
    : m_config(LoadGatewayConfig(configPath, defaultsIfMissing)) {
    MakeTlsContext(m_config.tls);  // a certificate that cannot be served is said now
    ReadSigns();
}

void GatewayService::ReadSigns() {
    if (!QFileInfo::exists(m_config.signsPath)) {
        // Started on the wrong folder, a gateway of no signs would look as if it ran.
        throw CGatewayConfigError(m_config.signsPath.toStdString() + ": no such file");
    }
    CSignsFile signs(m_config.signsPath);
    signs.Load();
    m_schedules =
        ParseSchedules(signs.SchedulesJson(), QFileInfo(m_config.signsPath).absolutePath());
    m_allSigns = signs.All();
    CheckGatewaysOfSigns(m_allSigns, m_config.name);
    CheckScheduleTargets(m_schedules, m_allSigns);
    if (auto fault = CheckModbusSigns(m_config.modbus, m_allSigns)) {
        throw CGatewayConfigError(*fault);
    }
}

GatewayService::~GatewayService() {
    Stop();
}

std::string GatewayService::Summary() const {
    std::string tokens;
    for (const auto& [token, role] :
         {std::pair{&m_config.token, "admin"}, std::pair{&m_config.operatorToken, "operator"},
          std::pair{&m_config.viewerToken, "viewer"}}) {
        if (!token->empty()) {
            tokens += (tokens.empty() ? " with tokens of " : ", ") + std::string(role);
        }
    }
    if (m_config.readNeedsToken) {
        tokens += " (reads too)";
    }
    return "gateway " + m_config.name + ": " +
           std::to_string(SignsOfGateway(m_allSigns, m_config.name).size()) + " of " +
           std::to_string(m_allSigns.size()) + " signs, " +
           (m_config.tls.certFile.empty() ? "HTTP " : "HTTPS ") + m_config.httpHost + ":" +
           std::to_string(m_config.httpPort) + tokens + ", " +
           (m_config.mqtt.url.empty() ? "no broker" : "broker " + m_config.mqtt.url) +
           (m_config.modbus.Serves() ? ", Modbus " + m_config.modbus.listenHost + ":" +
                                           std::to_string(m_config.modbus.listenPort)
                                     : "") +
           (m_config.modbus.poll.empty()
                ? ""
                : ", polling " + std::to_string(m_config.modbus.poll.size()) + " controller(s)");
}

std::string GatewayService::ModbusMapText() const {
    std::string text;
    if (m_config.modbus.Serves()) {
        text += "Modbus map (unit " + std::to_string(m_config.modbus.unitId) + "):\n" +
                DescribeRegisterMap(m_config.modbus.map);
    }
    for (const ModbusPollTarget& target : m_config.modbus.poll) {
        text += "polled every " + std::to_string(target.every.count()) + " ms from " + target.host +
                ":" + std::to_string(target.port) + ":\n" + DescribeRegisterMap({target.reads, {}});
    }
    return text;
}

bool GatewayService::Start(std::string& error) {
    LimitMemoryHeaps();
    // The profile is read here, once: sends running elsewhere never touch it.
    std::map<int, std::string> devices;
    const CProfileStore profile;
    for (int com = 1; com <= 8; ++com) {
        devices[com] = SerialDevicePath(profile, com);
    }
    m_clock = std::make_unique<CTimerClock>();
    m_sender = std::make_unique<CPlanSender>([devices](int com) { return devices.at(com); });
    m_core = std::make_unique<CGatewayCore>(m_config, m_allSigns, m_schedules, *m_clock, *m_sender);
    try {
        m_http = std::make_unique<CHttpApi>(*m_core);
    } catch (const std::exception& failure) {
        error = failure.what();  // a certificate changed since the start's check
        return false;
    }
    // The address first: a gateway that cannot serve sends nothing.
    if (!m_http->Listen(error)) {
        return false;
    }
    const std::string url = std::string(m_http->Secure() ? "https://" : "http://") +
                            m_config.httpHost + ":" + std::to_string(m_http->Port());
    if (const auto failure = m_core->Start()) {
        error = *failure;
        return false;
    }
    m_core->Log().Line(m_config.name, RaiseOpenFilesLimit());
    if (!m_config.mqtt.url.empty()) {
        m_mqtt = std::make_unique<CMqttBridge>(*m_core, m_allSigns, url + "/");
    }
    if (m_mqtt) {
        m_mqtt->Start(m_nameHeld);
    }
    if (!StartModbus(error)) {
        return false;
    }
    m_core->Log().Line(m_config.name, "listening on " + url);
    m_core->Log().Flush();
    m_manager = std::make_unique<CServiceManager>();
    m_manager->Ready();
    return true;
}

bool GatewayService::StartModbus(std::string& error) {
    m_modbusStatus = std::make_unique<CModbusStatus>(*m_core);
    m_core->AddStateExtra(
        [status = m_modbusStatus.get()](const SignState& state, QJsonObject& object) {
            status->AddTo(state, object);
        });
    if (m_config.modbus.Serves()) {
        m_modbus = std::make_unique<CModbusServer>(*m_core, *m_modbusStatus, m_config.modbus);
        if (!m_modbus->Listen(error)) {
            return false;
        }
        m_core->Log().Line(m_config.name, "Modbus on " + m_config.modbus.listenHost + ":" +
                                              std::to_string(m_modbus->Port()));
    }
    m_poller = std::make_unique<CModbusPoller>(*m_core, *m_modbusStatus, m_config.modbus.poll);
    m_poller->Start();
    return true;
}

void GatewayService::Reload() {
    if (!m_core || !m_manager) {
        return;
    }
    m_manager->Reloading();
    const std::vector<NamedSign> before = m_allSigns;
    GatewaySchedules schedules = m_schedules;
    try {
        ReadSigns();
    } catch (const std::exception& error) {
        m_allSigns = before;
        m_schedules = std::move(schedules);
        m_core->Log().Line(m_config.name, std::string("signs.json not reloaded: ") + error.what());
        m_manager->Ready();
        return;
    }
    m_core->Reload(m_allSigns, m_schedules);
    if (m_mqtt) {
        m_mqtt->Reload(m_allSigns);
    }
    m_core->Log().Line(m_config.name, "reloaded: " + Summary());
    m_manager->Ready();
}

bool GatewayService::Stop() {
    if (m_manager) {
        m_manager->Stopping();
        m_manager.reset();
    }
    bool quiet = true;
    if (m_http) {
        quiet = m_http->Stop(kHttpStopWait);
    }
    if (m_mqtt) {
        quiet = m_mqtt->Stop() && quiet;
    }
    if (m_modbus) {
        m_modbus->Stop();
    }
    if (m_poller) {
        m_poller->Stop();
    }
    if (m_core) {
        m_core->Stop();  // the journal written to the end
    }
    return quiet;
}
