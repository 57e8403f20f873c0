// The API's answers: a failure by its kind, or JSON.
#include "gateway/HttpAnswers.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "gateway/GatewayRequests.h"

namespace {

constexpr const char* kJson = "application/json";

int StatusOf(ResultKind kind) {
    switch (kind) {
        case ResultKind::kAccepted:
        case ResultKind::kForwarded:
            return 202;
        case ResultKind::kUnknownSign:
            return 404;
        case ResultKind::kNotKept:
            return 503;
        case ResultKind::kRefused:
            return 400;
        case ResultKind::kConflict:
            return 409;
        case ResultKind::kForbidden:
            return 403;
        case ResultKind::kTooLarge:
            return 413;
    }
    return 500;
}

}  // namespace

void SendFailure(httplib::Response& response, const GatewayResult& failure) {
    response.status = StatusOf(failure.kind);
    response.set_content(FailureJson(failure), kJson);
}

void SendJson(httplib::Response& response, int status, const QJsonValue& value) {
    response.status = status;
    const QJsonDocument document =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    response.set_content(document.toJson(QJsonDocument::Compact).toStdString(), kJson);
}

GatewayResult TooLarge(size_t cap, const char* what) {
    const bool mebibytes = cap % (1024 * 1024) == 0;
    return {ResultKind::kTooLarge, "",
            std::string("the ") + what + " is larger than " +
                std::to_string(mebibytes ? cap / 1024 / 1024 : cap / 1024) +
                (mebibytes ? " MiB" : " KiB")};
}
