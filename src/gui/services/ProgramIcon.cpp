#include "gui/services/ProgramIcon.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QString>

// A static library's resources are not linked in unless something refers to them. The macro
// declares a function, so it must stand outside any namespace.
static void InitialiseResources() {
    Q_INIT_RESOURCE(lumivex);
}

QIcon ProgramIcon() {
    // Once the application carries the icon, it is this one: a second read would cost start-up
    // the decoding of the 256-pixel image again.
    if (!QGuiApplication::windowIcon().isNull()) {
        return QGuiApplication::windowIcon();
    }
    InitialiseResources();
    // Read as PNG and nothing else: left to guess, Qt loads every image plugin at start-up to ask
    // each one whether it can read the file.
    QImageReader reader(QStringLiteral(":/lumivex/lumivex.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QIcon(QPixmap::fromImage(reader.read()));
}
