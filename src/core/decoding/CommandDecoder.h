#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "editor/CharCell.h"
#include "encoding/MessageSettings.h"
#include "setup/NetworkParams.h"

// Reads command strings back the way a sign takes them: every known code is applied, and a caret
// followed by anything else is an ordinary character. Reading never fails; what cannot be placed
// is reported as a warning and the best reading is returned.

// Something the reading could not place, at the byte offset where it starts.
struct DecodeWarning {
    size_t offset;
    std::string text;

    bool operator==(const DecodeWarning&) const = default;
};

// A message string read back. The address code does not tell which address mode wrote it: an
// addressed message reads as "Specific Unit", one without an address as "Default". A string
// carries no sign model, and line, column and "Clear Message on line" only with "Starting at";
// those keep their start-up values otherwise.
struct DecodedMessage {
    MessageSettings settings = NothingSettings();
    // The cell lines the editor would hold for this body; never empty.
    std::vector<CellLine> lines{CellLine{}};

    // The start-up settings less every header code: no address, no display mode, position and
    // effect "Default".
    static MessageSettings NothingSettings();
};

enum class NetworkAction { kSetup, kLoadDefaults, kDisable };

// Four dotted numbers as the string writes them; a value above 255 is kept as it stands.
using DottedNumbers = std::array<int32_t, 4>;

// A network interface string read back; what the string does not carry stays empty.
struct DecodedNetwork {
    NetworkAction action = NetworkAction::kSetup;
    int32_t type = kNetworkEthernet;
    std::optional<int32_t> groupNumber;
    std::optional<int32_t> unitNumber;
    std::optional<DottedNumbers> ip;
    std::optional<DottedNumbers> mask;
    std::optional<DottedNumbers> gateway;
    std::optional<int32_t> stationAddress;
    std::optional<int32_t> baudKbps;
    std::optional<int32_t> inputSize;
    std::optional<int32_t> outputSize;
    std::optional<int32_t> byteOrder;
};

struct DecodedCommand {
    std::variant<DecodedMessage, DecodedNetwork> content;
    // In the order of their offsets; the first maxWarnings of them.
    std::vector<DecodeWarning> warnings;
    // How many more there were.
    size_t warningsLeftOut = 0;
};

inline constexpr size_t kAllWarnings = std::numeric_limits<size_t>::max();
// What a reader of one string is shown: a string of one fault repeated (a megabyte of line feeds)
// would otherwise give a warning a byte.
inline constexpr size_t kWarningsShown = 100;

// The line that follows the warnings shown: "1 more warning left out", "250 more warnings left
// out".
std::string WarningsLeftOutText(size_t leftOut);

// A string whose codes, after an optional address, begin with "^P" is a network interface
// string; any other is a message.
DecodedCommand DecodeCommandString(std::string_view bytes, size_t maxWarnings = kAllWarnings);
