#pragma once

#include <chrono>
#include <optional>
#include <string>

struct GatewayConfig;

// What a token lets its holder do, each role all that the one before it may: viewers read,
// operators change what signs show (messages, notices, values, alerts), admins also the message
// library and the configuration.
enum class Role { kNone, kViewer, kOperator, kAdmin };

// "viewer", "operator", "admin"; "" for none.
const char* RoleName(Role role);

// Whether the gateway asks for tokens at all: without any configured, everyone may do everything.
bool TokensConfigured(const GatewayConfig& config);
// The role of a presented token, each configured one compared in constant time; kNone when it
// matches none (or is empty).
Role RoleOfToken(const GatewayConfig& config, const std::string& presented);
// The token of an "Authorization: Bearer ..." header; empty when there is none.
std::string BearerToken(const std::string& header);

// The role a request needs: reads none (or the viewer's, when the configuration says reads need
// a token), writes the operator's, the library and the configuration the admin's. /healthz and
// the page's own files, which hold no data, need none.
Role NeededRole(const GatewayConfig& config, const std::string& method, const std::string& path);

// A page's pass for reading, given for a token at GET /api/session: a browser's event stream and
// pictures cannot carry a header, so they carry this cookie instead of the token itself, which then
// never stands in an address (and so in no log) nor in a cookie. Signed with a key of this process,
// it ends after kPassLifetime, and it lets its holder read only: writes always need the header.
class CReadPass {
public:
    CReadPass();  // a new random key

    static constexpr const char* kCookie = "lumivex-pass";
    static constexpr std::chrono::seconds kLifetime{std::chrono::hours(1)};

    // The Set-Cookie header's value for a pass valid from `now`.
    std::string Cookie(std::chrono::steady_clock::time_point now) const;
    // Whether a request's Cookie header holds a pass still valid at `now`.
    bool Valid(const std::string& cookieHeader, std::chrono::steady_clock::time_point now) const;

private:
    std::string Sign(const std::string& text) const;
    std::string m_key;
};
