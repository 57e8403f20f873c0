#pragma once

#include "automation/TemplateText.h"
#include "settings/MessageFile.h"

// A message with its live values filled in, and what the text used to get them.
struct ExpandedMessage {
    MessageDocument message;
    std::set<std::string> used;
    std::set<std::string> missing;
    bool usesClock = false;
};

// Fills in the placeholders of every stretch of a line that has one size, colour and blink; each
// stretch keeps its attributes. A placeholder across two stretches stays as it is written.
ExpandedMessage ExpandMessage(const MessageDocument& message, const VariableValues& values,
                              LocalTime now);
