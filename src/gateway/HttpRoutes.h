#pragma once

#include "gateway/GatewayResult.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

class CGatewayCore;

// The API's routes: each reads its request, asks one thing of the gateway's thread and maps the
// answer to a status in one table.
void AddApiRoutes(httplib::Server& server, CGatewayCore& core);
// A write and its answer into the audit, from the request's thread: with the role of its token,
// its client's address and what it wrote, cut short.
void AuditRequest(CGatewayCore& core, const httplib::Request& request, const std::string& body,
                  const httplib::Response& response);
