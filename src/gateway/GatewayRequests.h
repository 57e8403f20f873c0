#pragma once

#include <QJsonObject>
#include <string>
#include <string_view>

#include "gateway/GatewayResult.h"
#include "gateway/Playlist.h"
#include "gateway/Stamp.h"
#include "settings/MessageFile.h"

// What a request or a payload asks, read and checked before it reaches the commands: refusals name
// the field at fault in the words lumivex-cli uses for the same fault.

// As much text as the desktop's editor holds, and no sign is sent more.
inline constexpr size_t kMaxMessageText = 32767;

// A message JSON as lumivex-cli encode reads it, with the composer's check of its position and
// of its text's length (its characters and line breaks, at most kMaxMessageText).
// `field` names the message in the request ("message", or "" for the whole body).
Result<MessageDocument> ReadRequestMessage(std::string_view json, const std::string& field);
Result<MessageDocument> ReadMessageObject(const QJsonObject& object, const std::string& field);

// A body that must be a JSON object.
Result<QJsonObject> ReadBodyObject(std::string_view json);

// The "message" field of a request's JSON object.
Result<MessageDocument> ReadMessageField(const QJsonObject& body);

inline constexpr int kDefaultNoticeSeconds = 30;
inline constexpr int kMaxNoticeSeconds = 24 * 60 * 60;

struct NoticeRequest {
    MessageDocument message;
    int seconds = kDefaultNoticeSeconds;
};

// {"message": {...}, "seconds": 30}: a message shown for a while, then the desired one again.
Result<NoticeRequest> ReadNoticeRequest(std::string_view json);

// One line of red text of the smallest size; line breaks become spaces.
MessageDocument PlainTextMessage(std::string_view utf8);
// The message with the text of its first line replaced, in the size, colour and blink of that
// line's first character (the smallest red when it has none); every other line and choice kept.
MessageDocument WithFirstLineText(MessageDocument message, std::string_view utf8);
// Whether the object asks for a playlist: it has "play".
inline bool IsPlaylistObject(const QJsonObject& object) {
    return object.contains("play");
}
// {"play": [{"message": {...} | "name": "shift-a", "seconds": 10}, ...]}. An entry by name comes
// without its message: the library's is taken where the playlist is applied. Refusals name the
// field at fault: "play[1].seconds".
Result<Playlist> ReadPlaylist(const QJsonObject& object);
// A set topic's payload: a JSON object with "lines" is a message, one with "play" a playlist, with
// the stamp a gateway may have written beside it; anything else is one line of text, placeholders
// and all.
struct SetPayload {
    Playlist play;  // a message alone: one entry
    std::optional<Stamp> stamp;
    std::string signature;   // of a gateway that forwards a write
    std::string signedText;  // what the signature is of
};
Result<SetPayload> ReadSetPayload(std::string_view payload);
// What a gateway publishes to a set topic: the message's JSON with its stamp beside it, signed
// with `key` when one is given.
std::string SetPayloadJson(const Playlist& play, const Stamp& stamp, const std::string& key = {});
// Whether the payload carries a signature made with `key`.
bool SignedWith(const SetPayload& payload, const std::string& key);
// A token or signature compared in a time that tells nothing of how much of it was right.
bool SameSecret(const std::string& given, const std::string& secret);

// {"error": "...", "field": "..."}
std::string FailureJson(const GatewayResult& failure);
