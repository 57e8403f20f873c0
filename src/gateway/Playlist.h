#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <chrono>
#include <string>
#include <vector>

#include "settings/MessageFile.h"

inline constexpr std::chrono::seconds kDefaultPlaySeconds{10};
inline constexpr std::chrono::seconds kLongestPlaySeconds{24 * 60 * 60};
// A playlist holds this many entries at most: each costs a send every turn.
inline constexpr size_t kMaxPlayEntries = 64;

// One entry of a sign's playlist: its own message, or a library message by name (with the
// library's words as they were when it was set, kept should the library lose it), on for
// `seconds` before the next takes its turn.
struct PlayEntry {
    MessageDocument message;
    std::string name;  // the library message it is; "" its own
    std::chrono::seconds seconds = kDefaultPlaySeconds;

    bool operator==(const PlayEntry&) const = default;
};

// What a sign shows when nothing is over it: its entries in turn, over and over. A message alone
// is a playlist of one, which never turns.
using Playlist = std::vector<PlayEntry>;

inline Playlist OneMessage(MessageDocument message, std::string name = {}) {
    return {PlayEntry{std::move(message), std::move(name), kDefaultPlaySeconds}};
}

// The entries as ReadPlaylist reads them, each with its message, named or not.
QJsonArray PlaylistJson(const Playlist& playlist);
