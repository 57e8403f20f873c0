#pragma once

#include <cstddef>

#include "gateway/GatewayResult.h"

namespace httplib {
class Server;
}

class CGatewayCore;

inline constexpr size_t kMaxRequestBody = 1024 * 1024;
// The one read that needs the token: whoever holds a valid one is told its role.
inline constexpr const char* kWhoAmIPath = "/api/whoami";

// The API's routes: each reads its request, asks one thing of the gateway's thread and maps the
// answer to a status in one table.
void AddApiRoutes(httplib::Server& server, CGatewayCore& core);
// The answer to a body or payload above kMaxRequestBody.
GatewayResult TooLarge();
