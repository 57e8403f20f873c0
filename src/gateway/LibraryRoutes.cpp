#include "gateway/LibraryRoutes.h"

#include <httplib.h>

#include <QJsonArray>

#include "gateway/CGatewayCore.h"
#include "gateway/GatewayThread.h"
#include "gateway/HttpAnswers.h"
#include "gateway/LibraryJson.h"

namespace {

// A change's answer: 204 once kept.
void SendDone(httplib::Response& response, const GatewayResult& result) {
    if (result.Ok()) {
        response.status = 204;
    } else {
        SendFailure(response, result);
    }
}

}  // namespace

void GetLibrary(CGatewayCore& core, const httplib::Request&, httplib::Response& response) {
    SendJson(response, 200, AskGateway<QJsonArray>(&core, [&core](auto reply) {
                 QJsonArray list;
                 for (const LibraryMessage* message : core.Director().Library().All()) {
                     list.append(LibraryMessageJson(*message));
                 }
                 reply(list);
             }));
}

void GetLibraryMessage(CGatewayCore& core, const httplib::Request& request,
                       httplib::Response& response) {
    const std::string name = request.matches[1];
    const auto found = AskGateway<std::optional<QJsonObject>>(&core, [&core, name](auto reply) {
        const LibraryMessage* message = core.Director().FindLibraryMessage(name);
        reply(message != nullptr ? std::optional(LibraryMessageJson(*message)) : std::nullopt);
    });
    if (!found) {
        SendFailure(response, {ResultKind::kUnknownSign, "name",
                               "the library has no message \"" + name + "\""});
        return;
    }
    SendJson(response, 200, *found);
}

void PutLibraryMessage(CGatewayCore& core, const httplib::Request& request, const std::string& body,
                       httplib::Response& response) {
    const Result<LibraryMessage> message = ReadLibraryMessage(body, request.matches[1]);
    if (!message.Ok()) {
        SendFailure(response, message.Failure());
        return;
    }
    SendDone(response, AskGateway<GatewayResult>(&core, [&core, &message](auto reply) {
                 core.Commands().PutLibraryMessage(message.Value(), Origin::kApi, std::move(reply));
             }));
}

void DeleteLibraryMessage(CGatewayCore& core, const httplib::Request& request,
                          httplib::Response& response) {
    const std::string name = request.matches[1];
    SendDone(response, AskGateway<GatewayResult>(&core, [&core, name](auto reply) {
                 core.Commands().RemoveLibraryMessage(name, Origin::kApi, std::move(reply));
             }));
}
