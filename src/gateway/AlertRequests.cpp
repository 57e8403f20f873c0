#include "gateway/AlertRequests.h"

#include <QJsonDocument>

#include "automation/TemplateText.h"
#include "gateway/GatewayRequests.h"

namespace {

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace

bool IsAlertKey(std::string_view key) {
    return IsVariableName(key);
}

GatewayResult BadAlertKey() {
    return GatewayResult::Refused(
        "key",
        "an alert's key is 1 to 64 letters, digits, \"_\", \"-\" and \".\", beginning with a "
        "letter, a digit or \"_\"");
}

Result<AlertRequest> ReadAlertRequest(const QJsonObject& body) {
    AlertRequest alert;
    const QJsonValue priority = body.value("priority");
    alert.priority = priority.isUndefined() ? kDefaultAlertPriority : priority.toInt(-1);
    if (alert.priority < kHighestAlertPriority || alert.priority > kLowestAlertPriority) {
        return GatewayResult::Refused("priority", "must be a whole number from 1 to 9");
    }
    const QJsonValue seconds = body.value("seconds");
    if (!seconds.isUndefined() && seconds.toString() != "hold") {
        alert.seconds = seconds.toInt(-1);
        if (*alert.seconds < 1 || *alert.seconds > kMaxNoticeSeconds) {
            return GatewayResult::Refused("seconds",
                                          "must be \"hold\" or a whole number from 1 to 86400");
        }
    }
    if (body.value("name").isString()) {
        alert.library = body.value("name").toString().toStdString();
        return alert;
    }
    Result<MessageDocument> message = ReadMessageField(body);
    if (!message.Ok()) {
        return message.Failure();
    }
    alert.message = message.Take();
    return alert;
}

Result<AlertRequest> ReadAlertPayload(std::string_view payload) {
    const Result<QJsonObject> object = ReadBodyObject(payload);
    if (object.Ok()) {  // a JSON object is a request, whatever it lacks
        return ReadAlertRequest(object.Value());
    }
    return AlertRequest{PlainTextMessage(payload), kDefaultAlertPriority, std::nullopt, {}};
}

std::string AlertPayloadJson(const AlertRequest& alert) {
    QJsonObject object{{"message", MessageToJsonObject(alert.message)},
                       {"priority", alert.priority}};
    if (alert.seconds) {
        object["seconds"] = *alert.seconds;
    }
    if (!alert.library.empty()) {
        object["name"] = QString::fromStdString(alert.library);
    }
    return Compact(object);
}

std::string KeptAlertJson(const std::string& sign, const Alert& alert) {
    QJsonObject object{{"sign", QString::fromStdString(sign)},
                       {"key", QString::fromStdString(alert.key)},
                       {"priority", alert.priority},
                       {"since", QString::fromStdString(IsoTimeText(alert.since))},
                       {"message", MessageToJsonObject(alert.message)}};
    if (alert.until) {
        object["until"] = QString::fromStdString(IsoTimeText(*alert.until));
    }
    if (!alert.library.empty()) {
        object["library"] = QString::fromStdString(alert.library);
    }
    return Compact(object);
}

std::optional<KeptAlert> ReadKeptAlert(const std::string& json) {
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    const auto since = TimeFromIsoText(object.value("since").toString().toStdString());
    const std::string key = object.value("key").toString().toStdString();
    const int priority = object.value("priority").toInt(-1);
    if (!since || !IsAlertKey(key) || priority < kHighestAlertPriority ||
        priority > kLowestAlertPriority || !object.value("message").isObject()) {
        return std::nullopt;
    }
    KeptAlert kept{object.value("sign").toString().toStdString(), {}};
    kept.alert.key = key;
    kept.alert.priority = priority;
    kept.alert.since = *since;
    kept.alert.library = object.value("library").toString().toStdString();
    if (object.contains("until")) {
        kept.alert.until = TimeFromIsoText(object.value("until").toString().toStdString());
        if (!kept.alert.until) {
            return std::nullopt;
        }
    }
    try {
        kept.alert.message = MessageFromJsonObject(object.value("message").toObject());
    } catch (const CMessageFileError&) {
        return std::nullopt;
    }
    return kept;
}
