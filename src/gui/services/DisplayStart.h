#pragma once

#include <QApplication>
#include <memory>
#include <string>

// Whether a graphical session is named at all: DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM set and
// not empty, or a -platform option among the arguments (offscreen, vnc, ... need no display).
bool HasDisplay(int argc, char** argv);

// Makes the application. Qt ends the process with an abort when its platform cannot start (a
// display that does not answer, a platform that does not exist), after lines that suggest
// reinstalling; here that ends it with one line on standard error, `failurePrefix` followed by
// Qt's own reason, and exit status `exitCode`. After a good start Qt's messages go out as usual.
std::unique_ptr<QApplication> StartApplication(int& argc, char** argv,
                                               const std::string& failurePrefix, int exitCode);
