#include "gateway/GatewayRequests.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <algorithm>

#include "gateway/MessageLibrary.h"

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

// The composer's check of a "start" position, and the text's length.
Result<MessageDocument> CheckedPosition(MessageDocument message, const std::string& field) {
    size_t length = message.lines.empty() ? 0 : message.lines.size() - 1;
    for (const CellLine& line : message.lines) {
        length += line.size();
    }
    if (length > kMaxMessageText) {
        return GatewayResult::Refused(
            field.empty() ? "lines" : field + ".lines",
            "the text is longer than " + std::to_string(kMaxMessageText) + " characters");
    }
    const MessageSettings& settings = message.settings;
    if (settings.position == kPositionStartingAt) {
        if (const auto problem = CheckStartPosition(settings.line, settings.column)) {
            const std::string name = problem->field == PositionField::kLine ? "line" : "column";
            return GatewayResult::Refused(field.empty() ? name : field + "." + name,
                                          problem->message);
        }
    }
    return message;
}

std::string Compact(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

// HMAC-SHA256 of the text, in hex.
std::string Signature(const std::string& text, const std::string& key) {
    return QMessageAuthenticationCode::hash(QByteArray::fromStdString(text),
                                            QByteArray::fromStdString(key),
                                            QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

}  // namespace

Result<MessageDocument> ReadRequestMessage(std::string_view json, const std::string& field) {
    try {
        MessageDocument message = ParseMessageJson(json);
        return CheckedPosition(std::move(message), field);
    } catch (const CMessageFileError& error) {
        return GatewayResult::Refused(FieldOfReaderText(error.what(), field), error.what());
    }
}

Result<MessageDocument> ReadMessageObject(const QJsonObject& object, const std::string& field) {
    try {
        MessageDocument message = MessageFromJsonObject(object);
        return CheckedPosition(std::move(message), field);
    } catch (const CMessageFileError& error) {
        return GatewayResult::Refused(FieldOfReaderText(error.what(), field), error.what());
    }
}

Result<QJsonObject> ReadBodyObject(std::string_view json) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return GatewayResult::Refused("", "the body must be a JSON object");
    }
    return document.object();
}

Result<MessageDocument> ReadMessageField(const QJsonObject& body) {
    const QJsonValue message = body.value("message");
    if (!message.isObject()) {
        return GatewayResult::Refused("message", "\"message\" must be a message object");
    }
    return ReadMessageObject(message.toObject(), "message");
}

Result<NoticeRequest> ReadNoticeRequest(std::string_view json) {
    Result<QJsonObject> body = ReadBodyObject(json);
    if (!body.Ok()) {
        return GatewayResult::Refused(
            "", "a notice is a JSON object {\"message\": {...}, \"seconds\": 30}");
    }
    const QJsonValue seconds = body.Value().value("seconds");
    NoticeRequest notice;
    notice.seconds = seconds.isUndefined() ? kDefaultNoticeSeconds : seconds.toInt(-1);
    if (notice.seconds < 1 || notice.seconds > kMaxNoticeSeconds) {
        return GatewayResult::Refused("seconds", "must be a whole number from 1 to 86400");
    }
    Result<MessageDocument> message = ReadMessageField(body.Value());
    if (!message.Ok()) {
        return message.Failure();
    }
    notice.message = message.Take();
    return notice;
}

MessageDocument PlainTextMessage(std::string_view utf8) {
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = u' ';
        }
    }
    return MessageFromJsonObject(QJsonObject{{"lines", QJsonArray{text}}});
}

MessageDocument WithFirstLineText(MessageDocument message, std::string_view utf8) {
    const MessageDocument text = PlainTextMessage(utf8);
    if (message.lines.empty()) {
        message.lines.emplace_back();
    }
    CellLine& first = message.lines.front();
    const CharCell look = first.empty() ? CharCell{} : first.front();
    first.clear();
    for (const CharCell& cell : text.lines.front()) {
        CharCell kept = look;
        kept.character = cell.character;
        first.push_back(kept);
    }
    message.unencodable = text.unencodable;
    return message;
}

Result<SetPayload> ReadSetPayload(std::string_view payload) {
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<qsizetype>(payload.size())));
    QJsonObject object = document.object();
    if (!document.isObject() || !(object.contains("lines") || IsPlaylistObject(object))) {
        return SetPayload{OneMessage(PlainTextMessage(payload)), std::nullopt, {}, {}};
    }
    const std::optional<Stamp> stamp = ReadStamp(object);
    const std::string signature = object.take("signature").toString().toStdString();
    const std::string signedText = Compact(object);
    for (const char* field : {"version", "setAt", "by", "origin"}) {
        object.remove(field);
    }
    if (IsPlaylistObject(object)) {
        Result<Playlist> play = ReadPlaylist(object);
        if (!play.Ok()) {
            return play.Failure();
        }
        return SetPayload{play.Take(), stamp, signature, signedText};
    }
    Result<MessageDocument> message = ReadMessageObject(object, "");
    if (!message.Ok()) {
        return message.Failure();
    }
    return SetPayload{OneMessage(message.Take()), stamp, signature, signedText};
}

Result<Playlist> ReadPlaylist(const QJsonObject& object) {
    const QJsonValue play = object.value("play");
    if (!play.isArray() || play.toArray().isEmpty()) {
        return GatewayResult::Refused("play", "a playlist is an array of 1 or more entries");
    }
    const QJsonArray entries = play.toArray();
    if (static_cast<size_t>(entries.size()) > kMaxPlayEntries) {
        return GatewayResult::Refused("play", "a playlist holds 64 entries at most");
    }
    Playlist playlist;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const std::string field = "play[" + std::to_string(i) + "]";
        const QJsonObject entry = entries.at(i).toObject();
        PlayEntry read;
        const QJsonValue seconds = entry.value("seconds");
        if (!seconds.isUndefined()) {
            const double value = seconds.toDouble(-1);
            if (!seconds.isDouble() || value != static_cast<int>(value) || value < 1 ||
                value > static_cast<double>(kLongestPlaySeconds.count())) {
                return GatewayResult::Refused(field + ".seconds",
                                              "an entry is on for 1 to 86400 whole seconds");
            }
            read.seconds = std::chrono::seconds(static_cast<int>(value));
        }
        if (entry.value("name").isString()) {
            read.name = entry.value("name").toString().toStdString();
            if (!CMessageLibrary::IsName(read.name)) {
                return GatewayResult::Refused(field + ".name",
                                              "\"" + read.name + "\" names no library message");
            }
        }
        if (entry.value("message").isObject()) {
            Result<MessageDocument> message =
                ReadMessageObject(entry.value("message").toObject(), field + ".message");
            if (!message.Ok()) {
                return message.Failure();
            }
            read.message = message.Take();
        } else if (read.name.empty()) {
            return GatewayResult::Refused(
                field, "an entry needs a \"message\" object or the \"name\" of a library message");
        }
        playlist.push_back(std::move(read));
    }
    return playlist;
}

std::string SetPayloadJson(const Playlist& play, const Stamp& stamp, const std::string& key) {
    // A message of its own alone goes as a message, as gateways before playlists read it.
    QJsonObject object = play.size() == 1 && play.front().name.empty()
                             ? MessageToJsonObject(play.front().message)
                             : QJsonObject{{"play", PlaylistJson(play)}};
    WriteStamp(object, stamp);
    if (!key.empty()) {
        object["signature"] = QString::fromStdString(Signature(Compact(object), key));
    }
    return Compact(object);
}

bool SignedWith(const SetPayload& payload, const std::string& key) {
    return !key.empty() && SameSecret(payload.signature, Signature(payload.signedText, key));
}

bool SameSecret(const std::string& given, const std::string& secret) {
    // Every byte compared, so that the time taken does not tell how much of a guess was right.
    unsigned difference = given.size() == secret.size() ? 0 : 1;
    for (size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned char>(given[i]) ^
                      static_cast<unsigned char>(secret[i % std::max<size_t>(secret.size(), 1)]);
    }
    return difference == 0 && !secret.empty();
}

std::string FailureJson(const GatewayResult& failure) {
    QJsonObject object;
    object["error"] = QString::fromStdString(failure.text);
    if (!failure.field.empty()) {
        object["field"] = QString::fromStdString(failure.field);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}
