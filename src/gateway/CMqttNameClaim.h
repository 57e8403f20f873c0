#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gateway/CMqttClient.h"
#include "gateway/Clock.h"
#include "gateway/GatewayConfig.h"

// Who runs a gateway of a name on the broker, as its status topic (retained, with a last will)
// tells it: "online" or "offline", and the instance, process and host behind it.
struct NameHolder {
    bool online = false;
    std::string instance;  // new at every start
    long long pid = 0;
    std::string host;
    std::string since;
};

// This process's own: a new instance id, its pid and host, since now.
NameHolder ThisInstance(GatewayTime now);
// The status topic's payload.
std::string StatusJson(const NameHolder& holder, bool online);
// A status payload read back; one that is not this form (an older gateway's plain "online") holds
// no instance.
NameHolder ReadStatus(const std::string& payload);
// "pid 41 on host plc-7 (instance 3fa2…) since 2026-12-08T09:35:35.123Z"
std::string HolderText(const NameHolder& holder);
// What the holder of a name logs of another gateway that asked for it.
std::string RefusedText(const NameHolder& asker);

// Before a gateway drives its signs over the broker, it makes sure no other live gateway of its
// name does: two of a name would take each other's connection in turns, and drive the same signs
// twice. It reads the name's status on a connection of its own; a holder that is online is asked
// to answer, and one that does not answer within a few seconds (a crash that left its "online"
// behind) loses the name. A holder on this host whose process is gone loses it at once.
// Runs on the gateway's thread, but for the client's.
class CMqttNameClaim : public QObject {
public:
    // Told once on the gateway's thread: the live holder of the name, or none when it is free,
    // with the holder whose claim lapsed, if one did.
    struct Outcome {
        std::optional<NameHolder> heldBy;
        std::optional<NameHolder> lapsed;
        std::string said;  // what the log was told of it
    };
    using Verdict = std::function<void(const Outcome&)>;
    struct Topics {
        std::string status;  // the name's status
        std::string probe;   // where a live holder is asked to answer
        // With the instance after it, this one's own: to know when the retained status has come.
        std::string mark;
    };

    // <prefix>/gateway/<name>/status, …/probe and …/claim/.
    static Topics TopicsOf(const std::string& prefix, const std::string& name);

    // options: the broker and its credentials; the claim's client gets an id of its own. log:
    // where a refusal or a lapsed holder is said.
    CMqttNameClaim(CMqttClient::Options options, Topics topics, NameHolder self, IClock& clock,
                   std::function<void(const std::string&)> log, QObject* parent = nullptr);
    ~CMqttNameClaim() override;

    // connectionLost is told of every failed connect, on the gateway's thread.
    void Start(Verdict verdict, std::function<void(const std::string&)> connectionLost);

private:
    void OnConnected();
    void OnMessage(const std::string& topic, const std::string& payload, bool retained);
    void Decide();
    void Finish(Outcome outcome);

    Topics m_topics;
    NameHolder m_self;
    IClock& m_clock;
    std::function<void(const std::string&)> m_log;
    std::unique_ptr<CMqttClient> m_client;
    Verdict m_verdict;
    std::function<void(const std::string&)> m_connectionLost;
    std::optional<NameHolder> m_status;  // the latest status heard
    bool m_bAsked = false;
    IClock::WakeId m_answerWake = 0;
};

// The gateway's own client of the broker: its configuration, one client id for the name (so that
// the broker keeps its session while it is away), and the status's "offline" as its last will.
CMqttClient::Options GatewayClientOptions(const GatewayConfig& config,
                                          const std::string& statusTopic, const NameHolder& self);
