#include "gateway/CHttpApi.h"

#include <httplib.h>

#include <sys/socket.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "gateway/CDashboard.h"
#include "gateway/CGatewayCore.h"
#include "gateway/CHttpFront.h"
#include "gateway/GatewayRequests.h"
#include "gateway/HttpAnswers.h"
#include "gateway/HttpRoutes.h"
#include "gateway/TlsContext.h"

namespace {

constexpr int kStopPollMs = 10;

void SendError(httplib::Response& response, int status, const std::string& field,
               const std::string& text) {
    response.status = status;
    response.set_content(FailureJson({ResultKind::kRefused, field, text}), "application/json");
}

std::string StatusText(const httplib::Request& request, int status, size_t cap) {
    switch (status) {
        case 404:
            return "no such resource";
        case 405:
            return "method not allowed here";
        case 413:
            // The server's own bound for a form it would parse, far below the body's cap.
            return request.get_header_value("Content-Type")
                               .rfind("application/x-www-form-urlencoded", 0) == 0
                       ? "a form-encoded body is larger than " +
                             std::to_string(CPPHTTPLIB_FORM_URL_ENCODED_PAYLOAD_MAX_LENGTH / 1024) +
                             " KiB"
                       : TooLarge(cap).text;
        default:
            return "request failed";
    }
}

// What the log says once a client address and reason, after the address.
std::string RefusalText(HttpRefusal why) {
    switch (why) {
        case HttpRefusal::kClientLimit:
            return " holds too many connections: more are refused";
        case HttpRefusal::kTotalLimit:
            return " is refused: the gateway holds as many connections as it takes";
        case HttpRefusal::kHeadTooLarge:
            return " sent a request head over " + std::to_string(HttpFrontLimits{}.maxHead / 1024) +
                   " KiB: answered 431";
        case HttpRefusal::kHeadTimeout:
            return " did not send its request head in time: closed";
        case HttpRefusal::kBodyTimeout:
            return " did not send its request body in time: closed";
    }
    return " is refused";
}

}  // namespace

CHttpApi::CHttpApi(CGatewayCore& core)
    : m_core(core),
      m_tls(MakeTlsContext(core.Config().tls)),
      m_server(std::make_unique<CHttpFront>(HttpFrontLimits{}, m_tls ? m_tls->Get() : nullptr)),
      m_dashboard(std::make_unique<CDashboard>(core)) {
    SetUp();
    AddApiRoutes(*m_server, core);
    m_dashboard->Route(*m_server);
    m_server->Get("/api/session",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      Session(request, response);
                  });
}

CHttpApi::~CHttpApi() {
    Stop();
}

size_t CHttpApi::OpenConnections() const {
    return m_server->Open();
}

bool CHttpApi::Serve(httplib::Stream& stream) {
    return m_server->Serve(stream);
}

bool CHttpApi::Listen(std::string& error) {
    const GatewayConfig& config = m_core.Config();
    errno = 0;
    if (config.httpPort == 0) {
        const int port = m_server->bind_to_any_port(config.httpHost);
        m_nPort = port > 0 ? static_cast<uint16_t>(port) : 0;
    } else if (m_server->bind_to_port(config.httpHost, config.httpPort)) {
        m_nPort = config.httpPort;
    }
    if (m_nPort == 0) {
        const int reason = errno;
        error = "cannot listen at " + config.httpHost + ":" + std::to_string(config.httpPort) +
                (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string());
        return false;
    }
    m_server->WidenBacklog();
    m_bServing = true;
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        m_bServing = false;
    });
    return true;
}

bool CHttpApi::Stop(std::chrono::milliseconds wait) {
    if (!m_thread.joinable()) {
        return true;
    }
    // An open page's event stream would hold its thread, and the server, until it ended.
    m_dashboard->CloseStreams();
    // Requests still running may wait for the gateway's thread, which is this one. Asked again
    // each time round: a stop that comes before the server thread has begun to listen is lost.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (m_bServing && std::chrono::steady_clock::now() < deadline) {
        m_server->stop();
        QCoreApplication::processEvents(QEventLoop::AllEvents, kStopPollMs);
    }
    if (m_bServing) {
        return false;
    }
    m_thread.join();
    return true;
}

void CHttpApi::SetUp() {
    httplib::Server& server = *m_server;
    // The address is this gateway's alone: without SO_REUSEPORT a second gateway on the same
    // port is refused instead of taking half of its requests.
    server.set_socket_options([](int socket) {
        const int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    server.set_payload_max_length(m_core.Config().maxBody);
    m_server->OnRefused([this](const std::string& client, HttpRefusal why, bool first) {
        m_core.Metrics().RecordRefusal(why);
        if (first) {
            m_core.Log().Line(m_core.Config().name, client + RefusalText(why));
        }
    });
    server.set_error_handler([this](const httplib::Request& request, httplib::Response& response) {
        if (response.body.empty()) {
            SendError(response, response.status, "",
                      StatusText(request, response.status, m_core.Config().maxBody));
        }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            SendError(response, 500, "", "the request could not be handled");
        });
    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) {
            return Admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                            : httplib::Server::HandlerResponse::Handled;
        });
    // The API's answers are data, never a page: nothing to sniff, keep or run.
    server.set_post_routing_handler(
        [](const httplib::Request& request, httplib::Response& response) {
            if (request.path.rfind("/api/", 0) == 0 && request.path != "/api/events" &&
                !response.has_header("Cache-Control")) {
                response.set_header("X-Content-Type-Options", "nosniff");
                response.set_header("Cache-Control", "no-store");
                response.set_header("Content-Security-Policy", "default-src 'none'");
            }
        });
}

void CHttpApi::Session(const httplib::Request& request, httplib::Response& response) const {
    const GatewayConfig& config = m_core.Config();
    const std::string token = BearerToken(request.get_header_value("Authorization"));
    // Asked without a token when reads need none: the page learns what it may do. A token given
    // is a guess like any other.
    if (!token.empty() && !m_guesses.Allowed(request.remote_addr)) {
        response.set_header("Retry-After", "60");
        SendError(response, 429, "Authorization", "too many wrong tokens: try again in a minute");
        return;
    }
    const Role role = RoleOfToken(config, token);
    if (!token.empty() && role == Role::kNone) {
        m_guesses.Failed(request.remote_addr);
        SendError(response, 401, "Authorization", "a valid token is needed");
        return;
    }
    if (role != Role::kNone) {
        // Over HTTPS the pass never goes out in the clear.
        response.set_header("Set-Cookie", m_pass.Cookie(std::chrono::steady_clock::now()) +
                                              (m_tls ? "; Secure" : ""));
    }
    QJsonObject answer;
    answer["role"] = role == Role::kNone ? QJsonValue() : QJsonValue(RoleName(role));
    answer["tokenNeeded"] = TokensConfigured(config);
    answer["readNeedsToken"] = config.readNeedsToken;
    response.set_content(QJsonDocument(answer).toJson(QJsonDocument::Compact).toStdString(),
                         "application/json");
}

bool CTokenGuesses::Allowed(const std::string& client) {
    const std::lock_guard lock(m_mutex);
    auto found = m_failures.find(client);
    if (found == m_failures.end()) {
        return true;
    }
    auto& times = found->second;
    const auto since = std::chrono::steady_clock::now() - kWindow;
    while (!times.empty() && times.front() < since) {
        times.pop_front();
    }
    if (times.empty()) {
        m_failures.erase(found);
        return true;
    }
    return times.size() < kMaxFailures;
}

void CTokenGuesses::Failed(const std::string& client) {
    const std::lock_guard lock(m_mutex);
    if (m_failures.size() >= kMaxClients && m_failures.count(client) == 0) {
        m_failures.erase(m_failures.begin());  // so that many addresses cost no more than this
    }
    m_failures[client].push_back(std::chrono::steady_clock::now());
}

bool CHttpApi::KnownHost(const std::string& host) const {
    // No Host at all is no browser's request; a browser's names the site it thinks it talks to.
    if (host.empty()) {
        return true;
    }
    const std::string port = ":" + std::to_string(m_nPort);
    const GatewayConfig& config = m_core.Config();
    std::vector<std::string> names = config.allowedHosts;
    names.push_back(config.httpHost);
    if (IsLoopbackHost(config.httpHost)) {
        names.push_back("localhost");
    }
    const QString given = QString::fromStdString(host).toLower();
    return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
        const QString known = QString::fromStdString(name).toLower();
        return given == known || given == known + QString::fromStdString(port);
    });
}

bool CHttpApi::Admit(const httplib::Request& request, httplib::Response& response) const {
    if (!KnownHost(request.get_header_value("Host"))) {
        // A name of another site that now points here (DNS rebinding) reads nothing.
        SendError(response, 403, "Host", "this gateway answers to its own address only");
        return false;
    }
    const GatewayConfig& config = m_core.Config();
    const bool read = request.method == "GET" || request.method == "HEAD";
    const Role needed = NeededRole(config, request.method, request.path);
    // The page's pass stands for a viewer's token, for reads only.
    const bool passed =
        read && needed == Role::kViewer &&
        m_pass.Valid(request.get_header_value("Cookie"), std::chrono::steady_clock::now());
    if (needed != Role::kNone && TokensConfigured(config) && !passed) {
        if (!m_guesses.Allowed(request.remote_addr)) {
            response.set_header("Retry-After", "60");
            SendError(response, 429, "Authorization",
                      "too many wrong tokens: try again in a minute");
            return false;
        }
        const Role role =
            RoleOfToken(config, BearerToken(request.get_header_value("Authorization")));
        if (role == Role::kNone) {
            m_guesses.Failed(request.remote_addr);
            response.set_header("WWW-Authenticate", "Bearer");
            SendError(response, 401, "Authorization", "a valid token is needed");
            return false;
        }
        if (role < needed) {
            SendError(response, 403, "Authorization",
                      std::string("this needs the ") + RoleName(needed) +
                          "'s token or a higher role's; the token given is a " + RoleName(role) +
                          "'s");
            if (!read) {
                AuditRequest(m_core, request, {}, response);
            }
            return false;
        }
    }
    if (read) {
        return true;
    }
    // No web page of another site may change a sign: its writes carry its Origin, and a write as
    // JSON needs a preflight that this gateway never grants.
    const std::string origin = request.get_header_value("Origin");
    const std::string scheme = m_tls ? "https://" : "http://";
    if (request.has_header("Origin") &&
        (origin.rfind(scheme, 0) != 0 || !KnownHost(origin.substr(scheme.size())) ||
         origin.size() == scheme.size())) {
        SendError(response, 403, "Origin", "a write from another site is refused");
        return false;
    }
    const std::string type = request.get_header_value("Content-Type");
    const bool withBody = request.method == "PUT" || request.method == "POST";
    if (withBody && type.rfind("application/json", 0) != 0) {
        SendError(response, 415, "Content-Type", "a write is sent as application/json");
        return false;
    }
    return true;
}
