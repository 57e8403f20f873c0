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

#include "gateway/CGateway.h"
#include "gateway/GatewayRequests.h"
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
constexpr const char* kDiscoveryPrefix = "homeassistant/";
constexpr int kMaxTextEntityLength = 255;

// An id Home Assistant takes ([a-zA-Z0-9_-]) from escaped text, still one to one: "_" doubles and
// "%" becomes "_".
std::string DiscoveryId(const std::string& escaped) {
    std::string id;
    for (const char c : escaped) {
        id += c == '%' ? "_" : c == '_' ? "__" : std::string(1, c);
    }
    return id;
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

void Log(const std::string& text) {
    const std::string line = "lumivex-gateway: " + text + "\n";
    std::fputs(line.c_str(), stderr);
}

}  // namespace

// The client's calls, on its own threads, handed to the gateway's thread.
class CMqttCallback : public mqtt::callback {
public:
    CMqttCallback(CMqttBridge& bridge, CMqttOutbox& outbox) : m_bridge(bridge), m_outbox(outbox) {}

    void connected(const std::string&) override {
        m_outbox.SetConnected(true);
        QMetaObject::invokeMethod(
            &m_bridge, [this] { m_bridge.OnConnected(); }, Qt::QueuedConnection);
    }
    void connection_lost(const std::string&) override {
        m_outbox.SetConnected(false);
        QMetaObject::invokeMethod(
            &m_bridge, [this] { m_bridge.OnConnectionLost(); }, Qt::QueuedConnection);
    }
    // Messages wait here, the latest of each topic only, until the gateway's thread takes them
    // all at once: a burst faster than the gateway's thread costs no memory and no delay beyond
    // one round.
    void message_arrived(mqtt::const_message_ptr message) override {
        bool first = false;
        {
            const std::lock_guard lock(m_mutex);
            first = m_pending.empty();
            m_pending[message->get_topic()] = message->to_string();
        }
        if (first) {
            QMetaObject::invokeMethod(
                &m_bridge, [this] { m_bridge.TakeMessages(); }, Qt::QueuedConnection);
        }
    }

    std::map<std::string, std::string> Take() {
        const std::lock_guard lock(m_mutex);
        return std::exchange(m_pending, {});
    }

private:
    CMqttBridge& m_bridge;
    CMqttOutbox& m_outbox;
    std::mutex m_mutex;
    std::map<std::string, std::string> m_pending;  // topic -> its latest payload
};

// A failed attempt to connect, handed to the gateway's thread to try again.
class CConnectListener : public mqtt::iaction_listener {
public:
    explicit CConnectListener(CMqttBridge& bridge) : m_bridge(bridge) {}

    void on_failure(const mqtt::token&) override {
        QMetaObject::invokeMethod(
            &m_bridge, [this] { m_bridge.ConnectLater(); }, Qt::QueuedConnection);
    }
    void on_success(const mqtt::token&) override {}

private:
    CMqttBridge& m_bridge;
};

CMqttBridge::CMqttBridge(CGateway& gateway, const std::vector<NamedSign>& allSigns, QObject* parent)
    : QObject(parent), m_gateway(gateway) {
    const GatewayConfig& config = gateway.Config();
    m_strPrefix = config.mqtt.prefix;
    m_strStatusTopic = m_strPrefix + "/gateway/" + EscapeName(config.name) + "/status";
    for (const NamedSign& sign : allSigns) {
        m_allSigns[EscapeName(sign.name)] = sign.name;
    }
    m_client = std::make_unique<mqtt::async_client>(
        config.mqtt.url, "lumivex-gateway-" + EscapeName(config.name), kNoOfflineBuffer, nullptr);
    m_outbox =
        std::make_unique<CMqttOutbox>([client = m_client.get()](const OutboxMessage& message) {
            try {
                client->publish(message.topic, message.payload.data(), message.payload.size(), kQos,
                                message.retained);
            } catch (const mqtt::exception& error) {
                Log("cannot publish to " + message.topic + ": " + error.what());
            }
        });
    m_callback = std::make_unique<CMqttCallback>(*this, *m_outbox);
    m_connectListener = std::make_unique<CConnectListener>(*this);
    m_client->set_callback(*m_callback);
    connect(&gateway, &CGateway::SignChanged, this, &CMqttBridge::PublishState);
    connect(&gateway, &CGateway::DesiredChanged, this, [this](const QString& name) {
        // The set topic keeps the desired message for a gateway that starts in this one's place.
        // One that came from the set topic is there already.
        const std::string sign = name.toStdString();
        const std::string key = EscapeName(sign);
        const auto json = m_gateway.DesiredJson(sign);
        const auto taken = m_taken.find(key);
        const bool fromBroker = taken != m_taken.end() && json && taken->second.count(*json) != 0;
        if (!fromBroker && json) {
            m_echoes[key] = *json;
            Publish(Topic(key, "message/set"), *json, true);
        }
    });
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
    const MqttConfig& config = m_gateway.Config().mqtt;
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
        Log("broker " + config.url + ": " + error.what());
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

bool CMqttBridge::Knows(const std::string& name) const {
    return m_allSigns.count(EscapeName(name)) != 0;
}

bool CMqttBridge::Forward(const std::string& name, const MessageDocument& message) {
    if (!Knows(name)) {
        return false;
    }
    Publish(Topic(EscapeName(name), "message/set"),
            WriteMessageJson(message, {.indented = false, .everyChoice = true}), true);
    return true;
}

void CMqttBridge::ShareVariable(const std::string& name, const std::string& value) {
    Publish(m_strPrefix + "/" + std::string(kValuesTopicLevel) + "/" + name, value, true);
}

std::string CMqttBridge::Topic(const std::string& key, const char* leaf) const {
    return m_strPrefix + "/" + key + "/" + leaf;
}

void CMqttBridge::OnConnected() {
    m_reconnectDelay = kFirstReconnectDelay;
    Log(m_gateway.Config().name + ": broker connected");
    m_gateway.Metrics().mqttConnected = true;
    Publish(m_strStatusTopic, kOnline, true);
    try {
        m_client->subscribe(m_strPrefix + "/+/message/set", kQos);
        m_client->subscribe(m_strPrefix + "/+/notify", kQos);
        m_client->subscribe(m_strPrefix + "/" + std::string(kValuesTopicLevel) + "/+", kQos);
        // The other gateways' signs, for the signs page: at most once, as a page shows only the
        // latest anyway. The client then keeps none of these for acknowledgement, which it does
        // not do safely for a message that comes as the connection drops.
        m_client->subscribe(m_strPrefix + "/+/state", 0);
    } catch (const mqtt::exception& error) {
        Log(std::string("cannot subscribe: ") + error.what());
    }
    for (const std::string& name : m_gateway.SignNames()) {
        PublishState(QString::fromStdString(name));
        PublishDiscovery(name);
    }
    try {
        // The retained entries of signs this gateway drove once come back here to be removed.
        m_client->subscribe(std::string(kDiscoveryPrefix) + "text/+/config", kQos);
        m_client->subscribe(std::string(kDiscoveryPrefix) + "sensor/+/config", kQos);
    } catch (const mqtt::exception& error) {
        Log(std::string("cannot subscribe: ") + error.what());
    }
}

std::string CMqttBridge::DiscoveryObject(const std::string& name) const {
    return "lumivex_" + DiscoveryId(EscapeName(m_gateway.Config().name)) + "_" +
           DiscoveryId(EscapeName(name));
}

void CMqttBridge::PublishDiscovery(const std::string& name) {
    const std::string key = EscapeName(name);
    const std::string object = DiscoveryObject(name);
    QJsonObject device;
    device["identifiers"] = QJsonArray{QString::fromStdString(object)};
    device["name"] = QString::fromStdString(name);
    device["manufacturer"] = "Lumivex";
    QJsonObject text;
    text["name"] = QString::fromStdString(name);
    text["unique_id"] = QString::fromStdString(object + "_text");
    text["command_topic"] = QString::fromStdString(Topic(key, "message/set"));
    text["state_topic"] = QString::fromStdString(Topic(key, "state"));
    text["value_template"] =
        "{% set l = value_json.desired.lines[0] if value_json.desired else '' %}"
        "{{ l if l is string else l | map(attribute='text') | join }}";
    text["max"] = kMaxTextEntityLength;
    text["availability_topic"] = QString::fromStdString(m_strStatusTopic);
    text["device"] = device;
    Publish(std::string(kDiscoveryPrefix) + "text/" + object + "/config", Compact(text), true);
    QJsonObject sensor;
    sensor["name"] = QString::fromStdString(name + " last outcome");
    sensor["unique_id"] = QString::fromStdString(object + "_outcome");
    sensor["state_topic"] = QString::fromStdString(Topic(key, "state"));
    sensor["value_template"] =
        "{{ value_json.lastOutcome.text if value_json.lastOutcome else 'nothing sent yet' }}";
    sensor["availability_topic"] = QString::fromStdString(m_strStatusTopic);
    sensor["device"] = device;
    Publish(std::string(kDiscoveryPrefix) + "sensor/" + object + "/config", Compact(sensor), true);
}

void CMqttBridge::OnDiscoveryEntry(const std::string& topic, const std::string& payload) {
    // homeassistant/<component>/<object>/config: one of this gateway's, for a sign it no longer
    // drives, is removed by an empty retained payload.
    const std::string own = "lumivex_" + DiscoveryId(EscapeName(m_gateway.Config().name)) + "_";
    const size_t objectStart = topic.find('/', std::strlen(kDiscoveryPrefix)) + 1;
    const size_t objectEnd = topic.find('/', objectStart);
    if (payload.empty() || objectEnd == std::string::npos) {
        return;
    }
    const std::string object = topic.substr(objectStart, objectEnd - objectStart);
    if (object.rfind(own, 0) != 0) {
        return;
    }
    for (const std::string& name : m_gateway.SignNames()) {
        if (DiscoveryObject(name) == object) {
            return;
        }
    }
    Log("removing the Home Assistant entry " + topic);
    Publish(topic, std::string(), true);
}

void CMqttBridge::OnConnectionLost() {
    Log(m_gateway.Config().name + ": broker connection lost; reconnecting");
    m_gateway.Metrics().mqttConnected = false;
    ConnectLater();
}

void CMqttBridge::TakeMessages() {
    for (const auto& [topic, payload] : m_callback->Take()) {
        OnMessage(topic, payload);
    }
}

void CMqttBridge::OnMessage(const std::string& topic, const std::string& payload) {
    if (topic.rfind(kDiscoveryPrefix, 0) == 0) {
        OnDiscoveryEntry(topic, payload);
        return;
    }
    const std::string head = m_strPrefix + "/";
    if (topic.rfind(head, 0) != 0) {
        return;
    }
    const std::string rest = topic.substr(head.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) {
        return;
    }
    const std::string key = rest.substr(0, slash);
    const std::string leaf = rest.substr(slash + 1);
    if (key == kValuesTopicLevel) {
        if (IsVariableName(leaf)) {
            m_gateway.SetVariable(leaf, payload);
        }
        return;
    }
    const auto known = m_allSigns.find(key);
    if (leaf == "state") {
        if (known != m_allSigns.end() && !m_gateway.Drives(known->second)) {
            emit OtherSignState(QString::fromStdString(known->second),
                                QByteArray::fromStdString(payload));
        }
        return;
    }
    if (known == m_allSigns.end() || !m_gateway.Drives(known->second)) {
        return;  // another gateway's sign, or none: its own gateway answers
    }
    const std::string& name = known->second;
    if (leaf == "message/set") {
        if (payload.empty()) {
            return;  // a retained message cleared
        }
        std::variant<MessageDocument, RequestError> message = RequestError{};
        try {
            message = payload.front() == '{' ? ReadRequestMessage(payload, "")
                                             : PlainTextMessage(payload);
        } catch (const CMessageFileError& error) {
            message = RequestError{400, "", error.what()};
        }
        if (const auto* error = std::get_if<RequestError>(&message)) {
            PublishError(key, error->Json());
            return;
        }
        const MessageDocument& document = std::get<MessageDocument>(message);
        const std::string json =
            WriteMessageJson(document, {.indented = false, .everyChoice = true});
        if (payload == m_echoes[key] || m_gateway.DesiredJson(name) == json) {
            return;  // this gateway's own copy coming back, or what the sign has already
        }
        // The set topic holds it already: when it becomes the sign's desired message it is not
        // published back there.
        m_taken[key].insert(json);
        m_gateway.KeepDesired(name, document,
                              [this, key, json](const std::optional<std::string>& failure) {
                                  auto& taken = m_taken[key];
                                  taken.erase(taken.find(json));
                                  if (taken.empty()) {
                                      m_taken.erase(key);
                                  }
                                  if (failure) {
                                      PublishError(key, RequestError{503, "", *failure}.Json());
                                  }
                              });
    } else if (leaf == "notify") {
        const auto notice = ReadNoticeRequest(payload);
        if (const auto* error = std::get_if<RequestError>(&notice)) {
            PublishError(key, error->Json());
            return;
        }
        const auto& [message, seconds] = std::get<NoticeRequest>(notice);
        m_gateway.Notify(name, message, seconds);
    }
}

void CMqttBridge::PublishState(const QString& name) {
    const QJsonObject state = m_gateway.SignJson(name.toStdString());
    if (!state.isEmpty()) {
        Publish(Topic(EscapeName(name.toStdString()), "state"),
                QJsonDocument(state).toJson(QJsonDocument::Compact).toStdString(), true);
    }
}

void CMqttBridge::PublishError(const std::string& key, const std::string& json) {
    Log(m_allSigns[key] + ": refused from the broker: " + json);
    Publish(Topic(key, "error"), json, false);
}

void CMqttBridge::Publish(const std::string& topic, const std::string& payload, bool retained) {
    if (m_outbox) {
        m_outbox->Post({topic, payload, retained});
    }
}
