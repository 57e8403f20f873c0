// lumivex: the program's window, for operators of the signs.
#include <QApplication>

#include "gui/services/HelpWindowService.h"
#include "gui/services/MessageBoxService.h"
#include "gui/window/HelpFile.h"
#include "gui/window/MarqueeStartup.h"
#include "settings/ProfileStore.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    SetApplicationIdentity();
    CMessageBoxService messages;
    CHelpWindowService help(FindHelpFile(QApplication::applicationDirPath()));
    CProfileStore profile;
    return RunMarquee(profile, messages, help);
}
