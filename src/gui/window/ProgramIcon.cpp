#include "gui/window/ProgramIcon.h"

#include <QString>

// A static library's resources are not linked in unless something refers to them. The macro
// declares a function, so it must stand outside any namespace.
static void InitialiseResources() {
    Q_INIT_RESOURCE(lumivex);
}

QIcon ProgramIcon() {
    InitialiseResources();
    return QIcon(QStringLiteral(":/lumivex/lumivex.png"));
}
