#include "gateway/Stamp.h"

#include <algorithm>

const char* OriginName(Origin origin) {
    switch (origin) {
        case Origin::kBroker:
            return "broker";
        case Origin::kSchedule:
            return "schedule";
        case Origin::kApi:
            break;
    }
    return "api";
}

Stamp NextStamp(GatewayTime now, const std::string& by, Origin origin, uint64_t after) {
    const auto ms = static_cast<uint64_t>(std::max<int64_t>(now.time_since_epoch().count(), 0));
    return {std::max(ms, after + 1), now, by, origin};
}

void WriteStamp(QJsonObject& object, const Stamp& stamp) {
    object["version"] = static_cast<qint64>(stamp.version);
    object["setAt"] = QString::fromStdString(IsoTimeText(stamp.setAt));
    object["by"] = QString::fromStdString(stamp.by);
    object["origin"] = OriginName(stamp.origin);
}

std::optional<Stamp> ReadStamp(const QJsonObject& object) {
    const QJsonValue version = object.value("version");
    if (!version.isDouble() || version.toInteger(-1) < 0) {
        return std::nullopt;
    }
    Stamp stamp;
    stamp.version = static_cast<uint64_t>(version.toInteger());
    stamp.setAt = TimeFromIsoText(object.value("setAt").toString().toStdString())
                      .value_or(GatewayTime(std::chrono::milliseconds(version.toInteger())));
    stamp.by = object.value("by").toString().toStdString();
    stamp.origin = object.value("origin") == "broker" ? Origin::kBroker : Origin::kApi;
    return stamp;
}
