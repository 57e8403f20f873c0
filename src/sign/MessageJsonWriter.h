#pragma once

#include <string>
#include <string_view>

#include "decoding/CommandDecoder.h"

// Writes what a command string was read as, in one line of JSON.

// A message in the JSON that ParseMessageJson reads, on one line, with every header field the
// string carries: the message files' own writer.
std::string WriteMessageJson(const DecodedMessage& message);

// A network interface string with the names of 'lumivex-cli network': "action" (setup, defaults
// or disable), "type", "group", "unit" and the fields the string carries ("ip", "mask",
// "gateway", "station", "baud", "input", "output", "byte-order").
std::string WriteNetworkJson(const DecodedNetwork& network);

// Either of the two.
std::string WriteDecodedJson(const DecodedCommand& command);
