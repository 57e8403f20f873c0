#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "setup/NetworkValidation.h"

namespace {

constexpr const char* kNetworkHelp =
    R"(Usage: lumivex-cli network ACTION --type ethernet|devicenet|profibus [OPTIONS]

Prints one string of the sign's network interface, followed by a newline.

Actions:
  setup               the setup string (programs and enables the interface)
  defaults            the load-defaults string
  disable             the disable string
  confirm-programmed  the message the sign shows after a setup string
  confirm-disabled    the message the sign shows after a disable string

Options (absent values take the interface's defaults):
  --group N           sign group, 0..99 (default 0)
  --unit N            sign unit, 0..9999 (default 0)
  --ip A.B.C.D        Ethernet: the interface's address
  --mask A.B.C.D      Ethernet: its subnet mask
  --gateway A.B.C.D   Ethernet: its gateway
  --station N         DeviceNet MAC ID (0..63) or Profibus-DP node address (0..125)
  --input N           DeviceNet consumed bytes (8..120) or Profibus-DP input bytes (1..122)
  --baud 125|250|500  DeviceNet bit rate in kb/s
  --byte-order 0..3   bit 0: message bytes "Char 2, Char 1"; bit 1: count bytes "Low, High"

Every number must be a whole decimal number: "5x" or an empty value is refused, where the page
would read 5 or 0. --station and --input out of range are refused with the page's own messages.
The CLI takes wider group and unit numbers than the page's lists (0..2 and 0..8).
Exit status: 0 on success, 2 for bad input, 1 for other failures.
)";

const ArgRules kNetworkArgs = {{"--type", "--group", "--unit", "--ip", "--mask", "--gateway",
                                "--station", "--input", "--baud", "--byte-order"},
                               1};

int32_t ReadType(const Args& args) {
    const std::string* type = args.Find("--type");
    if (type == nullptr) {
        FailInput("network needs --type ethernet|devicenet|profibus");
    }
    if (*type == "ethernet") {
        return kNetworkEthernet;
    }
    if (*type == "devicenet") {
        return kNetworkDeviceNet;
    }
    if (*type == "profibus") {
        return kNetworkProfibus;
    }
    FailInput("--type takes ethernet, devicenet or profibus, not \"" + *type + "\"");
}

void RequireType(const Args& args, const std::string& option, bool applies,
                 const std::string& types) {
    if (args.Has(option) && !applies) {
        FailInput(option + " applies to --type " + types + " only");
    }
}

void ReadAddressOption(const Args& args, const std::string& option, Ipv4Octets& target) {
    if (const std::string* text = args.Find(option)) {
        const auto octets = ParseIpv4(*text);
        if (!octets) {
            FailInput(option + " takes an IPv4 address A.B.C.D (each 0..255), not \"" + *text +
                      "\"");
        }
        target = *octets;
    }
}

// The fieldbus fields go through the page's own checks, which would read "5x" as 5 and "" as 0;
// a script means a number, so anything else is refused here first.
void RequireNumber(const std::string& option, const std::string& text, FieldbusRange range) {
    if (!ParseWholeNumber(text)) {
        FailInput(option + " takes a whole number from " + std::to_string(range.low) + " to " +
                  std::to_string(range.high) + ", not \"" + text + "\"");
    }
}

uint8_t BaudIndex(const std::string& text) {
    if (text == "125") {
        return kBaud125;
    }
    if (text == "250") {
        return kBaud250;
    }
    if (text == "500") {
        return kBaud500;
    }
    FailInput("--baud takes 125, 250 or 500, not \"" + text + "\"");
}

std::string BuildNetworkString(const std::string& action, const Args& args) {
    const int32_t type = ReadType(args);
    MessageSettings address;
    if (const std::string* group = args.Find("--group")) {
        address.groupNumber =
            static_cast<int32_t>(ParseIntegerOption("--group", *group, 0, kMaxGroupNumber));
    }
    if (const std::string* unit = args.Find("--unit")) {
        address.unitNumber =
            static_cast<int32_t>(ParseIntegerOption("--unit", *unit, 0, kMaxUnitNumber));
    }

    const bool ethernet = type == kNetworkEthernet;
    for (const char* option : {"--ip", "--mask", "--gateway"}) {
        RequireType(args, option, ethernet, "ethernet");
    }
    for (const char* option : {"--station", "--input", "--byte-order"}) {
        RequireType(args, option, !ethernet, "devicenet or profibus");
    }
    RequireType(args, "--baud", type == kNetworkDeviceNet, "devicenet");

    CNetworkParams params(type);
    ReadAddressOption(args, "--ip", params.m_cardIp);
    ReadAddressOption(args, "--mask", params.m_cardMask);
    ReadAddressOption(args, "--gateway", params.m_cardGateway);

    // The fieldbus fields go through the page's own reading and checks, which store them.
    FieldbusInput input;
    input.stationAddress = std::to_string(params.m_nStationAddress);
    input.inputSize = std::to_string(params.m_nInputSize);
    input.outputSize = std::to_string(params.m_nOutputSize);
    if (const std::string* station = args.Find("--station")) {
        RequireNumber("--station", *station, StationAddressRange(type));
        input.stationAddress = *station;
    }
    if (const std::string* inputSize = args.Find("--input")) {
        RequireNumber("--input", *inputSize, InputSizeRange(type));
        input.inputSize = *inputSize;
    }
    if (const std::string* baud = args.Find("--baud")) {
        input.baudIndex = BaudIndex(*baud);
    }
    if (const std::string* order = args.Find("--byte-order")) {
        const auto flags = ParseIntegerOption("--byte-order", *order, 0, 3);
        input.messageSwapped = (flags & kByteOrderMessageSwapped) != 0;
        input.countLowFirst = (flags & kByteOrderCountLowFirst) != 0;
    }

    if (action == "setup") {
        if (!ethernet) {
            const NetworkCheckResult check = ValidateAndStoreFieldbus(params, input);
            if (!check.ok) {
                FailInput(check.message);
            }
        }
        return params.GetSetupString(address);
    }
    if (action == "defaults") {
        return params.GetLoadDefaultsString(address);
    }
    if (action == "disable") {
        return params.GetDisableString(address);
    }
    if (action == "confirm-programmed" || action == "confirm-disabled") {
        return GetConfirmationString(address, type, action == "confirm-programmed");
    }
    FailInput("unknown network action \"" + action +
              "\" (setup, defaults, disable, confirm-programmed or confirm-disabled)");
}

}  // namespace

int RunNetwork(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, kNetworkArgs);
    if (args.help) {
        io.out << kNetworkHelp;
        return kExitOk;
    }
    if (args.positionals.empty()) {
        FailInput("network needs an ACTION (see --help)");
    }
    WriteOutputLine(io.out, BuildNetworkString(args.positionals.front(), args));
    return kExitOk;
}
