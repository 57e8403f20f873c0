#pragma once

#include <string>

namespace httplib {
struct Request;
struct Response;
}  // namespace httplib

class CGatewayCore;

// The library's routes, /api/messages and /api/messages/{name}.
void GetLibrary(CGatewayCore& core, const httplib::Request& request, httplib::Response& response);
void GetLibraryMessage(CGatewayCore& core, const httplib::Request& request,
                       httplib::Response& response);
void PutLibraryMessage(CGatewayCore& core, const httplib::Request& request, const std::string& body,
                       httplib::Response& response);
void DeleteLibraryMessage(CGatewayCore& core, const httplib::Request& request,
                          httplib::Response& response);
