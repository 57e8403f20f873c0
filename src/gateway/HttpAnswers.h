#pragma once

#include <cstddef>

#include "gateway/GatewayResult.h"

class QJsonValue;
namespace httplib {
struct Response;
}

// A failure as {"error", "field"} with the status of its kind.
void SendFailure(httplib::Response& response, const GatewayResult& failure);
// The JSON object or array with that status.
void SendJson(httplib::Response& response, int status, const QJsonValue& value);
// The answer to a body or payload (`what`) above the configured cap, which it names.
GatewayResult TooLarge(size_t cap, const char* what = "body");
