#pragma once

#include <QIcon>

// The program's icon: an LED dot-matrix sign. From the program's resources, so no image plugin
// beyond Qt's own PNG support is needed. The application's window icon once it has been given one.
QIcon ProgramIcon();
