#include "gateway/PanelFrames.h"

#include <QBuffer>
#include <QImage>
#include <QStringList>
#include <algorithm>

#include "encoding/Windows1252.h"
#include "preview/FrameSequence.h"
#include "render/FramePainter.h"

int64_t FramesOf(const MessageDocument& shown) {
    const int32_t model = shown.settings.signModel;
    FrameSequence sequence;
    int64_t frames = 0;
    while (frames < kMaxPanelFrames &&
           !sequence.NextStepRepeats(shown.lines, shown.settings, model)) {
        sequence.Step(shown.lines, shown.settings, model);
        ++frames;
    }
    return std::max<int64_t>(frames, 1);
}

std::string PanelVersion(const MessageDocument& shown) {
    const std::string json = WriteMessageJson(shown, {.indented = false, .everyChoice = true});
    return std::to_string(qHash(QByteArray::fromStdString(json)));
}

QByteArray PngOfFrame(const MessageDocument& shown, int64_t frame) {
    const int32_t model = shown.settings.signModel;
    FrameSequence sequence;
    for (int64_t i = 1; i < frame; ++i) {
        sequence.StepWholeSign(shown.lines, shown.settings, model);
    }
    // The whole sign, 40 characters of a 40-character model included, as it stands in the hall.
    const QImage image = PaintFrame(sequence.StepWholeSign(shown.lines, shown.settings, model),
                                    GetWholeSignArea(model));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

QString ShownText(const MessageDocument& shown) {
    QStringList lines;
    for (const CellLine& line : shown.lines) {
        std::string bytes;
        for (const CharCell& cell : line) {
            bytes += static_cast<char>(cell.character);
        }
        const QString text = QString::fromStdString(Windows1252ToUtf8(bytes)).simplified();
        if (!text.isEmpty()) {
            lines.append(text);
        }
    }
    return lines.join(QStringLiteral(" / "));
}
