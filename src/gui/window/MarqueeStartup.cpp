#include "gui/window/MarqueeStartup.h"

#include <QApplication>
#include <csignal>
#include <cstdlib>

#include "gui/services/MessageService.h"
#include "gui/window/CMarqueeDlg.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"

bool InitialiseSockets() {
    return std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
}

void SetApplicationIdentity() {
    QApplication::setApplicationName(QString::fromLatin1(kProfileApplication));
    QApplication::setOrganizationName(QString::fromLatin1(kProfileOrganisation));
    QApplication::setDesktopFileName(QString::fromLatin1(kProfileApplication));
}

int RunMarquee(IProfileStore& profile, IMessageService& messages, IHelpService& help,
               const QString& messageFile, bool (*initialiseSockets)()) {
    if (!initialiseSockets()) {
        messages.ShowMessage(kSocketInitFailed, MessageIcon::kStop, MessageButtons::kOk);
        return EXIT_FAILURE;
    }
    CMarqueeApp app(profile);
    CMarqueeDlg dialog(PageContext{app, messages, help});
    // However the window closes, the program ends, and every other window of it with it.
    QObject::connect(&dialog, &QDialog::finished, &dialog, [] {
        QApplication::closeAllWindows();
        QApplication::quit();
    });
    dialog.show();
    if (!messageFile.isEmpty()) {
        dialog.OpenMessageFile(messageFile);
    }
    QApplication::exec();
    return EXIT_SUCCESS;
}
