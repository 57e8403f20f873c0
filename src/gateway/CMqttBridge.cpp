#include "gateway/CMqttBridge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "gateway/CGatewayCore.h"
#include "gateway/GatewayRequests.h"
#include "gateway/GatewayThread.h"
#include "gateway/HomeAssistant.h"
#include "gateway/HttpRoutes.h"
#include "gateway/SafeName.h"

namespace {

constexpr int kQos = 1;
constexpr std::chrono::milliseconds kGoodbyeWait{400};
constexpr std::chrono::seconds kOtherStateInterval{1};
std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

CMqttBridge::CMqttBridge(CGatewayCore& core, const std::vector<NamedSign>& allSigns,
                         std::string pageUrl, QObject* parent)
    : QObject(parent), m_core(core), m_strPageUrl(std::move(pageUrl)) {
    const GatewayConfig& config = core.Config();
    m_strPrefix = config.mqtt.prefix;
    const CMqttNameClaim::Topics topics = CMqttNameClaim::TopicsOf(m_strPrefix, config.name);
    m_strStatusTopic = topics.status;
    m_strProbeTopic = topics.probe;
    m_self = ThisInstance(core.Clock().Now());
    Learn(allSigns);
    CMqttClient::Options options = GatewayClientOptions(config, topics.status, m_self);
    m_claim = std::make_unique<CMqttNameClaim>(
        options, topics, m_self, core.Clock(),
        [this](const std::string& text) { m_core.Log().Line(m_core.Config().name, text); });
    CMqttClient::Events events;
    // Told on the client's thread; the outbox learns of the connection at once, so that nothing
    // is handed on after it is known lost.
    events.connected = [this] {
        TellOutbox(true);
        PostToGateway(this, [this] { OnConnected(); });
    };
    events.lost = [this](const std::string& reason) {
        TellOutbox(false);
        PostToGateway(this, [this, reason] { OnConnectionLost(reason); });
    };
    events.message = [this](const std::string& topic, std::string payload, bool retained) {
        Arrived(topic, {std::move(payload), retained});
    };
    m_client = std::make_unique<CMqttClient>(std::move(options), std::move(events));
    m_outbox = std::make_unique<CMqttOutbox>([this](const OutboxMessage& message) {
        if (!m_client->Publish(message.topic, message.payload, kQos, message.retained)) {
            m_core.Log().Line(m_core.Config().name, "cannot publish to " + message.topic);
        }
    });
    core.Director().AddListener(this);
    SignForwarding forwarding;
    forwarding.variable = [this](const std::string& name, const std::string& value) {
        PublishVariable(name, value);
    };
    forwarding.alert = [this](const NamedSign& sign, const std::string& key,
                              const std::string& payload) {
        Publish(Topic(EscapeName(sign.name), "alert/") + key, payload, false);
    };
    forwarding.library = [this](const std::string& name, const std::string& payload) {
        Publish(m_strPrefix + "/" + std::string(kLibraryTopicLevel) + "/" + name + "/set", payload,
                true);
    };
    if (!config.forwardKey.empty()) {
        // Signed, so that the sign's own gateway knows it from one that holds no key.
        forwarding.message = [this](const NamedSign& sign, const Playlist& playlist,
                                    const Stamp& stamp) {
            Publish(Topic(EscapeName(sign.name), "message/set"),
                    SetPayloadJson(playlist, stamp, m_core.Config().forwardKey), true);
        };
    }
    core.Commands().SetForwarding(std::move(forwarding));
}

void CMqttBridge::Learn(const std::vector<NamedSign>& allSigns) {
    m_allSigns.clear();
    m_allTags.clear();
    for (const NamedSign& sign : allSigns) {
        m_allSigns[EscapeName(sign.name)] = sign.name;
        for (const std::string& tag : sign.tags) {
            m_allTags[EscapeName(tag)] = tag;
        }
    }
}

void CMqttBridge::Reload(const std::vector<NamedSign>& allSigns) {
    Learn(allSigns);
    if (m_bWasConnected) {
        PublishDiscovery();
    }
}

void CMqttBridge::SignChanged(const SignState& state) {
    Publish(Topic(state.key, "state"), Compact(m_core.SignJson(state)), true);
}

void CMqttBridge::DesiredChanged(const SignState& state) {
    // The set topic holds each sign's newest message, for a gateway that starts in this one's
    // place; one stamped elsewhere came from there.
    if (state.desired && state.stamp.by == m_core.Config().name) {
        PublishDesired(state);
    }
}

void CMqttBridge::PublishDesired(const SignState& state) {
    Publish(Topic(state.key, "message/set"), SetPayloadJson(state.playlist, state.stamp), true);
}

CMqttBridge::~CMqttBridge() {
    Stop();
}

void CMqttBridge::Start(std::function<void(const std::string&)> nameHeld) {
    m_nameHeld = std::move(nameHeld);
    m_claim->Start([this](const CMqttNameClaim::Outcome& outcome) { Claimed(outcome); },
                   [this](const std::string& reason) { OnConnectionLost(reason); });
}

void CMqttBridge::Claimed(const CMqttNameClaim::Outcome& outcome) {
    std::string error;
    if (outcome.heldBy && m_nameHeld) {
        m_nameHeld(outcome.said);
    } else if (!outcome.heldBy && !m_client->Start(error)) {
        m_core.Log().Line(m_core.Config().name, error);
    }
}

bool CMqttBridge::Stop() {
    if (!m_client) {
        return true;
    }
    for (const auto& [key, other] : m_otherStates) {
        m_core.Clock().Cancel(other.wake);
    }
    {
        // What waits goes out first; the client's thread may tell of its connection meanwhile.
        const std::lock_guard lock(m_outboxMutex);
        m_outbox.reset();
    }
    m_claim.reset();
    const bool stopped = m_client->Stop(m_strStatusTopic, StatusJson(m_self, false), kGoodbyeWait);
    m_client.reset();  // a thread still connecting keeps what it uses, and ends with the process
    return stopped;
}

void CMqttBridge::TellOutbox(bool connected) {
    const std::lock_guard lock(m_outboxMutex);
    if (m_outbox) {
        m_outbox->SetConnected(connected);
    }
}

void CMqttBridge::Arrived(const std::string& topic, MqttArrival arrival) {
    // Messages wait here, the latest of each topic only, until the gateway's thread takes them
    // all at once: a burst faster than the gateway's thread costs no memory and no delay beyond
    // one round.
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_pending.empty();
        m_pending[topic] = std::move(arrival);
    }
    if (first) {
        PostToGateway(this, [this] { TakeMessages(); });
    }
}

void CMqttBridge::PublishVariable(const std::string& name, const std::string& value) {
    Publish(m_strPrefix + "/" + std::string(kValuesTopicLevel) + "/" + name, value, true);
}

std::string CMqttBridge::Topic(const std::string& key, const char* leaf) const {
    return m_strPrefix + "/" + key + "/" + leaf;
}

void CMqttBridge::OnConnected() {
    m_core.Log().Line(m_core.Config().name, "broker connected");
    m_bWasConnected = true;
    m_bToldAway = false;
    m_core.Metrics().SetBrokerConnected(true);
    Publish(m_strStatusTopic, StatusJson(m_self, true), true);
    m_client->Subscribe(m_strProbeTopic, kQos);
    Subscribe();
    PublishDiscovery();
    // The retained entries of signs this gateway drove once come back here to be removed.
    for (const char* component : kDiscoveryComponents) {
        m_client->Subscribe(std::string(kDiscoveryPrefix) + component + "/+/config", kQos);
    }
}

void CMqttBridge::PublishDiscovery() {
    const DiscoveryContext discovery{m_core.Config().name, m_strPrefix, m_strStatusTopic,
                                     m_strPageUrl, LUMIVEX_VERSION};
    std::vector<MqttPublication> entries = GatewayDiscovery(discovery);
    for (const SignState& state : m_core.Director().Signs()) {
        SignChanged(state);
        for (MqttPublication& entry : SignDiscovery(state.sign, discovery)) {
            entries.push_back(std::move(entry));
        }
    }
    for (const MqttPublication& entry : entries) {
        Publish(entry.topic, entry.payload, entry.retained);
    }
}

void CMqttBridge::Subscribe() {
    m_client->Subscribe(m_strPrefix + "/+/message/set", kQos);
    m_client->Subscribe(m_strPrefix + "/+/notify", kQos);
    m_client->Subscribe(m_strPrefix + "/+/alert/+", kQos);
    m_client->Subscribe(m_strPrefix + "/+/alerts/clear", kQos);
    m_client->Subscribe(m_strPrefix + "/" + std::string(kLibraryTopicLevel) + "/+/set", kQos);
    m_client->Subscribe(m_strPrefix + "/" + std::string(kTagTopicLevel) + "/+/alert/+", kQos);
    m_client->Subscribe(m_strPrefix + "/" + std::string(kValuesTopicLevel) + "/+", kQos);
    m_client->Subscribe(m_strPrefix + "/" + std::string(kAllTopicLevel) + "/message/set", kQos);
    m_client->Subscribe(m_strPrefix + "/" + std::string(kTagTopicLevel) + "/+/message/set", kQos);
    // The other gateways' signs, for the signs page: at most once, as a page shows only the
    // latest anyway.
    m_client->Subscribe(m_strPrefix + "/+/state", 0);
    // Every gateway's status, this one's too, for the page's header.
    m_client->Subscribe(m_strPrefix + "/" + std::string(kGatewayTopicLevel) + "/+/status", 0);
}

void CMqttBridge::OnConnectionLost(const std::string& reason) {
    // Said once a change: a broker that stays away is tried again quietly.
    if (m_bWasConnected) {
        m_core.Log().Line(m_core.Config().name,
                          "broker connection lost (" + reason + "); reconnecting");
    } else if (!m_bToldAway) {
        m_core.Log().Line(m_core.Config().name, "cannot reach the broker " +
                                                    m_core.Config().mqtt.url + ": " + reason +
                                                    "; trying again");
    }
    m_bWasConnected = false;
    m_bToldAway = true;
    m_core.Metrics().SetBrokerConnected(false);
}

void CMqttBridge::TakeMessages() {
    std::map<std::string, MqttArrival> pending;
    {
        const std::lock_guard lock(m_mutex);
        pending.swap(m_pending);
    }
    for (const auto& [topic, arrival] : pending) {
        OnMessage(topic, arrival);
    }
}

void CMqttBridge::OnMessage(const std::string& topic, const MqttArrival& arrival) {
    const std::string& payload = arrival.payload;
    if (topic == m_strProbeTopic) {
        // Said again, for the gateway of this name that asks, to hear that this one lives.
        m_core.Log().Line(m_core.Config().name, RefusedText(ReadStatus(payload)));
        Publish(m_strStatusTopic, StatusJson(m_self, true), true);
        return;
    }
    if (topic.rfind(kDiscoveryPrefix, 0) == 0) {
        std::vector<std::string> driven;
        for (const SignState& state : m_core.Director().Signs()) {
            driven.push_back(state.sign.name);
        }
        if (IsStaleDiscoveryEntry(topic, payload, m_core.Config().name, driven)) {
            m_core.Log().Line(m_core.Config().name, "removing the Home Assistant entry " + topic);
            Publish(topic, std::string(), true);
        }
        return;
    }
    const std::string head = m_strPrefix + "/";
    const size_t slash = topic.find('/', head.size());
    if (topic.rfind(head, 0) != 0 || slash == std::string::npos) {
        return;
    }
    const std::string key = topic.substr(head.size(), slash - head.size());
    const std::string leaf = topic.substr(slash + 1);
    // A status kept by the broker tells not since when.
    if (key == kGatewayTopicLevel &&
        m_core.Others().TakeStatus(
            leaf, payload, arrival.retained ? std::nullopt : std::optional(m_core.Clock().Now()))) {
        return;
    }
    if (key == kValuesTopicLevel) {
        // A value as it is already (this gateway's own publication coming back) is no write.
        const auto known = m_core.Director().Values().find(leaf);
        const bool same =
            known != m_core.Director().Values().end() ? known->second == payload : payload.empty();
        const Reply ignore = [](const GatewayResult&) {};
        const Reply done = same ? ignore : Audit("vars", leaf, arrival, ignore);
        // An empty payload: the retained value removed.
        if (payload.empty()) {
            m_core.Commands().RemoveVariable(leaf, Origin::kBroker, done);
        } else if (payload.size() <= kMaxRequestBody) {
            m_core.Commands().SetVariable(leaf, payload, Origin::kBroker, done);
        }
        return;
    }
    const size_t tagEnd = leaf.find('/');
    if (key == kLibraryTopicLevel && tagEnd != std::string::npos && leaf.substr(tagEnd) == "/set" &&
        m_allSigns.count(key) == 0) {
        OnLibraryMessage(leaf.substr(0, tagEnd), arrival);
    } else if (key == kAllTopicLevel && leaf == "message/set") {
        OnManyMessage(SignSelection{{}, std::nullopt, true}, m_strPrefix + "/all/error", arrival);
    } else if (key == kTagTopicLevel && tagEnd != std::string::npos) {
        OnTagMessage(leaf.substr(0, tagEnd), leaf.substr(tagEnd + 1), arrival);
    } else {
        OnSignMessage(key, leaf, arrival);
    }
}

void CMqttBridge::OnSignMessage(const std::string& key, const std::string& leaf,
                                const MqttArrival& arrival) {
    const std::string& payload = arrival.payload;
    const auto known = m_allSigns.find(key);
    if (known == m_allSigns.end()) {
        if (leaf == "state" && !payload.empty()) {
            ClearIfOnceOurs(key, payload);
        }
        return;
    }
    const std::string& name = known->second;
    const bool driven = m_core.Director().Find(name) != nullptr;
    if (leaf == "state") {
        if (!driven) {
            TakeOtherState(key, name, payload);
        }
        return;
    }
    if (!driven) {
        return;  // another gateway's sign: its own gateway answers
    }
    const auto reply = [this, key](const GatewayResult& result) { Answer(key, result); };
    const auto answer = Audit(leaf, name, arrival, reply);
    if (payload.size() > kMaxRequestBody) {
        answer(GatewayResult{ResultKind::kTooLarge, "", "the payload is larger than 1 MiB"});
    } else if (leaf == "message/set" && !payload.empty()) {  // empty: a retained one cleared
        const Result<SetPayload> set = ReadSetPayload(payload);
        if (!set.Ok()) {
            answer(set.Failure());
            return;
        }
        // This gateway's own message, published on the set topic, comes back: no write.
        const bool echo = set.Value().stamp && set.Value().stamp->by == m_core.Config().name;
        m_core.Commands().SetPlaylist(name, set.Value().play, Origin::kBroker,
                                      echo ? Reply(reply) : answer, set.Value().stamp,
                                      SignedWith(set.Value(), m_core.Config().forwardKey));
    } else if (leaf == "text/set") {
        // Home Assistant's text entity: the text of the first line, the rest of the message kept.
        const SignState* state = m_core.Director().Find(name);
        m_core.Commands().SetMessage(
            name, WithFirstLineText(state->desired.value_or(MessageDocument{}), payload),
            Origin::kBroker, answer);
    } else if (leaf == "alerts/clear") {
        m_core.Commands().ClearAlerts(name, Origin::kBroker, answer);
    } else if (leaf.rfind(kAlertLeaf, 0) == 0) {
        OnAlert(SignSelection{{name}, std::nullopt, false}, leaf.substr(kAlertLeaf.size()), arrival,
                answer);
    } else if (leaf == "notify" && arrival.retained) {
        // A notice is for the moment it is sent: one kept by the broker would come back at every
        // start and reconnect.
        if (!payload.empty()) {
            m_core.Log().Line(name, "retained notice left out and cleared");
            Publish(Topic(key, "notify"), std::string(), true);
        }
    } else if (leaf == "notify") {
        const Result<NoticeRequest> notice = ReadNoticeRequest(payload);
        if (!notice.Ok()) {
            answer(notice.Failure());
            return;
        }
        m_core.Commands().Notify(name, notice.Value().message, notice.Value().seconds,
                                 Origin::kBroker, answer);
    }
}

void CMqttBridge::TakeOtherState(const std::string& key, const std::string& name,
                                 const std::string& payload) {
    // At most one a second a sign, the latest: a flood of states costs this thread nothing more.
    IClock& clock = m_core.Clock();
    OtherState& other = m_otherStates[key];
    other.pending = payload;
    if (other.wake != 0) {
        return;
    }
    const GatewayTime due = other.taken + kOtherStateInterval;
    if (clock.Now() >= due) {
        other.taken = clock.Now();
        m_core.Others().Take(name, QByteArray::fromStdString(std::exchange(other.pending, {})));
        return;
    }
    other.wake = clock.WakeAt(due, [this, key, name] {
        OtherState& waiting = m_otherStates[key];
        waiting.wake = 0;
        waiting.taken = m_core.Clock().Now();
        m_core.Others().Take(name, QByteArray::fromStdString(std::exchange(waiting.pending, {})));
    });
}

void CMqttBridge::ClearIfOnceOurs(const std::string& key, const std::string& state) {
    // A sign this gateway drove that has left signs.json: its retained topics would stand for it.
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(state)).object();
    if (object.value("gateway").toString().toStdString() != m_core.Config().name) {
        return;
    }
    m_core.Log().Line(m_core.Config().name,
                      "clearing the retained topics of " + key + ", no longer in signs.json");
    for (const char* leaf : {"state", "message/set"}) {
        Publish(Topic(key, leaf), std::string(), true);
    }
}

void CMqttBridge::Answer(const std::string& key, const GatewayResult& result) {
    switch (result.kind) {
        case ResultKind::kAccepted:
        case ResultKind::kForwarded:
        case ResultKind::kUnknownSign:
            return;
        case ResultKind::kConflict:
            // An older message on the set topic: the broker is to hold the newest again.
            if (const SignState* state = m_core.Director().Find(m_allSigns[key])) {
                PublishDesired(*state);
            }
            return;
        case ResultKind::kRefused:
        case ResultKind::kNotKept:
        case ResultKind::kForbidden:
        case ResultKind::kTooLarge:
            break;
    }
    const std::string json = FailureJson(result);
    m_core.Log().Line(m_allSigns[key], "refused from the broker: " + json);
    Publish(Topic(key, "error"), json, false);
}
