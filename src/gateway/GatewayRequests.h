#pragma once

#include <QJsonObject>
#include <string>
#include <string_view>
#include <variant>

#include "settings/MessageFile.h"

// A request the gateway refuses: the HTTP status, the field at fault and why, in the words
// lumivex-cli uses for the same fault.
struct RequestError {
    int status = 400;
    std::string field;
    std::string text;

    // {"error": "...", "field": "..."}
    std::string Json() const;
};

// A message JSON as lumivex-cli encode reads it, with the composer's check of its position.
// `field` names the message in the request ("message" or "" for the whole body).
std::variant<MessageDocument, RequestError> ReadRequestMessage(std::string_view json,
                                                               const std::string& field);

// The "message" field of a request's JSON object, read as ReadRequestMessage reads a message.
std::variant<MessageDocument, RequestError> ReadMessageField(const QJsonObject& body);

inline constexpr int kDefaultNoticeSeconds = 30;
inline constexpr int kMaxNoticeSeconds = 24 * 60 * 60;

struct NoticeRequest {
    MessageDocument message;
    int seconds = kDefaultNoticeSeconds;
};

// {"message": {...}, "seconds": 30}: a message shown for a while, then the desired one again.
std::variant<NoticeRequest, RequestError> ReadNoticeRequest(std::string_view json);

// One line of red text of the smallest size; line breaks become spaces.
MessageDocument PlainTextMessage(std::string_view utf8);
