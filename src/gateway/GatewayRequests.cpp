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
