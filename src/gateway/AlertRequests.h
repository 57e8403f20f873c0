#pragma once

#include <QJsonObject>
#include <optional>
#include <string>
#include <string_view>

#include "gateway/GatewayResult.h"
#include "gateway/SignAlerts.h"

// What a request or a payload raising an alert asks, read and checked before the commands.
struct AlertRequest {
    MessageDocument message;
    int priority = kDefaultAlertPriority;
    std::optional<int> seconds;  // none: held until cleared
    std::string library;         // the library message it shows instead of `message`
};

// Whether the key can name an alert: the rule of a live value's name, so that it is a topic level
// and a path segment as it stands.
bool IsAlertKey(std::string_view key);
// The refusal of a key that cannot name one.
GatewayResult BadAlertKey();

// {"message": {...} | "name": "library-name", "priority": 1-9, "seconds": 1-86400 | "hold"};
// without "seconds" the alert holds until cleared, without "priority" it is of the middle one.
Result<AlertRequest> ReadAlertRequest(const QJsonObject& body);
// An alert topic's payload: such a JSON object, or text that is no JSON object as one line of red,
// held.
Result<AlertRequest> ReadAlertPayload(std::string_view payload);
// The payload that raises the alert on another gateway's sign.
std::string AlertPayloadJson(const AlertRequest& alert);

// An alert as the state folder keeps it, with the sign's name.
std::string KeptAlertJson(const std::string& sign, const Alert& alert);
struct KeptAlert {
    std::string sign;
    Alert alert;
};
// None for a cleared one ("{}") or one that cannot be read.
std::optional<KeptAlert> ReadKeptAlert(const std::string& json);
