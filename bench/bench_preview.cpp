#include <benchmark/benchmark.h>

#include "BenchMessages.h"
#include "preview/FrameDots.h"
#include "render/FramePainter.h"

namespace {

// One line of 10,000 characters of every size.
std::vector<CellLine> LongMessage() {
    CellLine line;
    for (size_t i = 0; i < 10000; ++i) {
        line.push_back({static_cast<int32_t>(1 + i % 5), static_cast<unsigned char>('A' + i % 26),
                        kGreen, false});
    }
    return {line};
}

MessageSettings WithEffect(int32_t effect) {
    MessageSettings settings;
    settings.position = kPositionDefault;
    settings.effect = effect;
    return settings;
}

// One repaint's work: layout pass and frame dots, the blink phase turning every frame.
void RunFrames(benchmark::State& state, const std::vector<CellLine>& message,
               const MessageSettings& settings, int32_t model, ViewPosition view) {
    int64_t scrollStep = 0;
    bool blinkOn = true;
    std::vector<LitDot> dots;
    for (auto _ : state) {
        blinkOn = !blinkOn;
        ComputeFrameDots(message, settings, model, scrollStep, blinkOn, view, dots);
        benchmark::DoNotOptimize(dots.data());
    }
    state.counters["dots"] = static_cast<double>(dots.size());
}

void BM_FrameFullLargestSign(benchmark::State& state) {
    RunFrames(state, FullSign(), WithEffect(kEffectTurnOffBlinking), kLargestModel,
              ViewPosition{static_cast<int32_t>(state.range(0)), 1});
}

// The scroll runs through all 10,000+ steps, so later frames walk far into the line.
void BM_FrameScrolling10000Characters(benchmark::State& state) {
    RunFrames(state, LongMessage(), WithEffect(kEffectScrollRepeatedly), kLargestModel, {});
}

void BM_FrameScrolling10000CharactersAtTheEnd(benchmark::State& state) {
    const std::vector<CellLine> message = LongMessage();
    const MessageSettings settings = WithEffect(kEffectScrollRepeatedly);
    std::vector<LitDot> dots;
    for (auto _ : state) {
        int64_t scrollStep = 23000;  // the view near the end of the line (24,000 units)
        ComputeFrameDots(message, settings, kLargestModel, scrollStep, true, {}, dots);
        benchmark::DoNotOptimize(dots.data());
    }
    state.counters["dots"] = static_cast<double>(dots.size());
}

void BM_PaintFrame(benchmark::State& state) {
    int64_t scrollStep = 0;
    const std::vector<LitDot> dots = ComputeFrameDots(
        FullSign(), WithEffect(kEffectTurnOffBlinking), kLargestModel, scrollStep, true);
    for (auto _ : state) {
        QImage image = PaintFrame(dots, GetAreaSize(kLargestModel));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["dots"] = static_cast<double>(dots.size());
}

// The worst case: every one of the 120 x 32 dots of the largest area lit, colours changing often.
void BM_PaintEveryDot(benchmark::State& state) {
    const Rgb colours[] = {kRed, kYellow, kGreen};
    std::vector<LitDot> dots;
    for (int32_t y = 0; y < kMaxAreaHeight; y += kDotPixels) {
        for (int32_t x = 0; x < kMaxAreaWidth; x += kDotPixels) {
            dots.push_back({x, y, colours[(x / 24) % 3]});
        }
    }
    for (auto _ : state) {
        QImage image = PaintFrame(dots, GetAreaSize(kLargestModel));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["dots"] = static_cast<double>(dots.size());
}

}  // namespace

BENCHMARK(BM_FrameFullLargestSign)->Arg(1)->Arg(21);
BENCHMARK(BM_FrameScrolling10000Characters);
BENCHMARK(BM_FrameScrolling10000CharactersAtTheEnd);
BENCHMARK(BM_PaintFrame);
BENCHMARK(BM_PaintEveryDot);
