#include "gateway/HomeAssistant.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cstring>

#include "gateway/SafeName.h"

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

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

std::string DiscoveryObject(const std::string& gateway, const std::string& sign) {
    return "lumivex_" + DiscoveryId(EscapeName(gateway)) + "_" + DiscoveryId(EscapeName(sign));
}

std::vector<MqttPublication> SignDiscovery(const std::string& name,
                                           const DiscoveryContext& context) {
    const std::string object = DiscoveryObject(context.gateway, name);
    const std::string signTopic = context.prefix + "/" + EscapeName(name) + "/";
    QJsonObject device;
    device["identifiers"] = QJsonArray{Text(object)};
    device["name"] = Text(name);
    device["manufacturer"] = "Lumivex";
    QJsonObject text;
    text["name"] = Text(name);
    text["unique_id"] = Text(object + "_text");
    text["command_topic"] = Text(signTopic + "message/set");
    text["state_topic"] = Text(signTopic + "state");
    text["value_template"] =
        "{% set l = value_json.desired.lines[0] if value_json.desired else '' %}"
        "{{ l if l is string else l | map(attribute='text') | join }}";
    text["max"] = kMaxTextEntityLength;
    text["availability_topic"] = Text(context.statusTopic);
    text["device"] = device;
    QJsonObject sensor;
    sensor["name"] = Text(name + " last outcome");
    sensor["unique_id"] = Text(object + "_outcome");
    sensor["state_topic"] = Text(signTopic + "state");
    sensor["value_template"] =
        "{{ value_json.lastOutcome.text if value_json.lastOutcome else 'nothing sent yet' }}";
    sensor["availability_topic"] = Text(context.statusTopic);
    sensor["device"] = device;
    return {
        {std::string(kDiscoveryPrefix) + "text/" + object + "/config", Compact(text), true},
        {std::string(kDiscoveryPrefix) + "sensor/" + object + "/config", Compact(sensor), true}};
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
    if (object.rfind("lumivex_" + DiscoveryId(EscapeName(gateway)) + "_", 0) != 0) {
        return false;
    }
    return std::none_of(driven.begin(), driven.end(), [&](const std::string& sign) {
        return DiscoveryObject(gateway, sign) == object;
    });
}
