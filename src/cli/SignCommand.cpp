#include <QDir>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/SignFrames.h"
#include "cli/SignSession.h"
#include "cli/SignWindowSession.h"
#include "preview/SignModel.h"
#include "transport/CCancelToken.h"
#include "transport/CSignPtyLink.h"
#include "transport/CSignTcpListener.h"

namespace {

constexpr const char* kSignHelp =
    R"(Usage: lumivex-cli sign (--tcp [ADDR:]PORT | --serial LINK) [--model N] [--out DIR]
                        [--window]

Plays a sign: takes command strings as a sign does and shows what it makes of them.

  --tcp [ADDR:]PORT  listens on ADDR (default 127.0.0.1) at PORT; everything one connection sends,
                     up to the peer's close, is one message, and connections are taken one at a
                     time. A sign listens at 49999, where the program and 'lumivex-cli send
                     --port ethernet' connect. PORT 0 takes a free port.
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
and "truncated":true marks a message cut at 1 MiB. The line comes once the message's frames
are written. Its warnings go to standard error, at most 100 a message, as
  message 1, offset N: TEXT
  message 1: N more warnings left out

Runs until interrupted (Ctrl+C or SIGTERM), then closes the link, removes LINK and exits 0.
Exit status: 2 for bad arguments, a port in use, a LINK that exists or --window without a display;
1 for other failures.
)";

constexpr Ipv4Octets kDefaultListenAddress = {127, 0, 0, 1};
constexpr int64_t kMaxPort = 65535;

// The token the signal handlers cancel; the sign's waits watch it.
CCancelToken* g_pStop = nullptr;

extern "C" void OnStopSignal(int) {
    const int savedErrno = errno;
    if (g_pStop != nullptr) {
        g_pStop->Cancel();
    }
    errno = savedErrno;
}

// Ctrl+C and SIGTERM end the sign cleanly while the handlers are installed.
class CStopSignals {
public:
    explicit CStopSignals(CCancelToken& stop) {
        g_pStop = &stop;
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previousInt);
        sigaction(SIGTERM, &action, &m_previousTerm);
        // A reader of the output that goes away makes the next line fail, not the process die.
        std::signal(SIGPIPE, SIG_IGN);
    }
    ~CStopSignals() {
        sigaction(SIGINT, &m_previousInt, nullptr);
        sigaction(SIGTERM, &m_previousTerm, nullptr);
        g_pStop = nullptr;
    }
    CStopSignals(const CStopSignals&) = delete;
    CStopSignals& operator=(const CStopSignals&) = delete;

private:
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
};

class CJsonLinePrinter : public ISignObserver {
public:
    void OnSignMessage(const SignMessage& message) override {
        WriteOutputLine(SignMessageJson(message));
    }
};

class CWarningPrinter : public ISignObserver {
public:
    void OnSignMessage(const SignMessage& message) override {
        if (message.truncated) {
            std::fprintf(stderr, "message %lld: cut at %zu bytes; the rest was dropped\n",
                         static_cast<long long>(message.number), message.bytes.size());
        }
        for (const DecodeWarning& warning : message.decoded.warnings) {
            std::fprintf(stderr, "message %lld, offset %zu: %s\n",
                         static_cast<long long>(message.number), warning.offset,
                         warning.text.c_str());
        }
        if (message.decoded.warningsLeftOut > 0) {
            std::fprintf(stderr, "message %lld: %zu more warnings left out\n",
                         static_cast<long long>(message.number), message.decoded.warningsLeftOut);
        }
    }
};

class CFrameWriter : public ISignObserver {
public:
    CFrameWriter(QString folder, int32_t model) : m_strFolder(std::move(folder)), m_nModel(model) {}

    void OnSignMessage(const SignMessage& message) override {
        const auto* decoded = std::get_if<DecodedMessage>(&message.decoded.content);
        if (decoded == nullptr) {
            return;
        }
        const FramesWritten written =
            WriteMessageFrames(*decoded, m_nModel, m_strFolder, message.number);
        const auto number = static_cast<long long>(message.number);
        if (!written.failedFile.isEmpty()) {
            std::fprintf(stderr, "message %lld: cannot write %s\n", number,
                         written.failedFile.toLocal8Bit().constData());
        } else if (written.cut) {
            std::fprintf(stderr, "message %lld: frames stop at %lld\n", number,
                         static_cast<long long>(kMaxFramesPerMessage));
        }
    }

private:
    QString m_strFolder;
    int32_t m_nModel;
};

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

OpenedLink OpenTcp(const std::string& option) {
    Ipv4Octets address{};
    uint16_t port = 0;
    ParseTcpOption(option, address, port);
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

}  // namespace

int RunSign(const std::vector<std::string>& arguments) {
    const Args args =
        ParseArgs(arguments, ArgRules{{"--tcp", "--serial", "--model", "--out"}, 0, {"--window"}});
    if (args.help) {
        std::fputs(kSignHelp, stdout);
        return kExitOk;
    }
    const std::string* tcp = args.Find("--tcp");
    const std::string* serial = args.Find("--serial");
    if ((tcp == nullptr) == (serial == nullptr)) {
        FailInput("sign takes either --tcp [ADDR:]PORT or --serial LINK (see --help)");
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
    CWarningPrinter warnings;
    std::unique_ptr<CFrameWriter> frames;
    CJsonLinePrinter lines;
    std::vector<ISignObserver*> observers{&warnings};
    if (const std::string* out = args.Find("--out")) {
        const QString folder = QString::fromStdString(*out);
        if (out->empty() || !QDir().mkpath(folder)) {
            throw CliError(kExitFailure, "lumivex-cli: cannot create the folder " + *out);
        }
        frames = std::make_unique<CFrameWriter>(folder, model);
        observers.push_back(frames.get());
    }
    if (window) {
        observers.push_back(&window->Observer());
    }
    observers.push_back(&lines);

    CCancelToken stop;
    const CStopSignals stopSignals(stop);
    const OpenedLink opened = tcp != nullptr ? OpenTcp(*tcp) : OpenSerial(*serial);
    std::fprintf(stderr, "lumivex-cli sign: listening on %s\n", opened.where.c_str());
    if (window) {
        window->Run(*opened.link, observers, stop, opened.where);
    } else {
        RunSignLoop(*opened.link, observers, stop);
    }
    return kExitOk;
}
