#include "gui/services/DisplayStart.h"

#include <unistd.h>

#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

namespace {

bool IsSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// While the application is made, Qt's messages are held back: a fatal one ends the process with
// the warnings before it as the reason.
QtMessageHandler g_previousHandler = nullptr;
std::vector<std::pair<QtMsgType, QString>> g_heldMessages;
std::string g_failurePrefix;
int g_nFailureExitCode = EXIT_FAILURE;

void HoldQtMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& text) {
    if (type != QtFatalMsg) {
        g_heldMessages.emplace_back(type, text);
        return;
    }
    QStringList reasons;
    for (const auto& [heldType, heldText] : g_heldMessages) {
        if (heldType == QtWarningMsg || heldType == QtCriticalMsg) {
            reasons.append(heldText.simplified());
        }
    }
    const QString reason = reasons.isEmpty() ? text.simplified() : reasons.join("; ");
    std::fprintf(stderr, "%s%s\n", g_failurePrefix.c_str(), reason.toLocal8Bit().constData());
    std::fflush(stderr);
    _exit(g_nFailureExitCode);
}

}  // namespace

bool HasDisplay(int argc, char** argv) {
    if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY") || IsSet("QT_QPA_PLATFORM")) {
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with("-platform") || argument.starts_with("--platform")) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<QApplication> StartApplication(int& argc, char** argv,
                                               const std::string& failurePrefix, int exitCode) {
    g_failurePrefix = failurePrefix;
    g_nFailureExitCode = exitCode;
    g_previousHandler = qInstallMessageHandler(HoldQtMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(g_previousHandler);
    for (const auto& [type, text] : g_heldMessages) {
        g_previousHandler(type, QMessageLogContext(), text);
    }
    g_heldMessages.clear();
    return application;
}
