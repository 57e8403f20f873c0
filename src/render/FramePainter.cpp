#include "render/FramePainter.h"

#include <span>

#include "preview/DotPixels.h"

// The pixels are the core's, which the gateway's pictures share: RGB32 keeps each row as the
// core's 0xffRRGGBB words with no padding, so they are painted in place.
void PaintDots(QImage& image, const std::vector<LitDot>& dots) {
    if (image.format() != QImage::Format_RGB32) {
        image.convertTo(QImage::Format_RGB32);
    }
    const AreaSize area{image.width(), image.height()};
    auto* bits = reinterpret_cast<uint32_t*>(image.bits());
    PaintDotPixels(std::span(bits, static_cast<size_t>(image.sizeInBytes()) / sizeof(uint32_t)),
                   area, dots);
}

QImage PaintFrame(const std::vector<LitDot>& dots, AreaSize area) {
    QImage image(area.width, area.height, QImage::Format_RGB32);
    image.fill(Qt::black);
    PaintDots(image, dots);
    return image;
}
