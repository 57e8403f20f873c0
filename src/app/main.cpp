// lumivex: the program's window, for operators of the signs.
#include <QApplication>

#include "app/HelpFile.h"
#include "app/MarqueeStartup.h"
#include "platform/HelpWindowService.h"
#include "platform/MessageBoxService.h"
#include "platform/ProfileStore.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    SetApplicationIdentity();
    CMessageBoxService messages;
    CHelpWindowService help(FindHelpFile(QApplication::applicationDirPath()));
    CProfileStore profile;
    return RunMarquee(profile, messages, help);
}
