#include "gateway/HttpRoutes.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "gateway/AccessRoles.h"
#include "gateway/AlertRequests.h"
#include "gateway/CGatewayCore.h"
#include "gateway/GatewayRequests.h"
#include "gateway/GatewayThread.h"
#include "gateway/HttpAnswers.h"
#include "gateway/LibraryRoutes.h"
#include "gateway/PanelFrames.h"
#include "gateway/SignPresenter.h"

namespace {

constexpr const char* kJson = "application/json";
constexpr int64_t kMaxPreviewFrame = 10000;
constexpr size_t kMaxDrainedBody = 16 * kMaxRequestBody;

using Request = httplib::Request;
using Response = httplib::Response;

// Asks the gateway's thread; `ask` gets the core and a reply for what the request answers.
template <class T, class Ask>
T On(CGatewayCore& core, Ask ask) {
    return AskGateway<T>(&core, [&core, ask](auto reply) { ask(core, std::move(reply)); });
}

// What a change answers: its result, and the sign's state once it is kept.
struct Change {
    GatewayResult result;
    QJsonObject sign;
};

void SendChange(Response& response, const std::string& name, const Change& change) {
    if (!change.result.Ok()) {
        SendFailure(response, change.result);
    } else if (change.result.kind == ResultKind::kForwarded) {
        // Another gateway's sign: its own gateway takes it from the broker.
        SendJson(response, 202,
                 QJsonObject{{"name", QString::fromStdString(name)}, {"forwarded", true}});
    } else {
        SendJson(response, 202, change.sign);
    }
}

auto ChangeReply(CGatewayCore& core, const std::string& name, std::function<void(Change)> reply) {
    return [&core, name, reply = std::move(reply)](const GatewayResult& result) {
        reply({result, result.kind == ResultKind::kAccepted
                           ? core.SignJson(name).value_or(QJsonObject())
                           : QJsonObject()});
    };
}

void GetMetrics(CGatewayCore& core, const Request&, Response& response) {
    response.set_content(
        On<std::string>(core,
                        [](CGatewayCore& gateway, auto reply) {
                            reply(gateway.Metrics().Text(gateway.Director().Signs()));
                        }),
        "text/plain; version=0.0.4");
}

void GetSigns(CGatewayCore& core, const Request&, Response& response) {
    SendJson(response, 200, On<QJsonArray>(core, [](CGatewayCore& gateway, auto reply) {
                 reply(gateway.SignsJson());
             }));
}

void GetValues(CGatewayCore& core, const Request&, Response& response) {
    SendJson(response, 200, On<QJsonObject>(core, [](CGatewayCore& gateway, auto reply) {
                 reply(gateway.ValuesJson());
             }));
}

void GetSign(CGatewayCore& core, const Request& request, Response& response) {
    const std::string name = request.matches[1];
    const auto sign = On<std::optional<QJsonObject>>(
        core, [name](CGatewayCore& gateway, auto reply) { reply(gateway.SignJson(name)); });
    if (!sign) {
        SendFailure(response, GatewayResult::UnknownSign(name));
        return;
    }
    SendJson(response, 200, *sign);
}

void GetPreview(CGatewayCore& core, const Request& request, Response& response) {
    const std::string name = request.matches[1];
    int64_t frame = 1;
    if (request.has_param("frame")) {
        bool ok = false;
        frame = QString::fromStdString(request.get_param_value("frame")).toLongLong(&ok);
        if (!ok || frame < 1 || frame > kMaxPreviewFrame) {
            SendFailure(response,
                        GatewayResult::Refused("frame", "must be a number from 1 to 10000"));
            return;
        }
    }
    // ?of=delivered: what the sign last took, drawn beside what waits while a send fails.
    const bool delivered = request.get_param_value("of") == "delivered";
    const auto shown =
        On<Result<MessageDocument>>(core, [name, delivered](CGatewayCore& gateway, auto reply) {
            reply(gateway.ShownAnywhere(name, delivered));
        });
    if (!shown.Ok()) {
        SendFailure(response, shown.Failure());
        return;
    }
    const bool versioned = request.has_param("v");
    const std::string version = PanelVersion(shown.Value());
    if (versioned && request.get_param_value("v") != version) {
        // Kept by the browser under that version, another message's picture would stand for it.
        SendFailure(response, {ResultKind::kConflict, "v", "the sign shows another message now"});
        return;
    }
    // An address that names the message's version (the signs page's) always gives the same
    // picture: the browser keeps it instead of asking again each step.
    if (versioned) {
        response.set_header("Cache-Control", "private, max-age=86400, immutable");
    }
    response.set_content(core.Panels().Png(shown.Value(), version, frame).toStdString(),
                         "image/png");
}

void GetGateways(CGatewayCore& core, const Request&, Response& response) {
    SendJson(response, 200, On<QJsonArray>(core, [](CGatewayCore& gateway, auto reply) {
                 reply(GatewaysJson(gateway.Others()));
             }));
}

void PutMessage(CGatewayCore& core, const Request& request, const std::string& body,
                Response& response) {
    const std::string name = request.matches[1];
    const Result<QJsonObject> object = ReadBodyObject(body);
    Result<Playlist> playlist = GatewayResult{};
    if (object.Ok() && IsPlaylistObject(object.Value())) {
        playlist = ReadPlaylist(object.Value());
    } else if (object.Ok() && object.Value().size() == 1 &&
               object.Value().value("name").isString()) {
        // {"name": "shift-a"}: the library's message of that name, followed when it changes.
        playlist = Playlist{{{}, object.Value().value("name").toString().toStdString()}};
    } else {
        const Result<MessageDocument> message = ReadRequestMessage(body, "");
        playlist = message.Ok() ? Result<Playlist>(OneMessage(message.Value())) : message.Failure();
    }
    if (!playlist.Ok()) {
        SendFailure(response, playlist.Failure());
        return;
    }
    SendChange(response, name,
               On<Change>(core, [&name, &playlist](CGatewayCore& gateway, auto reply) {
                   gateway.Commands().SetPlaylist(name, playlist.Take(), Origin::kApi,
                                                  ChangeReply(gateway, name, std::move(reply)));
               }));
}

void PostNotify(CGatewayCore& core, const Request& request, const std::string& body,
                Response& response) {
    const std::string name = request.matches[1];
    const Result<NoticeRequest> notice = ReadNoticeRequest(body);
    if (!notice.Ok()) {
        SendFailure(response, notice.Failure());
        return;
    }
    SendChange(response, name,
               On<Change>(core, [&name, &notice](CGatewayCore& gateway, auto reply) {
                   const auto& [message, seconds] = notice.Value();
                   gateway.Commands().Notify(name, message, seconds, Origin::kApi,
                                             ChangeReply(gateway, name, std::move(reply)));
               }));
}

// {"signs": [...]} | {"tag": "..."} | {"all": true}
Result<SignSelection> ReadSelection(const QJsonObject& body) {
    SignSelection selection;
    const QJsonValue signs = body.value("signs");
    if (!signs.isUndefined() && !signs.isArray()) {
        return GatewayResult::Refused("signs", "\"signs\" must be a list of names");
    }
    for (const QJsonValue& name : signs.toArray()) {
        if (!name.isString()) {
            return GatewayResult::Refused("signs", "\"signs\" must be a list of names");
        }
        selection.names.push_back(name.toString().toStdString());
    }
    if (body.value("tag").isString()) {
        selection.tag = body.value("tag").toString().toStdString();
    }
    selection.all = body.value("all").toBool(false);
    if (!selection.OneChoice()) {
        return GatewayResult::Refused("signs", "give one of \"signs\", \"tag\" or \"all\": true");
    }
    return selection;
}

using Answers = Result<std::vector<CCommands::SignAnswer>>;
void SendAnswers(Response& response, const Answers& answers);

void PostSend(CGatewayCore& core, const Request&, const std::string& body, Response& response) {
    const Result<QJsonObject> object = ReadBodyObject(body);
    Result<Playlist> playlist = object.Failure();
    if (object.Ok() && IsPlaylistObject(object.Value())) {
        playlist = ReadPlaylist(object.Value());
    } else if (object.Ok()) {
        const Result<MessageDocument> message = ReadMessageField(object.Value());
        playlist = message.Ok() ? Result<Playlist>(OneMessage(message.Value())) : message.Failure();
    }
    const Result<SignSelection> selection =
        playlist.Ok() ? ReadSelection(object.Value()) : playlist.Failure();
    if (!selection.Ok()) {
        SendFailure(response, selection.Failure());
        return;
    }
    SendAnswers(response, On<Answers>(core, [&](CGatewayCore& gateway, auto reply) {
                    gateway.Commands().SendToSelection(selection.Value(), playlist.Value(),
                                                       Origin::kApi, std::move(reply));
                }));
}

// The signs a change to many reached, and those of them handed to their own gateways.
void SendAnswers(Response& response, const Answers& answers) {
    if (!answers.Ok()) {
        SendFailure(response, answers.Failure());
        return;
    }
    QJsonArray names;
    QJsonArray forwarded;
    for (const CCommands::SignAnswer& answer : answers.Value()) {
        names.append(QString::fromStdString(answer.name));
        if (answer.kind == ResultKind::kForwarded) {
            forwarded.append(QString::fromStdString(answer.name));
        }
    }
    SendJson(response, 202, QJsonObject{{"signs", names}, {"forwarded", forwarded}});
}

void PutVariable(CGatewayCore& core, const Request& request, const std::string& body,
                 Response& response) {
    const std::string name = request.matches[1];
    const Result<QJsonObject> object = ReadBodyObject(body);
    if (!object.Ok()) {
        SendFailure(response, object.Failure());
        return;
    }
    if (!object.Value().value("value").isString()) {
        SendFailure(response, GatewayResult::Refused("value", "\"value\" must be a string"));
        return;
    }
    const std::string value = object.Value().value("value").toString().toStdString();
    const auto result = On<GatewayResult>(core, [&](CGatewayCore& gateway, auto reply) {
        gateway.Commands().SetVariable(name, value, Origin::kApi, std::move(reply));
    });
    if (!result.Ok()) {
        SendFailure(response, result);
        return;
    }
    response.status = 204;
}

// The body, read as it comes with the cap enforced while reading, whatever the request says of
// its length (a Content-Length, chunks, or none): a body is never held whole before it is known
// to fit.
Result<std::string> ReadBody(const Request& request, const httplib::ContentReader& reader) {
    std::string body;
    size_t seen = 0;
    const uint64_t declared =
        QString::fromStdString(request.get_header_value("Content-Length")).toULongLong();
    // What is over the cap is read on and let go, up to a bound, so that the client, still
    // sending, gets its answer rather than a reset connection.
    const bool whole = declared <= kMaxDrainedBody && reader([&](const char* data, size_t length) {
                           seen += length;
                           if (seen <= kMaxRequestBody) {
                               body.append(data, length);
                           } else {
                               body = std::string();
                           }
                           return seen <= kMaxDrainedBody;
                       });
    if (seen > kMaxRequestBody || declared > kMaxRequestBody) {
        return TooLarge();
    }
    if (!whole) {
        return GatewayResult::Refused("", "the body could not be read");
    }
    return body;
}

void PutSignAlert(CGatewayCore& core, const Request& request, const std::string& body,
                  Response& response) {
    const std::string name = request.matches[1];
    const std::string key = request.matches[2];
    const Result<QJsonObject> object = ReadBodyObject(body);
    const Result<AlertRequest> alert =
        object.Ok() ? ReadAlertRequest(object.Value()) : object.Failure();
    if (!alert.Ok()) {
        SendFailure(response, alert.Failure());
        return;
    }
    SendChange(response, name, On<Change>(core, [&](CGatewayCore& gateway, auto reply) {
                   gateway.Commands().RaiseAlert(name, key, alert.Value(), Origin::kApi,
                                                 ChangeReply(gateway, name, std::move(reply)));
               }));
}

void DeleteSignAlert(CGatewayCore& core, const Request& request, Response& response) {
    const std::string name = request.matches[1];
    const std::string key = request.matches[2];
    SendChange(response, name, On<Change>(core, [&](CGatewayCore& gateway, auto reply) {
                   gateway.Commands().ClearAlert(name, key, Origin::kApi,
                                                 ChangeReply(gateway, name, std::move(reply)));
               }));
}

// PUT raises the alert on the signs chosen; DELETE clears it there (every sign without a body).
void ManyAlerts(CGatewayCore& core, const Request& request, const std::string& body,
                Response& response) {
    const std::string key = request.matches[1];
    const bool raise = request.method == "PUT";
    const Result<QJsonObject> object =
        raise || !body.empty() ? ReadBodyObject(body) : QJsonObject{{"all", true}};
    const Result<AlertRequest> alert = !object.Ok() ? object.Failure()
                                       : raise      ? ReadAlertRequest(object.Value())
                                                    : AlertRequest{};
    const Result<SignSelection> selection =
        alert.Ok() ? ReadSelection(object.Value()) : alert.Failure();
    if (!selection.Ok()) {
        SendFailure(response, selection.Failure());
        return;
    }
    SendAnswers(response, On<Answers>(core, [&](CGatewayCore& gateway, auto reply) {
                    gateway.Commands().AlertOnSelection(
                        selection.Value(), key, raise ? std::optional(alert.Value()) : std::nullopt,
                        Origin::kApi, std::move(reply));
                }));
}

void GetAlerts(CGatewayCore& core, const Request&, Response& response) {
    SendJson(response, 200, On<QJsonArray>(core, [](CGatewayCore& gateway, auto reply) {
                 reply(AlertsJson(gateway.Director().Signs()));
             }));
}

void DeleteVariable(CGatewayCore& core, const Request& request, Response& response) {
    const std::string name = request.matches[1];
    const auto result = On<GatewayResult>(core, [&](CGatewayCore& gateway, auto reply) {
        gateway.Commands().RemoveVariable(name, Origin::kApi, std::move(reply));
    });
    if (!result.Ok()) {
        SendFailure(response, result);
        return;
    }
    response.status = 204;
}

void GetAudit(CGatewayCore& core, const Request& request, Response& response) {
    std::optional<GatewayTime> since;
    if (request.has_param("since")) {
        since = TimeFromIsoText(request.get_param_value("since"));
        if (!since) {
            SendFailure(response, GatewayResult::Refused(
                                      "since", "must be a time, \"2026-12-08T09:35:00Z\""));
            return;
        }
    }
    response.set_content(
        On<std::string>(core, [since](CGatewayCore& gateway,
                                      auto reply) { reply(gateway.Audit().Since(since)); }),
        kJson);
}

}  // namespace

void AuditRequest(CGatewayCore& core, const Request& request, const std::string& body,
                  const Response& response) {
    AuditEntry entry;
    entry.role = RoleOfToken(core.Config(), BearerToken(request.get_header_value("Authorization")));
    entry.source = request.remote_addr;
    entry.origin = Origin::kApi;
    entry.action = request.method + " " + request.path;
    entry.target = request.matches.size() > 1 ? request.matches[1].str() : std::string();
    const QJsonDocument json = QJsonDocument::fromJson(QByteArray::fromStdString(body));
    entry.summary =
        CutShort(json.isNull() ? body : json.toJson(QJsonDocument::Compact).toStdString(),
                 kAuditSummaryBytes);
    entry.ok = response.status < 400;
    entry.outcome = std::to_string(response.status);
    const QJsonValue error =
        QJsonDocument::fromJson(QByteArray::fromStdString(response.body)).object().value("error");
    if (!entry.ok && error.isString()) {
        entry.outcome += ": " + error.toString().toStdString();
    }
    // Posted before the answer goes out: a read of the audit that follows finds it.
    PostToGateway(&core, [&core, entry] { core.Audit().Record(entry); });
}

GatewayResult TooLarge() {
    return {ResultKind::kTooLarge, "", "the body is larger than 1 MiB"};
}

void AddApiRoutes(httplib::Server& server, CGatewayCore& core) {
    using Route = void (*)(CGatewayCore&, const Request&, Response&);
    using BodyRoute = void (*)(CGatewayCore&, const Request&, const std::string&, Response&);
    // Every write that reaches a route goes into the audit, whatever the route.
    const auto bind = [&core](Route route) {
        return [&core, route](const Request& request, Response& response) {
            route(core, request, response);
            if (request.method != "GET" && request.method != "HEAD") {
                AuditRequest(core, request, {}, response);
            }
        };
    };
    const auto bindBody = [&core](BodyRoute route) {
        return [&core, route](const Request& request, Response& response,
                              const httplib::ContentReader& reader) {
            const Result<std::string> body = ReadBody(request, reader);
            if (!body.Ok()) {
                SendFailure(response, body.Failure());
            } else {
                route(core, request, body.Value(), response);
            }
            AuditRequest(core, request, body.Ok() ? body.Value() : std::string(), response);
        };
    };
    server.Get("/healthz", [](const Request&, Response& response) {
        response.set_content("ok\n", "text/plain");
    });
    server.Get("/metrics", bind(GetMetrics));
    server.Get("/api/gateways", bind(GetGateways));
    server.Get("/api/signs", bind(GetSigns));
    server.Get(R"(/api/signs/(.+)/preview\.png)", bind(GetPreview));
    server.Get(R"(/api/signs/(.+))", bind(GetSign));
    server.Put(R"(/api/signs/(.+)/message)", bindBody(PutMessage));
    server.Post("/api/send", bindBody(PostSend));
    server.Post(R"(/api/signs/(.+)/notify)", bindBody(PostNotify));
    server.Get("/api/vars", bind(GetValues));
    server.Put(R"(/api/vars/(.+))", bindBody(PutVariable));
    server.Delete(R"(/api/vars/(.+))", bind(DeleteVariable));
    server.Get("/api/messages", bind(GetLibrary));
    server.Get(R"(/api/messages/([^/]+))", bind(GetLibraryMessage));
    server.Put(R"(/api/messages/([^/]+))", bindBody(PutLibraryMessage));
    server.Delete(R"(/api/messages/([^/]+))", bind(DeleteLibraryMessage));
    server.Get("/api/alerts", bind(GetAlerts));
    server.Put(R"(/api/alerts/([^/]+))", bindBody(ManyAlerts));
    server.Delete(R"(/api/alerts/([^/]+))", bindBody(ManyAlerts));
    server.Put(R"(/api/signs/(.+)/alerts/([^/]+))", bindBody(PutSignAlert));
    server.Delete(R"(/api/signs/(.+)/alerts/([^/]+))", bind(DeleteSignAlert));
    server.Get("/api/audit", bind(GetAudit));
}
