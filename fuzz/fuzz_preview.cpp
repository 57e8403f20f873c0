// Any cells, any settings, any scroll state and view: the layout pass and the frame dots must not
// crash, must do work bounded by the message (not by the start line or column), and must list only
// dots on the 4-pixel grid inside the model's drawing area, each at most once.
#include <fuzzer/FuzzedDataProvider.h>

#include <bitset>
#include <cstdlib>
#include <vector>

#include "preview/FrameDots.h"
#include "preview/SignModel.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A grid of the dot squares rather than a sort of the dots: the sort's comparisons, each traced
// for the fuzzer, took more time than the code under test.
void CheckDots(const std::vector<LitDot>& dots, AreaSize area) {
    constexpr int32_t kColumns = kMaxAreaWidth / kDotPixels;
    std::bitset<kColumns*(kMaxAreaHeight / kDotPixels)> lit;
    for (const LitDot& dot : dots) {
        Require(dot.x >= 0 && dot.y >= 0);
        Require(dot.x + kDotPixels <= area.width && dot.y + kDotPixels <= area.height);
        Require(dot.x % kDotPixels == 0 && dot.y % kDotPixels == 0);
        const size_t square =
            static_cast<size_t>(dot.y / kDotPixels * kColumns + dot.x / kDotPixels);
        Require(!lit.test(square));
        lit.set(square);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    MessageSettings s;
    s.position = input.ConsumeIntegralInRange<int32_t>(-1, 3);
    s.effect = input.ConsumeIntegralInRange<int32_t>(-1, 5);
    s.line = input.ConsumeIntegral<int32_t>();
    s.column = input.ConsumeIntegral<int32_t>();
    const int32_t model = input.ConsumeIntegralInRange<int32_t>(-1, kSignModelCount);
    int64_t scrollStep = input.ConsumeIntegral<int64_t>();
    const ViewPosition view{input.ConsumeIntegralInRange<int32_t>(-30, 30),
                            input.ConsumeIntegralInRange<int32_t>(-10, 10)};
    bool blinkOn = input.ConsumeBool();
    const int frames = input.ConsumeIntegralInRange<int>(1, 4);

    std::vector<CellLine> lines;
    if (input.ConsumeBool()) {
        lines.emplace_back();
    }
    while (input.remaining_bytes() > 0 && lines.size() < 64) {
        if (lines.empty() || input.ConsumeIntegralInRange<int>(0, 15) == 0) {
            lines.emplace_back();
            continue;
        }
        CharCell cell;
        cell.size = input.ConsumeIntegralInRange<int32_t>(-1, 7);
        cell.character = input.ConsumeIntegral<unsigned char>();
        cell.colour = input.ConsumeIntegral<uint32_t>() & 0xFFFFFF;
        cell.blink = input.ConsumeBool();
        lines.back().push_back(cell);
    }

    const AreaSize area = GetAreaSize(model);
    Require(area.width > 0 && area.width <= kMaxAreaWidth);
    Require(area.height > 0 && area.height <= kMaxAreaHeight);
    std::vector<LitDot> dots;
    for (int frame = 0; frame < frames; ++frame) {
        blinkOn = !blinkOn;
        ComputeFrameDots(lines, s, model, scrollStep, blinkOn, view, dots);
        CheckDots(dots, area);
    }
    return 0;
}
