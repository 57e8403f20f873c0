#include "gateway/AccessRoles.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <array>

#include "gateway/GatewayConfig.h"
#include "gateway/GatewayRequests.h"

namespace {

// A route's path begins with `prefix`, and a request of that kind needs `role`; the first that
// matches holds. Reads not named here need kViewer, writes kOperator. kViewer for a read means
// "when reads need a token": without readNeedsToken a read needs none.
struct RouteRole {
    bool write;
    const char* prefix;
    Role role;
};
constexpr RouteRole kRouteRoles[] = {
    {false, "/healthz", Role::kNone},
    {false, "/api/audit", Role::kOperator},  // who changed what is not for every reader
    {false, "/api/", Role::kViewer},
    {false, "/metrics", Role::kViewer},
    {false, "/", Role::kNone},  // the page's own files: code and style, no data
    {true, "/api/messages", Role::kAdmin},
    {true, "/api/reload", Role::kAdmin},
    {true, "/api/alerts", Role::kOperator},
};

bool IsRead(const std::string& method) {
    return method == "GET" || method == "HEAD";
}

}  // namespace

const char* RoleName(Role role) {
    switch (role) {
        case Role::kViewer:
            return "viewer";
        case Role::kOperator:
            return "operator";
        case Role::kAdmin:
            return "admin";
        case Role::kNone:
            break;
    }
    return "";
}

bool TokensConfigured(const GatewayConfig& config) {
    return !config.token.empty() || !config.operatorToken.empty() || !config.viewerToken.empty();
}

Role RoleOfToken(const GatewayConfig& config, const std::string& presented) {
    // Every token compared, whatever matched before, so that the time does not tell which.
    const std::array<std::pair<const std::string*, Role>, 3> tokens = {{
        {&config.token, Role::kAdmin},
        {&config.operatorToken, Role::kOperator},
        {&config.viewerToken, Role::kViewer},
    }};
    Role role = Role::kNone;
    for (const auto& [token, given] : tokens) {
        if (SameSecret(presented, *token) && role == Role::kNone) {
            role = given;
        }
    }
    return role;
}

std::string BearerToken(const std::string& header) {
    const std::string bearer = "Bearer ";
    return header.rfind(bearer, 0) == 0 ? header.substr(bearer.size()) : std::string();
}

Role NeededRole(const GatewayConfig& config, const std::string& method, const std::string& path) {
    const bool write = !IsRead(method);
    Role role = write ? Role::kOperator : Role::kViewer;
    for (const RouteRole& rule : kRouteRoles) {
        if (rule.write == write && path.rfind(rule.prefix, 0) == 0) {
            role = rule.role;
            break;
        }
    }
    return role == Role::kViewer && !config.readNeedsToken ? Role::kNone : role;
}

CReadPass::CReadPass() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    m_key.assign(reinterpret_cast<const char*>(words.data()), sizeof(words));
}

std::string CReadPass::Sign(const std::string& text) const {
    return QMessageAuthenticationCode::hash(QByteArray::fromStdString(text),
                                            QByteArray::fromStdString(m_key),
                                            QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string CReadPass::Cookie(std::chrono::steady_clock::time_point now) const {
    const auto until =
        std::chrono::duration_cast<std::chrono::seconds>((now + kLifetime).time_since_epoch());
    const std::string value = std::to_string(until.count());
    return std::string(kCookie) + "=" + value + "." + Sign(value) +
           "; Path=/api/; Max-Age=" + std::to_string(kLifetime.count()) +
           "; HttpOnly; SameSite=Strict";
}

bool CReadPass::Valid(const std::string& cookieHeader,
                      std::chrono::steady_clock::time_point now) const {
    const std::string name = std::string(kCookie) + "=";
    size_t at = 0;
    while ((at = cookieHeader.find(name, at)) != std::string::npos) {
        const bool whole = at == 0 || cookieHeader[at - 1] == ' ' || cookieHeader[at - 1] == ';';
        const size_t begin = at + name.size();
        at = begin;
        if (!whole) {
            continue;
        }
        const std::string pass = cookieHeader.substr(begin, cookieHeader.find(';', begin) - begin);
        const size_t dot = pass.find('.');
        if (dot == std::string::npos ||
            !SameSecret(pass.substr(dot + 1), Sign(pass.substr(0, dot)))) {
            continue;
        }
        bool ok = false;
        const qlonglong until = QByteArray::fromStdString(pass.substr(0, dot)).toLongLong(&ok);
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch());
        if (ok && seconds.count() < until) {
            return true;
        }
    }
    return false;
}
