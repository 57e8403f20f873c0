#include "gateway/CMqttNameClaim.h"

#include <signal.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <cerrno>
#include <random>

#include "gateway/GatewayThread.h"
#include "gateway/SafeName.h"

namespace {

constexpr int kQos = 1;
// Long enough for a live gateway on a loaded machine, short enough for a restart after a crash.
constexpr std::chrono::seconds kAnswerWait{5};
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";

std::string NewInstanceId() {
    std::random_device random;
    std::uniform_int_distribution<uint64_t> any;
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(any(random)));
    return text;
}

// A holder on this host whose process is gone left its "online" behind.
bool GoneFromThisHost(const NameHolder& holder, const NameHolder& self) {
    return holder.host == self.host && holder.pid > 0 &&
           kill(static_cast<pid_t>(holder.pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

NameHolder ThisInstance(GatewayTime now) {
    return {true, NewInstanceId(), static_cast<long long>(getpid()),
            QSysInfo::machineHostName().toStdString(), IsoTimeText(now)};
}

std::string StatusJson(const NameHolder& holder, bool online) {
    const QJsonObject object{{"state", online ? kOnline : kOffline},
                             {"instance", QString::fromStdString(holder.instance)},
                             {"pid", holder.pid},
                             {"host", QString::fromStdString(holder.host)},
                             {"since", QString::fromStdString(holder.since)}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

NameHolder ReadStatus(const std::string& payload) {
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
    NameHolder holder;
    holder.online = object.isEmpty() ? payload == kOnline : object.value("state") == kOnline;
    holder.instance = object.value("instance").toString().toStdString();
    holder.pid = object.value("pid").toInteger();
    holder.host = object.value("host").toString().toStdString();
    holder.since = object.value("since").toString().toStdString();
    return holder;
}

std::string HolderText(const NameHolder& holder) {
    if (holder.instance.empty()) {
        return "a gateway that does not say who it is";
    }
    return "pid " + std::to_string(holder.pid) + " on host " + holder.host + " (instance " +
           holder.instance + ") since " + holder.since;
}

CMqttClient::Options GatewayClientOptions(const GatewayConfig& config,
                                          const std::string& statusTopic, const NameHolder& self) {
    CMqttClient::Options options;
    options.url = config.mqtt.url;
    options.caFile = config.mqtt.caFile;
    options.certFile = config.mqtt.certFile;
    options.keyFile = config.mqtt.keyFile;
    options.clientId = "lumivex-gateway-" + EscapeName(config.name);
    options.username = config.mqtt.username;
    options.password = config.mqtt.password;
    options.willTopic = statusTopic;
    options.willPayload = StatusJson(self, false);
    return options;
}

CMqttNameClaim::Topics CMqttNameClaim::TopicsOf(const std::string& prefix,
                                                const std::string& name) {
    const std::string gateway = prefix + "/gateway/" + EscapeName(name);
    return {gateway + "/status", gateway + "/probe", gateway + "/claim/"};
}

std::string RefusedText(const NameHolder& asker) {
    return "another gateway of this name, " + HolderText(asker) + ", asked for it and was refused";
}

CMqttNameClaim::CMqttNameClaim(CMqttClient::Options options, Topics topics, NameHolder self,
                               IClock& clock, std::function<void(const std::string&)> log,
                               QObject* parent)
    : QObject(parent),
      m_topics(std::move(topics)),
      m_self(std::move(self)),
      m_clock(clock),
      m_log(std::move(log)) {
    m_topics.mark += m_self.instance;
    options.clientId += "-claim-" + m_self.instance;
    options.cleanSession = true;
    options.willTopic.clear();
    CMqttClient::Events events;
    events.connected = [this] { PostToGateway(this, [this] { OnConnected(); }); };
    events.lost = [this](const std::string& reason) {
        PostToGateway(this, [this, reason] {
            if (m_connectionLost) {
                m_connectionLost(reason);
            }
        });
    };
    events.message = [this](const std::string& topic, std::string payload, bool retained) {
        PostToGateway(this, [this, topic, payload = std::move(payload), retained] {
            OnMessage(topic, payload, retained);
        });
    };
    m_client = std::make_unique<CMqttClient>(std::move(options), std::move(events));
}

CMqttNameClaim::~CMqttNameClaim() {
    m_clock.Cancel(m_answerWake);
    // A thread still connecting keeps what it uses, and ends with the process.
    m_client.reset();
}

void CMqttNameClaim::Start(Verdict verdict,
                           std::function<void(const std::string&)> connectionLost) {
    m_verdict = std::move(verdict);
    m_connectionLost = std::move(connectionLost);
    std::string error;
    if (!m_client->Start(error) && m_connectionLost) {
        m_connectionLost(error);
    }
}

void CMqttNameClaim::OnConnected() {
    // What the broker retains of the status comes before the mark, which only this instance sends.
    m_client->Subscribe(m_topics.status, kQos);
    m_client->Subscribe(m_topics.mark, kQos);
    m_client->Publish(m_topics.mark, m_self.instance, kQos, false);
}

void CMqttNameClaim::OnMessage(const std::string& topic, const std::string& payload,
                               bool retained) {
    if (!m_verdict) {
        return;
    }
    if (topic == m_topics.status) {
        m_status = payload.empty() ? std::nullopt : std::optional(ReadStatus(payload));
        // Said now, not kept from before: the holder answered.
        if (m_bAsked && !retained && m_status && m_status->online &&
            m_status->instance != m_self.instance) {
            Finish({m_status, std::nullopt, {}});
        }
    } else if (topic == m_topics.mark && payload == m_self.instance) {
        Decide();
    }
}

void CMqttNameClaim::Decide() {
    if (m_bAsked) {
        return;
    }
    if (!m_status || !m_status->online || m_status->instance == m_self.instance) {
        Finish({});
        return;
    }
    if (GoneFromThisHost(*m_status, m_self)) {
        Finish({std::nullopt, m_status, {}});
        return;
    }
    m_bAsked = true;
    m_client->Publish(m_topics.probe, StatusJson(m_self, true), kQos, false);
    const NameHolder silent = *m_status;
    m_answerWake = m_clock.WakeAt(m_clock.Now() + kAnswerWait, [this, silent] {
        m_answerWake = 0;
        Finish({std::nullopt, silent, {}});
    });
}

void CMqttNameClaim::Finish(Outcome outcome) {
    if (outcome.heldBy) {
        outcome.said = "the name is held on the broker by " + HolderText(*outcome.heldBy) +
                       ": another gateway of this name runs; not driving its signs here";
    } else if (outcome.lapsed) {
        outcome.said =
            "taking the name over from " + HolderText(*outcome.lapsed) + ", which is gone";
    }
    if (!outcome.said.empty() && m_log) {
        m_log(outcome.said);
    }
    m_clock.Cancel(m_answerWake);
    m_answerWake = 0;
    const Verdict verdict = std::exchange(m_verdict, nullptr);
    m_client.reset();  // a thread still connecting keeps what it uses, and ends with the process
    if (verdict) {
        verdict(outcome);
    }
}
