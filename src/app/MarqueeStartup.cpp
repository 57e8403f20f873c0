#include "app/MarqueeStartup.h"

#include <QApplication>
#include <csignal>
#include <cstdlib>

#include "app/CMarqueeApp.h"
#include "app/CMarqueeDlg.h"
#include "app/ProgramIcon.h"
#include "platform/MessageService.h"
#include "platform/ProfileStore.h"

bool InitialiseSockets() {
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

void SetApplicationIdentity() {
    QApplication::setApplicationName(QString::fromLatin1(kProfileApplication));
    QApplication::setOrganizationName(QString::fromLatin1(kProfileOrganisation));
    QApplication::setDesktopFileName(QString::fromLatin1(kProfileApplication));
    QApplication::setWindowIcon(ProgramIcon());
}

int RunMarquee(IProfileStore& profile, IMessageService& messages, IHelpService& help,
               bool (*initialiseSockets)()) {
    if (!initialiseSockets()) {
        messages.ShowMessage(kSocketInitFailed, MessageIcon::kStop, MessageButtons::kOk);
        return EXIT_FAILURE;
    }
    CMarqueeApp app(profile);
    app.SetMessageService(messages);
    CMarqueeDlg dialog(app, messages, help);
    // The window's result does not matter: however it closes, the program ends.
    dialog.exec();
    return EXIT_SUCCESS;
}
