#include <cctype>
#include <cstdio>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "encoding/Windows1252.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "transport/SendOutcome.h"

namespace {

constexpr const char* kSendHelp =
    R"(Usage: lumivex-cli send [--port com1..com8|ethernet] [--baud 9600|38400] [--ip A.B.C.D]
                        (STRING | --file F)

Sends one command string to the sign, as the program's "Send To Marquee" does.

  STRING              text, sent as its Windows-1252 bytes (a character with none becomes "?");
                      put "--" before a STRING that starts with "-"
  --file F            the bytes of file F as they are ("-": standard input), less one trailing
                      line end, so that 'lumivex-cli encode msg.json | lumivex-cli send --file -'
                      works
  --port P            com1 to com8 or ethernet
  --baud B            the serial line speed, 9600 or 38400
  --ip A.B.C.D        the sign's address for ethernet (TCP port 49999)

Port, speed and address default to the program's saved settings; these options do not change
them. "COMn" is the device that key COMn of group [Ports] of the program's settings names
(~/.config/Lumivex1.2/lumivex.conf), else /dev/ttyS<n-1>.

What the program would show in a message box goes to standard error, one line per box, with any
line break in it turned into a space.
Exit status: 0 when the string was delivered, 1 when not, 2 for bad arguments.
)";

const ArgRules kSendArgs = {{"--port", "--baud", "--ip", "--file"}, 1};

// What the program would show in a box, as one line on standard error.
void PrintNotice(const SendNotice& notice) {
    std::string line = notice.text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    std::fprintf(stderr, "%s\n", line.c_str());
}

int32_t ParsePort(const std::string& text) {
    std::string name;
    for (const char c : text) {
        name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (name == "ethernet") {
        return kPortEthernet;
    }
    if (name.size() == 4 && name.compare(0, 3, "com") == 0 && name[3] >= '1' &&
        name[3] < '1' + kComPortCount) {
        return name[3] - '1';
    }
    FailInput("--port takes com1 to com8 or ethernet, not \"" + text + "\"");
}

std::string ReadCommandString(const Args& args) {
    const std::string* file = args.Find("--file");
    if ((file != nullptr) == !args.positionals.empty()) {
        FailInput("send takes either a STRING or --file F (see --help)");
    }
    if (file == nullptr) {
        return Utf8ToWindows1252(args.positionals.front());
    }
    // A command string never ends in a line end; the one a pipe or an editor adds is dropped.
    std::string bytes = ReadInputFile(*file);
    if (!bytes.empty() && bytes.back() == '\n') {
        bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r') {
            bytes.pop_back();
        }
    }
    return bytes;
}

}  // namespace

int RunSend(const std::vector<std::string>& arguments) {
    const Args args = ParseArgs(arguments, kSendArgs);
    if (args.help) {
        std::fputs(kSendHelp, stdout);
        return kExitOk;
    }
    CProfileStore profile;
    CMarqueeApp app(profile);
    app.LoadSettings();
    if (const std::string* port = args.Find("--port")) {
        app.m_nComPort = ParsePort(*port);
    }
    if (const std::string* baud = args.Find("--baud")) {
        if (*baud != "9600" && *baud != "38400") {
            FailInput("--baud takes 9600 or 38400, not \"" + *baud + "\"");
        }
        app.m_nBaudRate = *baud == "9600" ? kBaud9600 : kBaud38400;
    }
    if (const std::string* ip = args.Find("--ip")) {
        const auto octets = ParseIpv4(*ip);
        if (!octets) {
            FailInput("--ip takes an IPv4 address A.B.C.D (each 0..255), not \"" + *ip + "\"");
        }
        app.m_ipAddress = *octets;
    }
    const std::string bytes = ReadCommandString(args);

    const SendOutcome outcome = app.SendToMarquee(bytes);
    for (const SendNotice& notice : SendNotices(outcome)) {
        PrintNotice(notice);
    }
    return outcome.Delivered() ? kExitOk : kExitFailure;
}
