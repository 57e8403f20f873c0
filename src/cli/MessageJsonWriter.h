#pragma once

#include <string>
#include <string_view>

#include "decoding/CommandDecoder.h"

// Writes what a command string was read as, in one line of JSON.

// A message in the JSON that ParseMessageJson reads: every header field the string carries, and
// each line either as a string (when all of it is size 1, red, not blinking) or as runs, one run
// for each stretch of cells with equal attributes. Text goes out as UTF-8 of the Windows-1252
// bytes.
std::string WriteMessageJson(const DecodedMessage& message);

// A network interface string with the names of 'lumivex-cli network': "action" (setup, defaults
// or disable), "type", "group", "unit" and the fields the string carries ("ip", "mask",
// "gateway", "station", "baud", "input", "output", "byte-order").
std::string WriteNetworkJson(const DecodedNetwork& network);

// Either of the two.
std::string WriteDecodedJson(const DecodedCommand& command);

// Appends text (UTF-8) as a JSON string, quotes included.
void AppendJsonString(std::string& out, std::string_view utf8);
