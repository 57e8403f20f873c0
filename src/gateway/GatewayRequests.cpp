#include "gateway/GatewayRequests.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// The field the reader's text names first: its words begin with the field in quotes.
std::string FieldOfReaderText(const std::string& text, const std::string& field) {
    const size_t open = text.find('"');
    const size_t close = open == std::string::npos ? open : text.find('"', open + 1);
    if (close == std::string::npos || open > 0) {
        return field.empty() ? "message" : field;
    }
    const std::string inner = text.substr(open + 1, close - open - 1);
    return field.empty() ? inner : field + "." + inner;
}

}  // namespace

std::string RequestError::Json() const {
    QJsonObject object;
    object["error"] = QString::fromStdString(text);
    if (!field.empty()) {
        object["field"] = QString::fromStdString(field);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

std::variant<MessageDocument, RequestError> ReadRequestMessage(std::string_view json,
                                                               const std::string& field) {
    MessageDocument message;
    try {
        message = ParseMessageJson(json);
    } catch (const CMessageFileError& error) {
        return RequestError{400, FieldOfReaderText(error.what(), field), error.what()};
    }
    const MessageSettings& settings = message.settings;
    if (settings.position == kPositionStartingAt) {
        if (const auto problem = CheckStartPosition(settings.line, settings.column)) {
            const std::string name = problem->field == PositionField::kLine ? "line" : "column";
            return RequestError{400, field.empty() ? name : field + "." + name, problem->message};
        }
    }
    return message;
}

std::variant<MessageDocument, RequestError> ReadMessageField(const QJsonObject& body) {
    const QJsonValue message = body.value("message");
    if (!message.isObject()) {
        return RequestError{400, "message", "\"message\" must be a message object"};
    }
    return ReadRequestMessage(
        QJsonDocument(message.toObject()).toJson(QJsonDocument::Compact).toStdString(), "message");
}

std::variant<NoticeRequest, RequestError> ReadNoticeRequest(std::string_view json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return RequestError{400, "",
                            "a notice is a JSON object {\"message\": {...}, \"seconds\": 30}"};
    }
    const QJsonValue seconds = document.object().value("seconds");
    NoticeRequest notice;
    notice.seconds = seconds.isUndefined() ? kDefaultNoticeSeconds : seconds.toInt(-1);
    if (notice.seconds < 1 || notice.seconds > kMaxNoticeSeconds) {
        return RequestError{400, "seconds", "must be a whole number from 1 to 86400"};
    }
    auto message = ReadMessageField(document.object());
    if (auto* failure = std::get_if<RequestError>(&message)) {
        return std::move(*failure);
    }
    notice.message = std::move(std::get<MessageDocument>(message));
    return notice;
}

MessageDocument PlainTextMessage(std::string_view utf8) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = u' ';
        }
    }
    QJsonObject object;
    object["lines"] = QJsonArray{text};
    return ParseMessageJson(QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());
}
