#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/CliSupport.h"

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"

// One message as scripts describe it: the composer's choices and the formatted text.
struct MessageDocument {
    MessageSettings settings;
    std::vector<CellLine> lines{CellLine{}};   // the empty editor holds one empty line
    std::optional<UnencodableAt> unencodable;  // the first text character the sign gets as "?"
};

// Reads the message JSON; every field is optional and takes the start-up value when absent.
// Unknown fields, wrong types, values out of range and malformed JSON end the command with exit
// status 2 and a line that names the field, what it accepts and what it was given.
MessageDocument ParseMessageJson(const std::string& json);

// The composer's check of a "Starting at" position; a failure ends the command with exit status 2
// and the composer's own message.
void CheckMessagePosition(const MessageDocument& message);

// Warns on standard error when a text character of the message becomes "?".
void WarnAboutUnencodable(const MessageDocument& message);

enum class MessageChoice { kAddress, kPosition, kDisplayMode, kEffect };

// The JSON text that ParseMessageJson reads as this value of the choice; empty for a value that
// has none.
std::string ChoiceJsonText(MessageChoice choice, int32_t value);
