#include "cli/SignFrames.h"

#include <QDir>
#include <cstdio>
#include <set>
#include <tuple>

#include "preview/FrameDots.h"
#include "preview/PreviewLayout.h"
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
    // A frame shows the scroll shift in a blink phase; what follows it depends on the scroll
    // step it leaves. Once the three come round again, so does everything after them.
    std::set<std::tuple<int64_t, int64_t, bool>> shown;
    int64_t scrollStep = 0;
    bool blinkOn = true;
    std::vector<LitDot> dots;
    while (true) {
        blinkOn = !blinkOn;
        int64_t nextStep = scrollStep;
        const int64_t shift =
            LayOutMessage(message.lines, settings, GetSignModel(modelIndex), nextStep).scrollShift;
        if (!shown.insert({shift, nextStep, blinkOn}).second) {
            break;
        }
        if (written.count == kMaxFramesPerMessage) {
            written.cut = true;
            break;
        }
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
