#pragma once

#include <iosfwd>
#include <string>

#include "settings/MessageFile.h"

// The message of a command: read from FILE, or from standard input for "-" or no FILE. A file that
// cannot be read or does not parse ends the command with exit status 2 and the reader's message.
MessageDocument ReadMessageInput(const std::string& path, std::istream& in);
// The message of a JSON text read already; fails as ReadMessageInput does.
MessageDocument ReadMessageText(const std::string& json);

// The composer's check of a "Starting at" position; a failure ends the command with exit status 2
// and the composer's own message.
void CheckMessagePosition(const MessageDocument& message);

// Warns on standard error when a text character of the message becomes "?".
void WarnAboutUnencodable(std::ostream& err, const MessageDocument& message);
