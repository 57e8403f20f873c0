#include "cli/SignFrames.h"

#include <QDir>
#include <cstdio>

#include "preview/FrameSequence.h"
#include "preview/SignModel.h"
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
    // One whole cycle of the animation: until the next frame, and all after it, would repeat.
    FrameSequence sequence;
    while (!sequence.NextStepRepeats(message.lines, settings, modelIndex)) {
        if (written.count == kMaxFramesPerMessage) {
            written.cut = true;
            break;
        }
        sequence.Step(message.lines, settings, modelIndex);
        const QString file = FramePath(folder, messageNumber, written.count + 1);
        if (!PaintFrame(sequence.Dots(), GetAreaSize(modelIndex)).save(file, "PNG")) {
            written.failedFile = file;
            break;
        }
        ++written.count;
    }
    return written;
}
