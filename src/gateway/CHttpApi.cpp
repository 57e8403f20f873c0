#include "gateway/CHttpApi.h"

#include <httplib.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <future>
#include <optional>

#include "gateway/CDashboard.h"
#include "gateway/CGateway.h"
#include "gateway/GatewayRequests.h"
#include "gateway/OnGateway.h"
#include "preview/FrameSequence.h"
#include "render/FramePainter.h"

namespace {

constexpr const char* kJson = "application/json";
constexpr int64_t kMaxPreviewFrame = 10000;
constexpr time_t kKeepAliveSeconds = 1;
constexpr int kStopPollMs = 10;
constexpr size_t kHttpThreads = 32;  // so that stopping never waits long for an idle client

void SendError(httplib::Response& response, const RequestError& error) {
    response.status = error.status;
    response.set_content(error.Json(), kJson);
}

void SendJson(httplib::Response& response, int status, const QJsonValue& value) {
    response.status = status;
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), kJson);
}

// The body as a JSON object, or the error that answers it.
std::optional<QJsonObject> BodyObject(const httplib::Request& request,
                                      httplib::Response& response) {
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        SendError(response, {400, "", "the body must be a JSON object"});
        return std::nullopt;
    }
    return document.object();
}

bool SameToken(const std::string& given, const std::string& token) {
    // Every byte compared, so that the time taken does not tell how much of a guess was right.
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i]) ^
                      static_cast<unsigned char>(token[i % std::max<size_t>(token.size(), 1)]);
    }
    return difference == 0;
}

using KeptFuture = std::future<std::optional<std::string>>;

// An answer for the gateway to give on its thread, and the future a request waits on for it.
std::pair<CGateway::KeepAnswer, KeptFuture> KeepWaiter() {
    auto promise = std::make_shared<std::promise<std::optional<std::string>>>();
    KeptFuture future = promise->get_future();
    return {[promise](const std::optional<std::string>& failure) { promise->set_value(failure); },
            std::move(future)};
}

std::string StatusText(int status) {
    switch (status) {
        case 404:
            return "no such resource";
        case 405:
            return "method not allowed here";
        case 413:
            return "the body is larger than 1 MiB";
        default:
            return "request failed";
    }
}

}  // namespace

CHttpApi::CHttpApi(CGateway& gateway)
    : m_gateway(gateway),
      m_server(std::make_unique<httplib::Server>()),
      m_dashboard(std::make_unique<CDashboard>(gateway)) {
    Route();
    m_dashboard->Route(*m_server);
}

CHttpApi::~CHttpApi() {
    Stop();
}

bool CHttpApi::Listen(std::string& error) {
    const GatewayConfig& config = m_gateway.Config();
    if (config.httpPort == 0) {
        const int port = m_server->bind_to_any_port(config.httpHost);
        m_nPort = port > 0 ? static_cast<uint16_t>(port) : 0;
    } else if (m_server->bind_to_port(config.httpHost, config.httpPort)) {
        m_nPort = config.httpPort;
    }
    if (m_nPort == 0) {
        error = "cannot listen at " + config.httpHost + ":" + std::to_string(config.httpPort);
        return false;
    }
    m_bServing = true;
    m_thread = std::thread([this] {
        m_server->listen_after_bind();
        m_bServing = false;
    });
    return true;
}

void CHttpApi::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    // An open page's event stream would hold its thread, and the server, until it ended.
    m_dashboard->CloseStreams();
    // Requests still running may wait for the gateway's thread, which is this one. Asked again
    // each time round: a stop that comes before the server thread has begun to listen is lost.
    while (m_bServing) {
        m_server->stop();
        QCoreApplication::processEvents(QEventLoop::AllEvents, kStopPollMs);
    }
    m_thread.join();
}

void CHttpApi::Route() {
    httplib::Server& server = *m_server;
    server.set_payload_max_length(kMaxRequestBody);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    // Small answers go out at once rather than wait for the client's delayed acknowledgement.
    server.set_tcp_nodelay(true);
    // A request that sets something waits for its batch of the state folder's writes; the more
    // wait at once, the more share one flush.
    server.new_task_queue = [] { return new httplib::ThreadPool(kHttpThreads); };
    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty()) {
            SendError(response, {response.status, "", StatusText(response.status)});
        }
    });
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
            SendError(response, {500, "", "the request could not be handled"});
        });
    const std::string token = m_gateway.Config().token;
    server.set_pre_routing_handler(
        [token](const httplib::Request& request, httplib::Response& response) {
            if (token.empty() || request.method == "GET" || request.method == "HEAD") {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            const std::string header = request.get_header_value("Authorization");
            const std::string bearer = "Bearer ";
            if (header.rfind(bearer, 0) != 0 || !SameToken(header.substr(bearer.size()), token)) {
                response.set_header("WWW-Authenticate", "Bearer");
                SendError(response, {401, "Authorization", "a valid token is needed"});
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });

    CGateway* gateway = &m_gateway;
    CDashboard* dashboard = m_dashboard.get();
    server.Get("/healthz", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("ok\n", "text/plain");
    });
    server.Get("/metrics", [gateway](const httplib::Request&, httplib::Response& response) {
        response.set_content(OnGateway(gateway, [gateway] { return gateway->MetricsText(); }),
                             "text/plain; version=0.0.4");
    });
    server.Get("/api/signs", [gateway](const httplib::Request&, httplib::Response& response) {
        SendJson(response, 200, OnGateway(gateway, [gateway] { return gateway->SignsJson(); }));
    });
    server.Get(
        R"(/api/signs/(.+)/preview\.png)",
        [gateway, dashboard](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            int64_t frame = 1;
            if (request.has_param("frame")) {
                bool ok = false;
                frame = QString::fromStdString(request.get_param_value("frame")).toLongLong(&ok);
                if (!ok || frame < 1 || frame > kMaxPreviewFrame) {
                    SendError(response, {400, "frame", "must be a number from 1 to 10000"});
                    return;
                }
            }
            // Another gateway's sign is drawn from its published state, for the page's card.
            const auto found = OnGateway(gateway, [&] {
                const bool drives = gateway->Drives(name);
                auto shown = drives ? gateway->ShownMessage(name) : dashboard->OtherShown(name);
                return std::make_pair(drives || shown.has_value(), std::move(shown));
            });
            if (!found.first) {
                SendError(response, {404, "name", "no sign \"" + name + "\""});
                return;
            }
            if (!found.second) {
                SendError(response, {404, "message", "the sign has no message"});
                return;
            }
            const MessageDocument& message = *found.second;
            const bool versioned = request.has_param("v");
            if (versioned && request.get_param_value("v") != CDashboard::PanelVersion(message)) {
                // Kept by the browser under that version, another message's picture would
                // stand for it.
                SendError(response, {409, "v", "the sign shows another message now"});
                return;
            }
            const int32_t model = message.settings.signModel;
            FrameSequence sequence;
            for (int64_t i = 1; i < frame; ++i) {
                sequence.Step(message.lines, message.settings, model);
            }
            const QImage image = PaintFrame(sequence.Step(message.lines, message.settings, model),
                                            GetAreaSize(model));
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            image.save(&buffer, "PNG");
            // An address that names the message's version (the signs page's) always gives the
            // same picture: the browser keeps it instead of asking again each step.
            if (versioned) {
                response.set_header("Cache-Control", "private, max-age=86400, immutable");
            }
            response.set_content(png.toStdString(), "image/png");
        });
    server.Get(R"(/api/signs/(.+))", [gateway](const httplib::Request& request,
                                               httplib::Response& response) {
        const std::string name = request.matches[1];
        const QJsonObject sign = OnGateway(gateway, [&] { return gateway->SignJson(name); });
        if (sign.isEmpty()) {
            SendError(response, {404, "name", "no sign \"" + name + "\""});
            return;
        }
        SendJson(response, 200, sign);
    });
    server.Put(R"(/api/signs/(.+)/message)",
               [this, gateway](const httplib::Request& request, httplib::Response& response) {
                   const std::string name = request.matches[1];
                   auto message = ReadRequestMessage(request.body, "");
                   if (const auto* error = std::get_if<RequestError>(&message)) {
                       SendError(response, *error);
                       return;
                   }
                   const auto& document = std::get<MessageDocument>(message);
                   std::optional<RequestError> answer;
                   auto waiter = KeepWaiter();
                   if (OnGateway(gateway, [&] {
                           if (!gateway->Drives(name)) {
                               return false;
                           }
                           gateway->KeepDesired(name, document, waiter.first);
                           return true;
                       })) {
                       // Answered once the message is on the disk, with the others of its batch.
                       if (const auto failure = waiter.second.get()) {
                           answer = RequestError{503, "", *failure};
                       }
                   } else if (!OnGateway(gateway, [&] {
                                  return m_bridge != nullptr && m_bridge->Forward(name, document);
                              })) {
                       answer = RequestError{404, "name", "no sign \"" + name + "\""};
                   }
                   if (answer) {
                       SendError(response, *answer);
                       return;
                   }
                   QJsonObject sign = OnGateway(gateway, [&] { return gateway->SignJson(name); });
                   if (sign.isEmpty()) {
                       // Another gateway's sign: its own gateway takes it from the broker.
                       sign["name"] = QString::fromStdString(name);
                       sign["forwarded"] = true;
                   }
                   SendJson(response, 202, sign);
               });
    server.Post("/api/send", [this, gateway](const httplib::Request& request,
                                             httplib::Response& response) {
        const auto body = BodyObject(request, response);
        if (!body) {
            return;
        }
        auto message = ReadMessageField(*body);
        if (const auto* error = std::get_if<RequestError>(&message)) {
            SendError(response, *error);
            return;
        }
        const auto& document = std::get<MessageDocument>(message);
        const QJsonValue signs = body->value("signs");
        const QJsonValue tag = body->value("tag");
        const bool all = body->value("all").toBool(false);
        if (static_cast<int>(signs.isArray()) + static_cast<int>(tag.isString()) +
                static_cast<int>(all) !=
            1) {
            SendError(response, {400, "signs", "give one of \"signs\", \"tag\" or \"all\": true"});
            return;
        }
        std::vector<std::string> names;
        for (const QJsonValue& name : signs.toArray()) {
            if (!name.isString()) {
                SendError(response, {400, "signs", "\"signs\" must be a list of names"});
                return;
            }
            names.push_back(name.toString().toStdString());
        }
        std::vector<KeptFuture> kept;
        const auto answer = OnGateway(gateway, [&]() -> std::variant<QJsonArray, RequestError> {
            if (tag.isString()) {
                names = gateway->SignsWithTag(tag.toString().toStdString());
            } else if (all) {
                names = gateway->SignNames();
            }
            for (const std::string& name : names) {
                if (!gateway->Drives(name) && (m_bridge == nullptr || !m_bridge->Knows(name))) {
                    return RequestError{404, "signs", "no sign \"" + name + "\""};
                }
            }
            QJsonArray accepted;
            for (const std::string& name : names) {
                if (!gateway->Drives(name)) {
                    m_bridge->Forward(name, document);
                } else {
                    auto waiter = KeepWaiter();
                    gateway->KeepDesired(name, document, std::move(waiter.first));
                    kept.push_back(std::move(waiter.second));
                }
                accepted.append(QString::fromStdString(name));
            }
            return accepted;
        });
        if (const auto* error = std::get_if<RequestError>(&answer)) {
            SendError(response, *error);
            return;
        }
        std::optional<std::string> failure;
        for (KeptFuture& future : kept) {
            if (auto one = future.get(); one && !failure) {
                failure = std::move(one);
            }
        }
        if (failure) {
            SendError(response, {503, "", *failure});
            return;
        }
        QJsonObject result;
        result["signs"] = std::get<QJsonArray>(answer);
        SendJson(response, 202, result);
    });
    server.Post(R"(/api/signs/(.+)/notify)", [gateway](const httplib::Request& request,
                                                       httplib::Response& response) {
        const std::string name = request.matches[1];
        auto notice = ReadNoticeRequest(request.body);
        if (const auto* error = std::get_if<RequestError>(&notice)) {
            SendError(response, *error);
            return;
        }
        const bool known = OnGateway(gateway, [&] {
            if (!gateway->Drives(name)) {
                return false;
            }
            const auto& [message, seconds] = std::get<NoticeRequest>(notice);
            gateway->Notify(name, message, seconds);
            return true;
        });
        if (!known) {
            SendError(response, {404, "name", "no sign \"" + name + "\""});
            return;
        }
        SendJson(response, 202, OnGateway(gateway, [&] { return gateway->SignJson(name); }));
    });
    server.Put(R"(/api/vars/(.+))",
               [this, gateway](const httplib::Request& request, httplib::Response& response) {
                   const std::string name = request.matches[1];
                   if (!IsVariableName(name)) {
                       SendError(response, {400, "var",
                                            "a variable's name is 1 to 64 letters, digits, \"_\", "
                                            "\"-\" and \".\", not \"now\""});
                       return;
                   }
                   const auto body = BodyObject(request, response);
                   if (!body) {
                       return;
                   }
                   if (!body->value("value").isString()) {
                       SendError(response, {400, "value", "\"value\" must be a string"});
                       return;
                   }
                   const std::string value = body->value("value").toString().toStdString();
                   auto waiter = KeepWaiter();
                   OnGateway(gateway, [&] {
                       gateway->SetVariable(name, value,
                                            [this, name, value, answer = std::move(waiter.first)](
                                                const std::optional<std::string>& failure) {
                                                if (!failure && m_bridge != nullptr) {
                                                    m_bridge->ShareVariable(name, value);
                                                }
                                                answer(failure);
                                            });
                       return 0;
                   });
                   if (const auto failure = waiter.second.get()) {
                       SendError(response, {503, "", *failure});
                       return;
                   }
                   response.status = 204;
               });
}
