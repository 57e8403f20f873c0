#include <QDir>
#include <QString>
#include <cerrno>
#include <cstring>
#include <memory>
#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/SignPrinters.h"
#include "cli/SignWindowSession.h"
#include "cli/StopSignals.h"
#include "preview/SignModel.h"
#include "sign/SignLoop.h"
#include "transport/CCancelToken.h"
#include "transport/CSignPtyLink.h"
#include "transport/CSignTcpListener.h"

namespace {

constexpr const char* kSignHelp =
    R"(Usage: lumivex-cli sign (--tcp [ADDR:]PORT [--tcp ...] [--count N] | --serial LINK)
                        [--model N] [--out DIR] [--window]

Plays a sign: takes command strings as a sign does and shows what it makes of them.

  --tcp [ADDR:]PORT  listens on ADDR (default 127.0.0.1) at PORT; everything one connection sends,
                     up to the peer's close, is one message, and connections are taken one at a
                     time. A sign listens at 49999, where the program and 'lumivex-cli send
                     --port ethernet' connect. PORT 0 takes a free port.
                     Given more than once, plays one sign at each address, side by side.
  --count N          plays N signs (1..1000) at N addresses counted up from the one --tcp gives,
                     all at its PORT: --tcp 127.0.0.2:49999 --count 3 listens on 127.0.0.2,
                     127.0.0.3 and 127.0.0.4. Any 127.x.y.z is this machine, and needs no set-up
  --serial LINK      makes a pseudo-terminal and a symlink LINK to it: map a COMn to LINK in group
                     [Ports] of the settings (COM1=LINK) and send to that COMn. A serial line has
                     no framing: a message ends after 250 ms without bytes.
                     On both links a new header (^A) also ends the message before it, as when
                     a setup string and its confirmation come back to back.
  --model N          the sign model of the frames and the window, 0..13 (default 0; 'lumivex-cli
                     preview --help' lists them)
  --out DIR          writes the frames of each message, as the preview shows them on the model, to
                     DIR/msg-0001-frame-001.png, msg-0001-frame-002.png, ...: one whole cycle of the
                     animation (each blink phase and scroll step once; at most 1000 frames), the
                     same pictures as 'lumivex-cli preview --frames N' gives
  --window           shows the sign's LED panel of the model in a window: the latest message,
                     blinking and scrolling as the program's preview does, one step every 540 ms.
                     Needs a graphical display; closing the window ends the sign as Ctrl+C does

On start, one line on standard error says where the sign listens, PORT 0 resolved:
  lumivex-cli sign: listening on tcp 127.0.0.1:49999
  lumivex-cli sign: listening on serial LINK (/dev/pts/N)
For each message, one line of JSON on standard output:
  {"number":1,"time":"2025-01-31T12:34:56.789Z","source":"tcp 127.0.0.1:40512","bytes":42,
   "message":{...}}
where "message" is what 'lumivex-cli decode' writes ("network" for a network interface string),
and "truncated":true marks a message cut at 1 MiB. With several signs, "sign":"tcp 127.0.0.3:49999"
names the one that took it, message numbers count per sign, warnings start with the sign, and
--out writes into a folder per sign, DIR/127.0.0.3-49999/. A message the model shows only in part, as
the preview cuts it, has "leftOut" say what and why, as the window does beside the panel:
  "leftOut":"lines 1 to 2 left out: line 1 needs 2 of the sign's 1 line"
The line comes once the message's frames are written. Its warnings go to standard error, at most
100 a message, as
  message 1, offset N: TEXT
  message 1: N more warnings left out

Runs until interrupted (Ctrl+C or SIGTERM), then closes the link, removes LINK and exits 0.
Exit status: 2 for bad arguments, a port in use, a LINK that exists or --window without a display;
1 for other failures.
)";

constexpr Ipv4Octets kDefaultListenAddress = {127, 0, 0, 1};
constexpr int64_t kMaxPort = 65535;
constexpr int64_t kMaxSigns = 1000;

// "[ADDR:]PORT"
void ParseTcpOption(const std::string& text, Ipv4Octets& address, uint16_t& port) {
    address = kDefaultListenAddress;
    std::string portText = text;
    if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        const std::string addressText = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (!addressText.empty()) {
            const auto parsed = ParseIpv4(addressText);
            if (!parsed) {
                FailInput("--tcp takes [ADDR:]PORT with an IPv4 address A.B.C.D, not \"" + text +
                          "\"");
            }
            address = *parsed;
        }
    }
    port = static_cast<uint16_t>(ParseIntegerOption("--tcp", portText, 0, kMaxPort));
}

// The link the sign listens on, and where, as its start line names it.
struct OpenedLink {
    std::unique_ptr<ISignLink> link;
    std::string where;  // "tcp 127.0.0.1:49999", "serial LINK (/dev/pts/N)"
};

OpenedLink OpenTcp(const Ipv4Octets& address, uint16_t port) {
    auto listener = std::make_unique<CSignTcpListener>();
    if (const int error = listener->Listen(address, port); error != 0) {
        FailInput("cannot listen on " + FormatIpv4(address) + ":" + std::to_string(port) + ": " +
                  std::strerror(error));
    }
    std::string where = "tcp " + listener->Endpoint();
    return {std::move(listener), std::move(where)};
}

OpenedLink OpenSerial(const std::string& linkPath) {
    if (linkPath.empty()) {
        FailInput("--serial needs a path for the link");
    }
    auto link = std::make_unique<CSignPtyLink>();
    if (const int error = link->Open(linkPath); error != 0) {
        if (link->FailedStep() == CSignPtyLink::OpenStep::kTerminal) {
            throw CliError(
                kExitFailure,
                std::string("lumivex-cli: cannot make a pseudo-terminal: ") + std::strerror(error));
        }
        if (error == EEXIST) {
            FailInput("cannot make the link " + linkPath +
                      ": the path exists (remove it if an earlier sign left it)");
        }
        FailInput("cannot make the link " + linkPath + ": " + std::strerror(error));
    }
    std::string where = "serial " + linkPath + " (" + link->DevicePath() + ")";
    return {std::move(link), std::move(where)};
}

// The addresses of --tcp, each given or counted up from the one given by --count.
std::vector<std::pair<Ipv4Octets, uint16_t>> TcpAddresses(const Args& args) {
    std::vector<std::pair<Ipv4Octets, uint16_t>> addresses;
    for (const std::string& option : args.List("--tcp")) {
        Ipv4Octets address{};
        uint16_t port = 0;
        ParseTcpOption(option, address, port);
        addresses.emplace_back(address, port);
    }
    const std::string* countText = args.Find("--count");
    if (countText == nullptr) {
        return addresses;
    }
    if (addresses.size() != 1) {
        FailInput("--count counts up from one --tcp address, not " +
                  std::to_string(addresses.size()));
    }
    const int64_t count = ParseIntegerOption("--count", *countText, 1, kMaxSigns);
    const auto [first, port] = addresses.front();
    const uint32_t base = (uint32_t{first[0]} << 24) | (uint32_t{first[1]} << 16) |
                          (uint32_t{first[2]} << 8) | first[3];
    // Counting must neither wrap past 255.255.255.255 nor leave loopback for another network.
    const uint64_t last = uint64_t{base} + static_cast<uint64_t>(count) - 1;
    if (last > UINT32_MAX || (first[0] == 127 && (last >> 24) != 127)) {
        FailInput("--count " + std::to_string(count) + " from " + FormatIpv4(first) +
                  " runs past the end of its network");
    }
    addresses.clear();
    for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
        const uint32_t value = base + i;
        addresses.emplace_back(
            Ipv4Octets{static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                       static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)},
            port);
    }
    return addresses;
}

}  // namespace

int RunSign(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(
        arguments,
        ArgRules{{"--serial", "--model", "--out", "--count"}, 0, {"--window"}, {"--tcp"}});
    if (args.help) {
        io.out << kSignHelp;
        return kExitOk;
    }
    const std::string* serial = args.Find("--serial");
    if (args.List("--tcp").empty() == (serial == nullptr)) {
        FailInput("sign takes either --tcp [ADDR:]PORT or --serial LINK (see --help)");
    }
    const auto addresses = TcpAddresses(args);
    const bool several = addresses.size() > 1;
    if (several && args.Has("--window")) {
        FailInput("--window shows one sign; leave it out to play several");
    }
    int32_t model = 0;
    if (const std::string* text = args.Find("--model")) {
        model = static_cast<int32_t>(ParseIntegerOption("--model", *text, 0, kSignModelCount - 1));
    }
    // Before anything listens: a window that cannot open ends the command first.
    std::unique_ptr<CSignWindowSession> window;
    if (args.Has("--window")) {
        window = std::make_unique<CSignWindowSession>(model);
    }
    // The JSON line comes last: once it is out, so is everything else about the message.
    CWarningPrinter warnings(io.err);
    std::unique_ptr<CFrameWriter> frames;
    CJsonLinePrinter lines(model, io.out);
    std::vector<ISignObserver*> observers{&warnings};
    if (const std::string* out = args.Find("--out")) {
        const QString folder = QString::fromStdString(*out);
        if (out->empty() || !QDir().mkpath(folder)) {
            throw CliError(kExitFailure, "lumivex-cli: cannot create the folder " + *out);
        }
        frames = std::make_unique<CFrameWriter>(folder, model, several, io.err);
        observers.push_back(frames.get());
    }
    if (window) {
        observers.push_back(&window->Observer());
    }
    observers.push_back(&lines);

    CCancelToken stop;
    const CStopSignals stopSignals(stop);
    std::vector<OpenedLink> opened;
    if (serial != nullptr) {
        opened.push_back(OpenSerial(*serial));
    }
    for (const auto& [address, port] : addresses) {
        opened.push_back(OpenTcp(address, port));
    }
    std::vector<NamedSignLink> signs;
    for (const OpenedLink& sign : opened) {
        io.err << "lumivex-cli sign: listening on " << sign.where << std::endl;
        // One sign's lines stay as they always were; several name their sign.
        signs.push_back({sign.link.get(), several ? sign.where : std::string()});
    }
    const SignLoopEnd end =
        window ? window->Run(*opened.front().link, observers, stop, opened.front().where)
               : RunSignLoops(signs, observers, stop);
    if (end.linkFailed) {
        const std::string which = end.sign.empty() ? "the sign's" : end.sign + ":";
        throw CliError(kExitFailure,
                       "lumivex-cli: " + which + " link failed: " + std::strerror(end.error));
    }
    return kExitOk;
}
