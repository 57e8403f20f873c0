#pragma once

#include <QString>

class IHelpService;
class IMessageService;
class IProfileStore;

// What the operator sees when the process cannot be made ready for socket I/O.
inline constexpr const char* kSocketInitFailed = "Socket initialization failed";

// Makes the process ready for socket I/O: a write to a connection the sign has closed must fail
// with an error, not end the program with SIGPIPE. False when that cannot be arranged.
bool InitialiseSockets();

// Names the program for the desktop and the profile (application "lumivex", organisation
// "Lumivex1.2", desktop file "lumivex") and gives its windows the program icon. Call once the
// QApplication exists.
void SetApplicationIdentity();

// The program from start-up to its end: prepares the sockets (on failure tells the operator and
// returns), then shows the main window, opens the message file when one is named, and runs the
// window until it closes. Returns the process's exit status.
int RunMarquee(IProfileStore& profile, IMessageService& messages, IHelpService& help,
               const QString& messageFile = {}, bool (*initialiseSockets)() = InitialiseSockets);
