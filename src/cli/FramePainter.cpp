#include "cli/FramePainter.h"

#include <QColor>
#include <QPainter>

// A circle 4 pixels across, without antialiasing, is its square less the four corner pixels.
// QPainter's own ellipse at this size comes out as a 4 x 3 block, so the disc is filled as two
// bars.
void PaintDots(QImage& image, const std::vector<LitDot>& dots) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const LitDot& dot : dots) {
        const QColor colour(RedOf(dot.colour), GreenOf(dot.colour), BlueOf(dot.colour));
        painter.fillRect(dot.x + 1, dot.y, kDotPixels - 2, kDotPixels, colour);
        painter.fillRect(dot.x, dot.y + 1, kDotPixels, kDotPixels - 2, colour);
    }
}

QImage PaintFrame(const std::vector<LitDot>& dots, AreaSize area) {
    QImage image(area.width, area.height, QImage::Format_RGB32);
    image.fill(Qt::black);
    PaintDots(image, dots);
    return image;
}
