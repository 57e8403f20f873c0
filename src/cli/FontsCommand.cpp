#include <QString>
#include <algorithm>
#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "preview/LedFont.h"
#include "render/FramePainter.h"

namespace {

constexpr const char* kFontsHelp = R"(Usage: lumivex-cli fonts --out FILE

Writes one PNG sheet of the LED fonts for review: the 94 glyphs from "!" to "~" of each of the
five character sizes, one band per size from size 1 down to size 5, sixteen glyphs to a row. Every
glyph stands in its whole character cell; the cell's dark dots are shown dimmed.

Exit status: 0 on success, 2 for bad input, 1 for other failures.
)";

constexpr int32_t kGlyphsPerRow = 16;
constexpr int32_t kCellSpacing = 2;  // dots between neighbouring cells
constexpr int32_t kBandSpacing = 6;  // dots between the bands of two sizes
constexpr Rgb kLitColour = kYellow;
constexpr Rgb kDarkColour = MakeRgb(48, 48, 48);

struct Band {
    int32_t size;
    int32_t cellColumns;  // dots
    int32_t cellRows;
};

Band BandOf(int32_t size) {
    const CellMetrics metrics = GetCellMetrics(size);
    return {size, kBlockDotsAcross * metrics.blocksAcross, kBlockCellRows * metrics.blocksDown};
}

int32_t BandRows(const Band& band) {
    const int32_t glyphRows = (kLastGlyphCode - kFirstGlyphCode + kGlyphsPerRow) / kGlyphsPerRow;
    return glyphRows * (band.cellRows + kCellSpacing);
}

// Dots of one band in sheet dot coordinates, starting at dot row `top`.
void AppendBand(const Band& band, int32_t top, std::vector<LitDot>& dots) {
    for (int32_t code = kFirstGlyphCode; code <= kLastGlyphCode; ++code) {
        const int32_t index = code - kFirstGlyphCode;
        const int32_t left = (index % kGlyphsPerRow) * (band.cellColumns + kCellSpacing);
        const int32_t cellTop = top + (index / kGlyphsPerRow) * (band.cellRows + kCellSpacing);
        const Glyph glyph = *GetGlyph(band.size, code);
        const int32_t glyphTop = cellTop + band.cellRows - static_cast<int32_t>(glyph.rows.size());
        for (int32_t row = 0; row < band.cellRows; ++row) {
            for (int32_t column = 0; column < band.cellColumns; ++column) {
                const int32_t glyphRow = cellTop + row - glyphTop;
                const bool lit = glyphRow >= 0 && glyph.IsLit(glyphRow, column);
                dots.push_back({kDotPixels * (left + column), kDotPixels * (cellTop + row),
                                lit ? kLitColour : kDarkColour});
            }
        }
    }
}

}  // namespace

int RunFonts(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, ArgRules{{"--out"}, 0});
    if (args.help) {
        io.out << kFontsHelp;
        return kExitOk;
    }
    const std::string* out = args.Find("--out");
    if (out == nullptr || out->empty()) {
        FailInput("fonts needs --out FILE (see --help)");
    }
    std::vector<LitDot> dots;
    int32_t top = 0;
    int32_t widest = 0;
    for (int32_t size = 1; size <= kNarrowSize; ++size) {
        const Band band = BandOf(size);
        AppendBand(band, top, dots);
        top += BandRows(band) + kBandSpacing;
        widest = std::max(widest, kGlyphsPerRow * (band.cellColumns + kCellSpacing));
    }
    const AreaSize sheet{kDotPixels * widest, kDotPixels * (top - kBandSpacing)};
    if (!PaintFrame(dots, sheet).save(QString::fromStdString(*out), "PNG")) {
        throw CliError(kExitFailure, "lumivex-cli: cannot write " + *out);
    }
    return kExitOk;
}
