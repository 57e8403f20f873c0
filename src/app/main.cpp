// lumivex: the program's window, for operators of the signs.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "gui/services/DisplayStart.h"
#include "gui/services/HelpWindowService.h"
#include "gui/services/MessageBoxService.h"
#include "gui/window/HelpFile.h"
#include "gui/window/MarqueeStartup.h"
#include "settings/ProfileStore.h"

namespace {

constexpr int kExitBadArguments = 2;

constexpr const char* kUsage = R"(Usage: lumivex [--help | --version] [Qt options] [FILE]

Opens the Lumivex window: compose a message for a Lumivex LED sign, see its command string,
preview it and send it over a serial port or TCP. It needs a graphical display (X11 or Wayland).

  FILE         a message file to open on the Messages page (JSON, as 'lumivex-cli encode'
               reads it and the page's "Save Message..." writes it)
  --help       show this text
  --version    show the program's version

The settings are kept in ~/.config/Lumivex1.2/lumivex.conf; each page's Help button explains it.
lumivex-cli offers the encoders, the links and the preview to scripts, with no display.
)";

// The message file named on the command line once Qt has taken its own options, or an empty
// string. An argument after "--" is a file even when it begins with "-".
bool FindMessageFile(const QStringList& arguments, QString& file) {
    bool optionsEnded = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1Char('-'))) {
            continue;  // left to Qt, as before files were taken
        }
        if (!file.isEmpty()) {
            std::fprintf(stderr, "lumivex: one FILE at most, not also \"%s\" (see --help)\n",
                         argument.toLocal8Bit().constData());
            return false;
        }
        file = argument;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return EXIT_SUCCESS;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("lumivex %s\n", LUMIVEX_VERSION);
            return EXIT_SUCCESS;
        }
    }
    if (!HasDisplay(argc, argv)) {
        std::fputs(
            "lumivex: no graphical display (DISPLAY and WAYLAND_DISPLAY are not set); "
            "start it in a desktop session, or use lumivex-cli\n",
            stderr);
        return EXIT_FAILURE;
    }
    const std::unique_ptr<QApplication> application =
        StartApplication(argc, argv, "lumivex: cannot open a window: ", EXIT_FAILURE);
    QString messageFile;
    if (!FindMessageFile(QApplication::arguments(), messageFile)) {
        return kExitBadArguments;
    }
    SetApplicationIdentity();
    CMessageBoxService messages;
    CHelpWindowService help(FindHelpFile(QApplication::applicationDirPath()));
    CProfileStore profile;
    return RunMarquee(profile, messages, help, messageFile);
}
