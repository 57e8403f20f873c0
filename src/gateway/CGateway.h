#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fleet/CSendPlan.h"
#include "gateway/CStateJournal.h"
#include "gateway/GatewayConfig.h"
#include "gateway/MessageTemplate.h"
#include "gateway/Schedules.h"

inline constexpr std::chrono::seconds kFirstRetryDelay{1};
inline constexpr std::chrono::seconds kLongestRetryDelay{60};

// The gateway's counters, for /metrics.
struct GatewayMetrics {
    std::map<std::pair<std::string, std::string>, uint64_t> sends;  // (sign, outcome) -> count
    std::vector<uint64_t> durationBuckets;                          // one a bucket bound, + inf
    double durationSum = 0;
    uint64_t durationCount = 0;
    uint64_t retries = 0;
    uint64_t stateWrites = 0;
    uint64_t stateWriteFailures = 0;
    bool mqttConnected = false;
};

// Keeps every sign it drives showing its desired message. Lives on the application's thread:
// everything here runs there, so nothing guards the state; sends run off it through send plans,
// one a sign, whose outcomes come back as queued calls.
class CGateway : public QObject {
    Q_OBJECT
public:
    CGateway(GatewayConfig config, std::vector<NamedSign> signs, GatewaySchedules schedules,
             ComDeviceResolver resolve, QObject* parent = nullptr);
    ~CGateway() override;

    // Reads the state folder and sends every sign its message. Throws CGatewayConfigError when
    // the folder cannot be made.
    void Start();
    // Ends every send still running.
    void Stop();

    const GatewayConfig& Config() const { return m_config; }
    bool Drives(const std::string& name) const { return Find(name) != nullptr; }
    // The signs' names in the file's order.
    std::vector<std::string> SignNames() const;
    std::vector<std::string> SignsWithTag(const std::string& tag) const;

    QJsonObject SignJson(const std::string& name) const;
    QJsonArray SignsJson() const;

    // The reason a keep failed, or nothing once it is kept.
    using KeepAnswer = std::function<void(const std::optional<std::string>& failure)>;
    // Makes the message the sign's desired one: written to the state folder with whatever else
    // comes at the same time, then, once it is on the disk, shown and sent. `answer` is called on
    // this thread when it is kept, or with the reason it could not be (nothing changes then).
    void KeepDesired(const std::string& name, const MessageDocument& message,
                     KeepAnswer answer = {});
    // Shows the message for that long, then the desired message again.
    void Notify(const std::string& name, const MessageDocument& message, int seconds);
    // Sets a live value; once it is kept in the state folder, the signs that show it get their
    // message again and `answer` is called.
    void SetVariable(const std::string& name, const std::string& value, KeepAnswer answer = {});
    // The desired message as JSON, one line; nothing when the sign has none.
    std::optional<std::string> DesiredJson(const std::string& name) const;
    // What the sign shows now, its values filled in; nothing when it has no message.
    std::optional<MessageDocument> ShownMessage(const std::string& name) const;

    GatewayMetrics& Metrics() { return m_metrics; }
    std::string MetricsText() const;

signals:
    // The sign's state (its JSON) changed.
    void SignChanged(const QString& name);
    // The sign's desired message changed.
    void DesiredChanged(const QString& name);

private:
    struct SignState;

    SignState* Find(const std::string& name);
    const SignState* Find(const std::string& name) const;
    SignState* FindKey(const std::string& key);
    void LoadState();
    void ApplyDesired(SignState& state, const MessageDocument& message);
    const MessageDocument* Source(const SignState& state) const;
    void Kick(SignState& state);
    void OnSent(const std::string& key, const SignSendResult& result);
    void OnClock();
    void ArmClockTimer();
    void Log(const std::string& sign, const std::string& text) const;
    void FlushLog() const;

    GatewayConfig m_config;
    GatewaySchedules m_schedules;
    ComDeviceResolver m_resolve;
    std::vector<std::unique_ptr<SignState>> m_signs;
    VariableValues m_values;
    QTimer m_clockTimer;
    bool m_bMinuteTicks = false;        // the clock's timer wakes at each minute
    mutable std::string m_strLogLines;  // written once the events of the moment are handled
    GatewayMetrics m_metrics;
    std::unique_ptr<CStateJournal> m_journal;  // made by Start; after the signs, gone before them
};
