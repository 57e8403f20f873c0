// lumivex-gateway: keeps the plant's signs showing what its systems ask for over HTTP and MQTT.
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "gateway/GatewayService.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;

constexpr const char* kUsage =
    "Usage: lumivex-gateway [--config FILE] [--defaults] [--check]\n"
    "\n"
    "Keeps every named sign showing its desired message, set over HTTP, MQTT and Modbus.\n"
    "\n"
    "  --config FILE  the gateway's configuration (default: gateway.json beside signs.json)\n"
    "  --defaults     run with the defaults when the configuration file is missing\n"
    "  --check        check the configuration and signs.json, print the Modbus map, then exit\n"
    "\n"
    "SIGTERM ends it; SIGHUP reads signs.json and its schedules again.\n"
    "  --help         show this text\n"
    "  --version      show the version\n";

int g_signalPipe[2] = {-1, -1};

void OnSignal(int signal) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = write(g_signalPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QString configPath = DefaultGatewayConfigPath();
    bool checkOnly = false;
    bool defaults = false;
    const QStringList arguments = application.arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == "--config" && i + 1 < arguments.size()) {
            configPath = arguments[++i];
        } else if (argument == "--check") {
            checkOnly = true;
        } else if (argument == "--defaults") {
            defaults = true;
        } else if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (argument == "--version") {
            std::puts("lumivex-gateway " LUMIVEX_VERSION);
            return kExitOk;
        } else {
            std::fprintf(stderr, "lumivex-gateway: unknown argument \"%s\"\n%s",
                         argument.toLocal8Bit().constData(), kUsage);
            return kExitBadInput;
        }
    }

    std::unique_ptr<GatewayService> service;
    try {
        service = std::make_unique<GatewayService>(configPath, defaults);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumivex-gateway: %s\n", error.what());
        return kExitBadInput;
    }
    if (checkOnly) {
        std::printf("%s\n%s", service->Summary().c_str(), service->ModbusMapText().c_str());
        return kExitOk;
    }

    std::signal(SIGPIPE, SIG_IGN);
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) {
        std::perror("lumivex-gateway: socketpair");
        return kExitFailure;
    }
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &application, [&] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = read(g_signalPipe[0], &byte, 1);
        if (byte == SIGHUP) {
            service->Reload();  // systemctl reload
        } else {
            QCoreApplication::quit();
        }
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    std::string error;
    // Another live gateway of this name on the broker: this one ends, as systemd is to know.
    service->SetNameHeld([](const std::string&) { QCoreApplication::exit(kExitFailure); });
    if (!service->Start(error)) {
        std::fprintf(stderr, "lumivex-gateway: %s\n", error.c_str());
        return kExitFailure;
    }
    const int code = application.exec();
    const bool quiet = service->Stop();
    std::fputs("lumivex-gateway: stopped\n", stderr);
    if (!quiet) {
        // Everything is kept; a thread still held by a slow client or a silent broker would
        // hold the exit for as long as it waits.
        std::fflush(stderr);
        _exit(code);
    }
    return code;
}
