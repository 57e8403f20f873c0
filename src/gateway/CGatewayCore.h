#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gateway/AuditLog.h"
#include "gateway/CCommands.h"
#include "gateway/CDirector.h"
#include "gateway/CGatewayMetrics.h"
#include "gateway/COtherSigns.h"
#include "gateway/CStateJournal.h"
#include "gateway/FolderLock.h"
#include "gateway/GatewayConfig.h"
#include "gateway/GatewayLog.h"
#include "gateway/PanelFrames.h"

// The gateway without its ways in: the director of its signs, the commands that change them, the
// state folder, the other gateways' signs, the metrics and the log, on one thread. The program
// gives it the system's clock and the send plans; a test a scripted clock and a recording sender.
// The adapters (HTTP, MQTT, the page) are built on it once it has started.
class CGatewayCore : public QObject, private IDirectorListener {
public:
    // allSigns: every sign of signs.json; the gateway drives those SignsOfGateway gives it.
    CGatewayCore(GatewayConfig config, const std::vector<NamedSign>& allSigns,
                 GatewaySchedules schedules, IClock& clock, ISignSender& sender,
                 QObject* parent = nullptr);
    ~CGatewayCore() override;

    // Opens the state folder, takes back what it kept and sends every sign its message; the
    // reason when the folder cannot be used.
    std::optional<std::string> Start();
    // Ends every send; what was asked of the state folder is written first.
    void Stop();
    // signs.json and its schedules read again: every sign that stays keeps its state.
    void Reload(const std::vector<NamedSign>& allSigns, GatewaySchedules schedules);

    const GatewayConfig& Config() const { return m_config; }
    CDirector& Director() { return m_director; }
    CCommands& Commands() { return m_commands; }
    COtherSigns& Others() { return m_others; }
    CGatewayMetrics& Metrics() { return m_metrics; }
    CGatewayLog& Log() { return m_log; }
    IClock& Clock() { return m_clock; }
    // Who wrote what: on the gateway's thread only.
    CAuditLog& Audit() { return m_audit; }
    // From any thread.
    CPanelCache& Panels() { return m_panels; }

    // GET /api/signs/{name}: a sign driven here, or another gateway's as that one published it;
    // none for an unknown sign.
    std::optional<QJsonObject> SignJson(const std::string& name) const;
    // GET /api/vars: the live values.
    QJsonObject ValuesJson() const;
    QJsonArray SignsJson() const;
    QJsonObject SignJson(const SignState& state) const;
    // What a sign shows, driven here or by another gateway on the broker, for its pictures.
    Result<MessageDocument> ShownAnywhere(const std::string& name) const;

private:
    void Happened(const DirectorEvent& event) override;

    GatewayConfig m_config;
    IClock& m_clock;
    CGatewayLog m_log;
    CGatewayMetrics m_metrics;
    COtherSigns m_others;
    CPanelCache m_panels;
    CDirector m_director;
    CCommands m_commands;
    CFolderLock m_lock;  // of the state folder
    std::unique_ptr<CStateJournal> m_journal;
    CAuditLog m_audit;
};
