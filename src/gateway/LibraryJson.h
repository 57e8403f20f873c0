#pragma once

#include <QJsonObject>
#include <string>
#include <string_view>

#include "gateway/GatewayResult.h"
#include "gateway/MessageLibrary.h"

// {"name", "number" (when it has one), "message"}: a library message as GET /api/messages, the
// library topic and the state folder give it.
QJsonObject LibraryMessageJson(const LibraryMessage& message);
// A PUT body or topic payload for the library message `name`: a message JSON, or
// {"message": {...}, "number": 1-9999}.
Result<LibraryMessage> ReadLibraryMessage(std::string_view json, const std::string& name);
