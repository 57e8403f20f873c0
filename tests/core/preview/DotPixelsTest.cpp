#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "preview/DotPixels.h"
#include "preview/PngWriter.h"

namespace {

// The shape the preview window and the gateway's pictures share: each dot its 4 x 4 square less
// the corners, in its colour, cut where the area ends. (The gateway's test reads its PNG files back
// with Qt's reader and compares them with the preview's image.)
TEST(DotPixels, EachDotIsItsSquareLessTheCornersCutAtTheEdges) {
    const Rgb orange = MakeRgb(255, 128, 0);
    struct Case {
        const char* what;
        AreaSize area;
        std::vector<LitDot> dots;
        std::vector<std::string> rows;  // '.' black, 'r' red, 'o' orange, 'g' green
    };
    const Case cases[] = {
        {"one black pixel", {1, 1}, {}, {"."}},
        {"one dot", {6, 4}, {{1, 0, kRed}}, {"..rr..", ".rrrr.", ".rrrr.", "..rr.."}},
        {"two colours side by side, one cut by the right edge",
         {7, 4},
         {{0, 0, kGreen}, {4, 0, orange}},
         {".gg..oo", "ggggooo", "ggggooo", ".gg..oo"}},
        {"cut by the top and left edges", {3, 3}, {{-1, -1, kRed}}, {"rrr", "rrr", "rr."}},
    };
    for (const Case& c : cases) {
        const FramePixels painted = PaintFramePixels(c.dots, c.area);
        ASSERT_EQ(painted.argb.size(), c.rows.size() * c.rows[0].size()) << c.what;
        for (size_t y = 0; y < c.rows.size(); ++y) {
            for (size_t x = 0; x < c.rows[y].size(); ++x) {
                const char key = c.rows[y][x];
                const Rgb colour = key == 'r' ? kRed : key == 'g' ? kGreen : orange;
                EXPECT_EQ(painted.argb[y * c.rows[y].size() + x],
                          key == '.' ? kOpaqueBlack : PixelOf(colour))
                    << c.what << " at " << x << "," << y;
            }
        }
    }
}

TEST(DotPixels, APngNeedsAnAreaWithItsPixels) {
    EXPECT_THROW(EncodePng({{0, 4}, {}}), std::invalid_argument);
    EXPECT_THROW(EncodePng({{2, 2}, {kOpaqueBlack}}), std::invalid_argument);
    EXPECT_EQ(EncodePng(PaintFramePixels({}, {1, 1})).substr(1, 3), "PNG");
}

}  // namespace
