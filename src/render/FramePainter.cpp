#include "render/FramePainter.h"

#include <QColor>
#include <QPainter>
#include <algorithm>
#include <utility>

namespace {

// A circle 4 pixels across, without antialiasing, is its square less the four corner pixels.
// QPainter's own ellipse at this size comes out as a 4 x 3 block, so the disc is drawn once into a
// tile with black corners; dots never overlap and lie on black, so each is one copy of the tile.
QImage DotTile(Rgb colour) {
    QImage tile(kDotPixels, kDotPixels, QImage::Format_RGB32);
    tile.fill(Qt::black);
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor fill(RedOf(colour), GreenOf(colour), BlueOf(colour));
    painter.fillRect(1, 0, kDotPixels - 2, kDotPixels, fill);
    painter.fillRect(0, 1, kDotPixels, kDotPixels - 2, fill);
    return tile;
}

}  // namespace

void PaintDots(QImage& image, const std::vector<LitDot>& dots) {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    std::vector<std::pair<Rgb, QImage>> tiles;  // a frame holds three colours, or a few more
    for (const LitDot& dot : dots) {
        auto tile = std::find_if(tiles.begin(), tiles.end(),
                                 [&](const auto& known) { return known.first == dot.colour; });
        if (tile == tiles.end()) {
            tile = tiles.insert(tiles.end(), {dot.colour, DotTile(dot.colour)});
        }
        painter.drawImage(dot.x, dot.y, tile->second);
    }
}

QImage PaintFrame(const std::vector<LitDot>& dots, AreaSize area) {
    QImage image(area.width, area.height, QImage::Format_RGB32);
    image.fill(Qt::black);
    PaintDots(image, dots);
    return image;
}
