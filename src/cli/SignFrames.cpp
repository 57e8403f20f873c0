#include "cli/SignFrames.h"

#include <QDir>
#include <cstdio>
#include <set>
#include <utility>

#include "preview/FrameDots.h"
#include "render/FramePainter.h"

namespace {

QString FramePath(const QString& folder, int64_t message, int64_t frame) {
    char name[64];
    std::snprintf(name, sizeof name, "msg-%04lld-frame-%03lld.png", static_cast<long long>(message),
                  static_cast<long long>(frame));
    return QDir(folder).filePath(QString::fromLatin1(name));
}

}  // namespace

FramesWritten WriteMessageFrames(const DecodedMessage& message, int32_t modelIndex,
                                 const QString& folder, int64_t messageNumber) {
    FramesWritten written;
    MessageSettings settings = message.settings;
    settings.signModel = modelIndex;
    // The animation's whole state: the scroll step and the blink phase before a repaint. Frames
    // follow from it alone, so the first state met again closes the cycle.
    std::set<std::pair<int64_t, bool>> shown;
    int64_t scrollStep = 0;
    bool blinkOn = true;
    std::vector<LitDot> dots;
    while (shown.insert({scrollStep, blinkOn}).second) {
        if (written.count == kMaxFramesPerMessage) {
            written.cut = true;
            break;
        }
        blinkOn = !blinkOn;
        ComputeFrameDots(message.lines, settings, modelIndex, scrollStep, blinkOn, ViewPosition{},
                         dots);
        const QString file = FramePath(folder, messageNumber, written.count + 1);
        if (!PaintFrame(dots, GetAreaSize(modelIndex)).save(file, "PNG")) {
            written.failedFile = file;
            break;
        }
        ++written.count;
    }
    return written;
}
