#include <cctype>
#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/SendProgress.h"
#include "encoding/Windows1252.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"
#include "settings/SendNotices.h"
#include "transport/CCancelToken.h"

namespace {

constexpr const char* kSendHelp =
    R"HELP(Usage: lumivex-cli send [--port com1..com8|ethernet] [--baud 9600|38400] [--ip A.B.C.D]
                        (STRING | - | --file F)
       lumivex-cli send (--sign NAME [--sign NAME]... | --tag T | --all) [--json]
                        (MESSAGE.json | STRING | -)

Sends one command string to the sign, as the program's "Send To Marquee" does.

  STRING              text, sent as its Windows-1252 bytes; a character with none becomes "?",
                      and the first such character is named in a warning. Put "--" before a
                      STRING that starts with "-"
  -                   the bytes of standard input, as --file - reads them
  --file F            the bytes of file F as they are ("-": standard input), less one trailing
                      line end, so that 'lumivex-cli encode msg.json | lumivex-cli send -' works
  --port P            com1 to com8 or ethernet
  --baud B            the serial line speed, 9600 or 38400
  --ip A.B.C.D        the sign's address for ethernet (TCP port 49999)

Port, speed and address default to the program's saved settings; these options do not change
them. "COMn" is the device that key COMn of group [Ports] of the program's settings names
(~/.config/Lumivex1.2/lumivex.conf), else /dev/ttyS<n-1>.

A serial line takes its time: 10 bits a byte, so 5 MB at 9600 bits per second take about 90
minutes. A send that takes more than a few seconds says so at the start and, when standard error
is a terminal, shows the bytes written as it goes. Ctrl-C stops it and lets the port go; the sign
may then have taken part of the string.

When the string does not get through, standard error names the link, for example
"COM3 (/dev/ttyUSB0)" or "Ethernet 192.168.0.20:49999", and what failed there; then follows what
the program would show in a message box, one line per box.
To named signs (see 'lumivex-cli signs'): a message file is encoded for each sign with that
sign's own address, a command string is sent to each as it is. Signs behind different links are
sent to at once, signs on one serial line one after another. One line per sign as each finishes
("Line 3: sent, 412 bytes in 0.11 s"), then how many got the message; --json prints one JSON
object per sign instead. Exit status 0 only when every sign got it, 1 otherwise, 2 for an unknown
sign or tag (before anything is sent).

Exit status: 0 when the string was delivered, 1 when not, 2 for bad arguments, 128 plus the
signal's number when Ctrl-C (130) or SIGTERM stopped it.
)HELP";

const ArgRules kSendArgs = {
    {"--port", "--baud", "--ip", "--file", "--tag"}, 1, {"--all", "--json"}, {"--sign"}};

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

// A command string never ends in a line end; the one a pipe or an editor adds is dropped.
std::string ReadCommandFile(const std::string& path, std::istream& in) {
    std::string bytes = ReadInputFile(path, in);
    if (!bytes.empty() && bytes.back() == '\n') {
        bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r') {
            bytes.pop_back();
        }
    }
    return bytes;
}

std::string ReadCommandString(const Args& args, const CliStreams& io) {
    const std::string* file = args.Find("--file");
    if ((file != nullptr) == !args.positionals.empty()) {
        FailInput("send takes either a STRING, - or --file F (see --help)");
    }
    if (file != nullptr) {
        return ReadCommandFile(*file, io.in);
    }
    const std::string& text = args.positionals.front();
    if (text == "-") {
        return ReadCommandFile(text, io.in);
    }
    if (const auto unencodable = FindUnencodableAt(text)) {
        WarnUnencodable(io.err, *unencodable);
    }
    return Utf8ToWindows1252(text);
}

// The line before the program's own texts: which link, and what failed there.
std::string FailureLine(const SendOutcome& outcome, size_t written, size_t total) {
    if (outcome.result.code == SEND_CANCELLED) {
        // Only a serial write reports its progress.
        const std::string after = outcome.overTcp ? ""
                                                  : " after " + std::to_string(written) + " of " +
                                                        std::to_string(total) + " bytes";
        return "lumivex-cli: the send to " + LinkName(outcome) + " was stopped" + after +
               "; the sign may have taken part of the string";
    }
    return "lumivex-cli: " + LinkFailure(outcome);
}

}  // namespace

int RunSend(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, kSendArgs);
    if (args.help) {
        io.out << kSendHelp;
        return kExitOk;
    }
    if (args.Has("--all") || args.Has("--tag") || !args.List("--sign").empty()) {
        return RunSendToSigns(args, io);
    }
    CProfileStore profile;
    CMarqueeApp app(profile);
    app.LoadSettings();
    if (const std::string* port = args.Find("--port")) {
        app.SetComPort(ParsePort(*port));
    }
    if (const std::string* baud = args.Find("--baud")) {
        if (*baud != "9600" && *baud != "38400") {
            FailInput("--baud takes 9600 or 38400, not \"" + *baud + "\"");
        }
        app.SetBaudRate(*baud == "9600" ? kBaud9600 : kBaud38400);
    }
    if (const std::string* ip = args.Find("--ip")) {
        const auto octets = ParseIpv4(*ip);
        if (!octets) {
            FailInput("--ip takes an IPv4 address A.B.C.D (each 0..255), not \"" + *ip + "\"");
        }
        app.SetIpAddress(*octets);
    }
    const std::string bytes = ReadCommandString(args, io);

    LinkSettings link = app.CurrentLink();
    CSendProgress progress(bytes.size(), link.line, io.err, io.errIsTerminal);
    link.progress = [&progress](size_t written) { progress.Update(written); };
    CCancelToken cancel;
    SendOutcome outcome;
    int stoppedBy = 0;
    {
        const CInterruptGuard guard(cancel);
        outcome = app.SendToMarquee(bytes, link, &cancel);
        stoppedBy = CInterruptGuard::Signal();
    }
    progress.Finish();
    if (outcome.Delivered()) {
        return kExitOk;
    }
    PrintErrorLine(io.err, FailureLine(outcome, progress.Written(), bytes.size()));
    for (const SendNotice& notice : SendNotices(outcome)) {
        PrintErrorLine(io.err, notice.text);
    }
    constexpr int kExitSignalBase = 128;
    return outcome.result.code == SEND_CANCELLED && stoppedBy != 0 ? kExitSignalBase + stoppedBy
                                                                   : kExitFailure;
}
