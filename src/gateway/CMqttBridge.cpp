#include "gateway/CMqttBridge.h"

#include <mqtt/async_client.h>

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
// Nothing is kept in the client while the broker is away (the outbox keeps it instead).
constexpr int kNoOfflineBuffer = 0;
constexpr std::chrono::seconds kFirstReconnectDelay{1};
constexpr std::chrono::seconds kLongestReconnectDelay{30};
constexpr std::chrono::seconds kKeepAlive{20};
constexpr std::chrono::milliseconds kGoodbyeWait{400};  // twice within the 2 s of a stop
constexpr const char* kOnline = "online";
constexpr const char* kOffline = "offline";
std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

// The client's calls, on its own threads, handed to the gateway's thread.
class CMqttCallback : public mqtt::callback {
public:
    CMqttCallback(CMqttBridge& bridge, CMqttOutbox& outbox) : m_bridge(bridge), m_outbox(outbox) {}

    void connected(const std::string&) override {
        m_outbox.SetConnected(true);
        PostToGateway(&m_bridge, [this] { m_bridge.OnConnected(); });
    }
    void connection_lost(const std::string&) override {
        m_outbox.SetConnected(false);
        PostToGateway(&m_bridge, [this] { m_bridge.OnConnectionLost(); });
    }
    // Messages wait here, the latest of each topic only, until the gateway's thread takes them
    // all at once: a burst faster than the gateway's thread costs no memory and no delay beyond
    // one round.
    void message_arrived(mqtt::const_message_ptr message) override {
        bool first = false;
        {
            const std::lock_guard lock(m_mutex);
            first = m_pending.empty();
            m_pending[message->get_topic()] = {message->to_string(), message->is_retained()};
        }
        if (first) {
            PostToGateway(&m_bridge, [this] { m_bridge.TakeMessages(); });
        }
    }

    std::map<std::string, MqttArrival> Take() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_pending, {});
    }

private:
    CMqttBridge& m_bridge;
    CMqttOutbox& m_outbox;
    std::mutex m_mutex;
    std::map<std::string, MqttArrival> m_pending;  // topic -> its latest payload
};

// A failed attempt to connect, handed to the gateway's thread to try again.
class CConnectListener : public mqtt::iaction_listener {
public:
    explicit CConnectListener(CMqttBridge& bridge) : m_bridge(bridge) {}

    void on_failure(const mqtt::token&) override {
        PostToGateway(&m_bridge, [this] { m_bridge.ConnectLater(); });
    }
    void on_success(const mqtt::token&) override {}

private:
    CMqttBridge& m_bridge;
};

CMqttBridge::CMqttBridge(CGatewayCore& core, const std::vector<NamedSign>& allSigns,
                         QObject* parent)
    : QObject(parent), m_core(core) {
    const GatewayConfig& config = core.Config();
    m_strPrefix = config.mqtt.prefix;
    m_strStatusTopic = m_strPrefix + "/gateway/" + EscapeName(config.name) + "/status";
    for (const NamedSign& sign : allSigns) {
        m_allSigns[EscapeName(sign.name)] = sign.name;
    }
    m_client = std::make_unique<mqtt::async_client>(
        config.mqtt.url, "lumivex-gateway-" + EscapeName(config.name), kNoOfflineBuffer, nullptr);
    m_outbox = std::make_unique<CMqttOutbox>(
        [this, client = m_client.get()](const OutboxMessage& message) {
            try {
                client->publish(message.topic, message.payload.data(), message.payload.size(), kQos,
                                message.retained);
            } catch (const mqtt::exception& error) {
                m_core.Log().Line(m_core.Config().name,
                                  "cannot publish to " + message.topic + ": " + error.what());
            }
        });
    m_callback = std::make_unique<CMqttCallback>(*this, *m_outbox);
    m_connectListener = std::make_unique<CConnectListener>(*this);
    m_client->set_callback(*m_callback);
    core.Director().AddListener(this);
    core.Commands().SetForwarding(
        {[this](const NamedSign& sign, const MessageDocument& message, const Stamp& stamp) {
             Publish(Topic(EscapeName(sign.name), "message/set"), SetPayloadJson(message, stamp),
                     true);
         },
         [this](const std::string& name, const std::string& value) {
             PublishVariable(name, value);
         }});
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
    Publish(Topic(state.key, "message/set"), SetPayloadJson(*state.desired, state.stamp), true);
}

CMqttBridge::~CMqttBridge() {
    Stop();
}

void CMqttBridge::Start() {
    m_reconnectDelay = kFirstReconnectDelay;
    Connect();
}

void CMqttBridge::ConnectLater() {
    QTimer::singleShot(m_reconnectDelay, this, &CMqttBridge::Connect);
    m_reconnectDelay =
        std::min<std::chrono::milliseconds>(2 * m_reconnectDelay, kLongestReconnectDelay);
}

void CMqttBridge::Connect() {
    if (!m_client) {
        return;  // stopped meanwhile
    }
    // Each attempt is a connect of its own, not the client's automatic reconnection: that one
    // read a topic it had freed when the broker went away just after it came back.
    const MqttConfig& config = m_core.Config().mqtt;
    mqtt::connect_options options;
    options.set_clean_session(false);
    options.set_keep_alive_interval(kKeepAlive);
    options.set_will(mqtt::will_options(m_strStatusTopic, std::string(kOffline), kQos, true));
    if (!config.username.empty()) {
        options.set_user_name(config.username);
        options.set_password(config.password);
    }
    try {
        m_client->connect(options, nullptr, *m_connectListener);
    } catch (const mqtt::exception& error) {
        m_core.Log().Line(m_core.Config().name, "broker " + config.url + ": " + error.what());
        ConnectLater();
    }
}

void CMqttBridge::Stop() {
    if (!m_client) {
        return;
    }
    m_outbox.reset();  // what waits goes out first
    try {
        if (m_client->is_connected()) {
            m_client->publish(m_strStatusTopic, kOffline, std::strlen(kOffline), kQos, true)
                ->wait_for(kGoodbyeWait);
            m_client->disconnect()->wait_for(kGoodbyeWait);
        }
    } catch (const mqtt::exception&) {
        // Going away anyway; the broker publishes the last will.
    }
    m_client->disable_callbacks();
    m_client.reset();
}

void CMqttBridge::PublishVariable(const std::string& name, const std::string& value) {
    Publish(m_strPrefix + "/" + std::string(kValuesTopicLevel) + "/" + name, value, true);
}

std::string CMqttBridge::Topic(const std::string& key, const char* leaf) const {
    return m_strPrefix + "/" + key + "/" + leaf;
}

void CMqttBridge::OnConnected() {
    m_reconnectDelay = kFirstReconnectDelay;
    m_core.Log().Line(m_core.Config().name, "broker connected");
    m_core.Metrics().SetBrokerConnected(true);
    Publish(m_strStatusTopic, kOnline, true);
    Subscribe();
    const DiscoveryContext discovery{m_core.Config().name, m_strPrefix, m_strStatusTopic};
    for (const SignState& state : m_core.Director().Signs()) {
        SignChanged(state);
        for (const MqttPublication& entry : SignDiscovery(state.sign.name, discovery)) {
            Publish(entry.topic, entry.payload, entry.retained);
        }
    }
    try {
        // The retained entries of signs this gateway drove once come back here to be removed.
        m_client->subscribe(std::string(kDiscoveryPrefix) + "text/+/config", kQos);
        m_client->subscribe(std::string(kDiscoveryPrefix) + "sensor/+/config", kQos);
    } catch (const mqtt::exception& error) {
        m_core.Log().Line(m_core.Config().name, std::string("cannot subscribe: ") + error.what());
    }
}

void CMqttBridge::Subscribe() {
    try {
        m_client->subscribe(m_strPrefix + "/+/message/set", kQos);
        m_client->subscribe(m_strPrefix + "/+/notify", kQos);
        m_client->subscribe(m_strPrefix + "/" + std::string(kValuesTopicLevel) + "/+", kQos);
        // The other gateways' signs, for the signs page: at most once, as a page shows only the
        // latest anyway. The client then keeps none of these for acknowledgement, which it does
        // not do safely for a message that comes as the connection drops.
        m_client->subscribe(m_strPrefix + "/+/state", 0);
    } catch (const mqtt::exception& error) {
        m_core.Log().Line(m_core.Config().name, std::string("cannot subscribe: ") + error.what());
    }
}

void CMqttBridge::OnConnectionLost() {
    m_core.Log().Line(m_core.Config().name, "broker connection lost; reconnecting");
    m_core.Metrics().SetBrokerConnected(false);
    ConnectLater();
}

void CMqttBridge::TakeMessages() {
    for (const auto& [topic, arrival] : m_callback->Take()) {
        OnMessage(topic, arrival);
    }
}

void CMqttBridge::OnMessage(const std::string& topic, const MqttArrival& arrival) {
    const std::string& payload = arrival.payload;
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
    if (key == kValuesTopicLevel) {
        if (payload.size() <= kMaxRequestBody) {
            m_core.Commands().SetVariable(leaf, payload, Origin::kBroker,
                                          [](const GatewayResult&) {});
        }
        return;
    }
    OnSignMessage(key, leaf, arrival);
}

void CMqttBridge::OnSignMessage(const std::string& key, const std::string& leaf,
                                const MqttArrival& arrival) {
    const std::string& payload = arrival.payload;
    const auto known = m_allSigns.find(key);
    if (known == m_allSigns.end()) {
        return;
    }
    const std::string& name = known->second;
    const bool driven = m_core.Director().Find(name) != nullptr;
    if (leaf == "state") {
        if (!driven) {
            m_core.Others().Take(name, QByteArray::fromStdString(payload));
        }
        return;
    }
    if (!driven) {
        return;  // another gateway's sign: its own gateway answers
    }
    const auto answer = [this, key](const GatewayResult& result) { Answer(key, result); };
    if (payload.size() > kMaxRequestBody) {
        Answer(key, GatewayResult::Refused("", "the payload is larger than 1 MiB"));
    } else if (leaf == "message/set" && !payload.empty()) {  // empty: a retained one cleared
        const Result<SetPayload> set = ReadSetPayload(payload);
        if (!set.Ok()) {
            Answer(key, set.Failure());
            return;
        }
        m_core.Commands().SetMessage(name, set.Value().message, Origin::kBroker, answer,
                                     set.Value().stamp);
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
            Answer(key, notice.Failure());
            return;
        }
        m_core.Commands().Notify(name, notice.Value().message, notice.Value().seconds,
                                 Origin::kBroker, answer);
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
            break;
    }
    const std::string json = FailureJson(result);
    m_core.Log().Line(m_allSigns[key], "refused from the broker: " + json);
    Publish(Topic(key, "error"), json, false);
}

void CMqttBridge::Publish(const std::string& topic, const std::string& payload, bool retained) {
    if (m_outbox) {
        m_outbox->Post({topic, payload, retained});
    }
}
