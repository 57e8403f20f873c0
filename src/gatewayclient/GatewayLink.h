#pragma once

#include <chrono>
#include <string>

// Where a gateway's API is, and the token that opens it (sent as a bearer token, never shown).
struct GatewayAccess {
    std::string url;  // http://HOST[:PORT] or https://HOST[:PORT]
    std::string token;
};

// A gateway that does not take the connection or does not answer holds nobody for long.
inline constexpr std::chrono::seconds kGatewayConnectTimeout{5};
inline constexpr std::chrono::seconds kGatewayReadTimeout{10};
// An answer larger than this is not a library of this world.
inline constexpr size_t kMaxGatewayAnswerBytes = 64 * 1024 * 1024;

// The gateway's answer, or why none came.
struct GatewayExchange {
    int status = 0;  // 0: no answer
    std::string body;
    std::string noAnswer;  // why: "no connection", ...
};

// One request to the API: a path under the URL, with a JSON body for PUT. The URL must pass
// IsGatewayUrl.
GatewayExchange ExchangeWithGateway(const GatewayAccess& access, const std::string& method,
                                    const std::string& path, const std::string& jsonBody = {});
