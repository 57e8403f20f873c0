#include "gateway/HomeAssistant.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>

#include "gateway/SafeName.h"
#include "preview/SignModel.h"

namespace {

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

std::string GatewayDevice(const std::string& gateway) {
    return "lumivex_gateway_" + DiscoveryId(EscapeName(gateway));
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonObject Origin(const DiscoveryContext& context) {
    return {{"name", "Lumivex"},
            {"sw_version", Text(context.version)},
            {"support_url", Text(context.pageUrl)}};
}

MqttPublication Config(const char* component, const std::string& object,
                       const QJsonObject& entity) {
    return {std::string(kDiscoveryPrefix) + component + "/" + object + "/config", Compact(entity),
            true};
}

}  // namespace

std::string DiscoveryObject(const std::string& sign) {
    return "lumivex_" + DiscoveryId(EscapeName(sign));
}

std::vector<MqttPublication> SignDiscovery(const NamedSign& sign, const DiscoveryContext& context) {
    const std::string object = DiscoveryObject(sign.name);
    const std::string signTopic = context.prefix + "/" + EscapeName(sign.name) + "/";
    const QJsonObject device{{"identifiers", QJsonArray{Text(object)}},
                             {"name", Text(sign.name)},
                             {"manufacturer", "Lumivex"},
                             {"model", Text(std::string(kSignModelNames[static_cast<size_t>(
                                           std::clamp(sign.signModel, 0, kSignModelCount - 1))]))},
                             {"sw_version", Text(context.version)},
                             {"configuration_url", Text(context.pageUrl)},
                             {"via_device", Text(GatewayDevice(context.gateway))}};
    QJsonObject text;
    text["name"] = QJsonValue::Null;  // the device names it
    text["unique_id"] = Text(object + "_text");
    text["command_topic"] = Text(signTopic + "text/set");
    text["state_topic"] = Text(signTopic + "state");
    text["value_template"] =
        "{% set l = value_json.desired.lines[0] if value_json.desired else '' %}"
        "{{ l if l is string else l | map(attribute='text') | join }}";
    text["max"] = kMaxTextEntityLength;
    text["availability_topic"] = Text(context.statusTopic);
    text["origin"] = Origin(context);
    text["device"] = device;
    QJsonObject problem;
    problem["name"] = "Problem";
    problem["unique_id"] = Text(object + "_problem");
    problem["device_class"] = "problem";
    problem["entity_category"] = "diagnostic";
    problem["state_topic"] = Text(signTopic + "state");
    problem["value_template"] =
        "{{ 'ON' if value_json.lastOutcome and not value_json.lastOutcome.delivered else 'OFF' }}";
    // The outcome's words change with every send: an attribute, not a state with a history.
    problem["json_attributes_topic"] = Text(signTopic + "state");
    problem["json_attributes_template"] =
        "{{ {'outcome': value_json.lastOutcome.text if value_json.lastOutcome else "
        "'nothing sent yet', 'waiting_for': value_json.waitingFor} | tojson }}";
    problem["availability_topic"] = Text(context.statusTopic);
    problem["origin"] = Origin(context);
    problem["device"] = device;
    // A notice from Home Assistant's notify action: the message as one line, for the notice's
    // usual seconds.
    QJsonObject notice;
    notice["name"] = QJsonValue::Null;
    notice["unique_id"] = Text(object + "_notify");
    notice["command_topic"] = Text(signTopic + "notify");
    notice["command_template"] = "{\"message\": {\"lines\": [{{ value | tojson }}]}}";
    notice["availability_topic"] = Text(context.statusTopic);
    notice["origin"] = Origin(context);
    notice["device"] = device;
    return {Config("text", object, text), Config("binary_sensor", object, problem),
            Config("notify", object, notice)};
}

std::vector<MqttPublication> GatewayDiscovery(const DiscoveryContext& context) {
    const std::string object = GatewayDevice(context.gateway);
    QJsonObject connected;
    connected["name"] = "Connection";
    connected["unique_id"] = Text(object + "_connection");
    connected["device_class"] = "connectivity";
    connected["entity_category"] = "diagnostic";
    connected["state_topic"] = Text(context.statusTopic);
    connected["payload_on"] = "online";
    connected["payload_off"] = "offline";
    connected["origin"] = Origin(context);
    connected["device"] = QJsonObject{{"identifiers", QJsonArray{Text(object)}},
                                      {"name", Text("Lumivex gateway " + context.gateway)},
                                      {"manufacturer", "Lumivex"},
                                      {"model", "lumivex-gateway"},
                                      {"sw_version", Text(context.version)},
                                      {"configuration_url", Text(context.pageUrl)}};
    return {Config("binary_sensor", object, connected)};
}

bool IsStaleDiscoveryEntry(const std::string& topic, const std::string& payload,
                           const std::string& gateway, const std::vector<std::string>& driven) {
    const size_t prefix = std::strlen(kDiscoveryPrefix);
    if (payload.empty() || topic.rfind(kDiscoveryPrefix, 0) != 0) {
        return false;
    }
    const size_t objectStart = topic.find('/', prefix);
    const size_t objectEnd =
        objectStart == std::string::npos ? objectStart : topic.find('/', objectStart + 1);
    if (objectEnd == std::string::npos) {
        return false;
    }
    const std::string object = topic.substr(objectStart + 1, objectEnd - objectStart - 1);
    const QJsonObject device = QJsonDocument::fromJson(QByteArray::fromStdString(payload))
                                   .object()
                                   .value("device")
                                   .toObject();
    // This gateway's entries of before, when ids carried the gateway's name and no device named
    // the gateway, all go.
    if (!device.contains("via_device") &&
        object.rfind("lumivex_" + DiscoveryId(EscapeName(gateway)) + "_", 0) == 0) {
        return true;
    }
    if (device.value("via_device").toString().toStdString() != GatewayDevice(gateway)) {
        return false;
    }
    return std::none_of(driven.begin(), driven.end(),
                        [&](const std::string& sign) { return DiscoveryObject(sign) == object; });
}
