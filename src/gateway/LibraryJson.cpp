#include "gateway/LibraryJson.h"

#include "gateway/GatewayRequests.h"

QJsonObject LibraryMessageJson(const LibraryMessage& message) {
    QJsonObject object{{"name", QString::fromStdString(message.name)},
                       {"message", MessageToJsonObject(message.message)}};
    if (message.number) {
        object["number"] = *message.number;
    }
    return object;
}

Result<LibraryMessage> ReadLibraryMessage(std::string_view json, const std::string& name) {
    if (!CMessageLibrary::IsName(name)) {
        return GatewayResult::Refused(
            "name",
            "a library message's name is 1 to 64 letters, digits, \"_\", \"-\" and \".\", "
            "beginning with a letter, a digit or \"_\"");
    }
    const Result<QJsonObject> object = ReadBodyObject(json);
    if (!object.Ok()) {
        return object.Failure();
    }
    LibraryMessage message{name, std::nullopt, {}};
    if (!object.Value().contains("message")) {
        Result<MessageDocument> whole = ReadMessageObject(object.Value(), "");
        if (!whole.Ok()) {
            return whole.Failure();
        }
        message.message = whole.Take();
        return message;
    }
    const QJsonValue number = object.Value().value("number");
    if (!number.isUndefined()) {
        message.number = number.toInt(-1);
        if (*message.number < 1 || *message.number > kMaxLibraryNumber) {
            return GatewayResult::Refused("number", "must be a whole number from 1 to 9999");
        }
    }
    Result<MessageDocument> inner = ReadMessageField(object.Value());
    if (!inner.Ok()) {
        return inner.Failure();
    }
    message.message = inner.Take();
    return message;
}
