#pragma once

#include <QJsonObject>
#include <cstdint>
#include <optional>
#include <string>

#include "gateway/Clock.h"

// Where a change came from. A new way in adds its value here and its name in OriginName.
enum class Origin { kApi, kBroker, kSchedule };

// "api", "broker", "schedule": as stamps and the audit say it.
const char* OriginName(Origin origin);

// When and by whom a desired message was set, and its version: of two messages for one sign, the
// one of the higher version is the newer, wherever and in whatever order they arrive. The journal,
// the retained set topic and the sign's state all carry it.
struct Stamp {
    uint64_t version = 0;
    GatewayTime setAt{};
    std::string by;  // the gateway that stamped it
    Origin origin = Origin::kApi;

    bool operator==(const Stamp&) const = default;
};

// A new stamp, newer than `after`: its version the time in milliseconds, or one past `after`'s
// when the clock has not moved on (or stands behind another gateway's).
Stamp NextStamp(GatewayTime now, const std::string& by, Origin origin, uint64_t after);

// The stamp's fields in an object: "version", "setAt", "by", "origin".
void WriteStamp(QJsonObject& object, const Stamp& stamp);
// The stamp an object carries; none without a version.
std::optional<Stamp> ReadStamp(const QJsonObject& object);
