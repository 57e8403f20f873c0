#pragma once

#include <cstddef>

// Why the HTTP front turned a connection away or cut it off.
enum class HttpRefusal {
    kClientLimit,   // its address held too many connections
    kTotalLimit,    // the gateway held too many in all
    kHeadTooLarge,  // answered 431
    kHeadTimeout,   // its request head did not come whole in time
    kBodyTimeout,   // its request body did not come whole in time
};
inline constexpr size_t kHttpRefusals = 5;

// The reason's label in /metrics: "client_limit" and so on.
inline const char* HttpRefusalName(HttpRefusal refusal) {
    constexpr const char* kNames[kHttpRefusals] = {"client_limit", "total_limit", "head_too_large",
                                                   "head_timeout", "body_timeout"};
    return kNames[static_cast<size_t>(refusal)];
}
