#pragma once

#include <QString>

// The help file's name, in help/ beside the program in a build tree and in share/lumivex/help of
// an installation.
inline constexpr const char* kHelpFileName = "lumivex.html";

// The program's help file: beside the executable first, then where an installation keeps it
// (relative to the executable, then the configured prefix). Empty when there is none.
QString FindHelpFile(const QString& executableDir);
