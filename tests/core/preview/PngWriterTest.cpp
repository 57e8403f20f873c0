#include <gtest/gtest.h>
#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "preview/DotPixels.h"
#include "preview/PngWriter.h"

namespace {

uint32_t BigEndian(const std::string& bytes, size_t at) {
    return uint32_t{static_cast<uint8_t>(bytes[at])} << 24 |
           uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16 |
           uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8 | static_cast<uint8_t>(bytes[at + 3]);
}

// A PNG read back as a decoder reads it: each chunk's CRC checked, the header's fields taken, the
// rows inflated and unfiltered (the writer's rows are all unfiltered) into 0xffRRGGBB words.
FramePixels Decode(const std::string& png) {
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    FramePixels frame{{0, 0}, {}};
    std::string idat;
    std::vector<std::string> types;
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = BigEndian(png, at);
        const std::string type = png.substr(at + 4, 4);
        const std::string data = png.substr(at + 8, length);
        const auto* checked = reinterpret_cast<const Bytef*>(png.data() + at + 4);
        EXPECT_EQ(BigEndian(png, at + 8 + length), crc32(0, checked, length + 4)) << type;
        types.push_back(type);
        if (type == "IHDR") {
            frame.area = {static_cast<int32_t>(BigEndian(data, 0)),
                          static_cast<int32_t>(BigEndian(data, 4))};
            EXPECT_EQ(data.substr(8), std::string("\x08\x02\x00\x00\x00", 5)) << "8-bit RGB";
        } else if (type == "IDAT") {
            idat += data;
        }
        at += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    const auto width = static_cast<size_t>(frame.area.width);
    const auto height = static_cast<size_t>(frame.area.height);
    std::string rows(height * (1 + 3 * width), '\0');
    uLongf size = rows.size();
    EXPECT_EQ(uncompress(reinterpret_cast<Bytef*>(rows.data()), &size,
                         reinterpret_cast<const Bytef*>(idat.data()), idat.size()),
              Z_OK);
    EXPECT_EQ(size, rows.size());
    for (size_t y = 0; y < height; ++y) {
        const size_t row = y * (1 + 3 * width);
        EXPECT_EQ(rows[row], '\0') << "row " << y << " unfiltered";
        for (size_t x = 0; x < width; ++x) {
            const auto* rgb = reinterpret_cast<const uint8_t*>(rows.data() + row + 1 + 3 * x);
            frame.argb.push_back(kOpaqueBlack | uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 |
                                 rgb[2]);
        }
    }
    return frame;
}

// Each dot is its 4 x 4 square less the corners, cut where the area ends; the PNG holds exactly
// those pixels, on the smallest area and the largest.
TEST(PngWriter, HoldsTheFramesPixelsAsADecoderReadsThem) {
    const Rgb orange = MakeRgb(255, 128, 0);
    struct Case {
        const char* what;
        AreaSize area;
        std::vector<LitDot> dots;
        std::vector<std::string>
            rows;  // '.' black, 'r' red, 'o' orange, 'g' green; empty: unchecked
    };
    std::vector<LitDot> everyDot;
    for (int32_t y = 0; y < kMaxAreaHeight; y += kDotPixels) {
        for (int32_t x = 0; x < kMaxAreaWidth; x += kDotPixels) {
            everyDot.push_back({x, y, (x / 24) % 2 ? kGreen : orange});
        }
    }
    const Case cases[] = {
        {"one black pixel", {1, 1}, {}, {"."}},
        {"one dot", {6, 4}, {{1, 0, kRed}}, {"..rr..", ".rrrr.", ".rrrr.", "..rr.."}},
        {"two colours side by side, one cut by the right edge",
         {7, 4},
         {{0, 0, kGreen}, {4, 0, orange}},
         {".gg..oo", "ggggooo", "ggggooo", ".gg..oo"}},
        {"cut by the top and left edges", {3, 3}, {{-1, -1, kRed}}, {"rrr", "rrr", "rr."}},
        {"every dot of the largest area", {kMaxAreaWidth, kMaxAreaHeight}, everyDot, {}},
    };
    for (const Case& c : cases) {
        const FramePixels painted = PaintFramePixels(c.dots, c.area);
        const FramePixels decoded = Decode(EncodePng(painted));
        EXPECT_EQ(decoded.area, c.area) << c.what;
        EXPECT_EQ(decoded.argb, painted.argb) << c.what;
        for (size_t y = 0; y < c.rows.size(); ++y) {
            for (size_t x = 0; x < static_cast<size_t>(c.area.width); ++x) {
                const char key = x < c.rows[y].size() ? c.rows[y][x] : '.';
                const Rgb colour = key == 'r' ? kRed : key == 'g' ? kGreen : orange;
                const uint32_t expected = key == '.' ? kOpaqueBlack : PixelOf(colour);
                EXPECT_EQ(painted.argb[y * static_cast<size_t>(c.area.width) + x], expected)
                    << c.what << " at " << x << "," << y;
            }
        }
    }
}

TEST(PngWriter, RefusesAnAreaWithoutItsPixels) {
    EXPECT_THROW(EncodePng({{0, 4}, {}}), std::invalid_argument);
    EXPECT_THROW(EncodePng({{2, 2}, {kOpaqueBlack}}), std::invalid_argument);
}

}  // namespace
