#include "gateway/Playlist.h"

#include "gateway/GatewayRequests.h"
#include "gateway/MessageLibrary.h"

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

QJsonArray PlaylistJson(const Playlist& playlist) {
    QJsonArray entries;
    for (const PlayEntry& entry : playlist) {
        QJsonObject object{{"message", MessageToJsonObject(entry.message)},
                           {"seconds", static_cast<int>(entry.seconds.count())}};
        if (!entry.name.empty()) {
            object["name"] = QString::fromStdString(entry.name);
        }
        entries.append(object);
    }
    return entries;
}
