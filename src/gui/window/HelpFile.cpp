#include "gui/window/HelpFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

QString FindHelpFile(const QString& executableDir) {
    const QDir beside(executableDir);
    const QStringList candidates = {
        beside.filePath(QStringLiteral("help/") + QLatin1String(kHelpFileName)),
        beside.filePath(QStringLiteral(LUMIVEX_HELP_FROM_BIN "/") + QLatin1String(kHelpFileName)),
        QDir(QStringLiteral(LUMIVEX_HELP_INSTALL_DIR)).filePath(QLatin1String(kHelpFileName)),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo(candidate).isFile()) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
}
