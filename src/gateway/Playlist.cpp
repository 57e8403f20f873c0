#include "gateway/Playlist.h"

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
