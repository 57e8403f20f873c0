#include <benchmark/benchmark.h>

#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"

namespace {

// Lines of mixed attributes, so that every kind of code is emitted along the way.
std::vector<CellLine> MakeLines(size_t lineCount, size_t lineLength) {
    const Rgb colours[] = {kRed, kYellow, kGreen};
    std::vector<CellLine> lines(lineCount);
    for (size_t k = 0; k < lineCount; ++k) {
        for (size_t i = 0; i < lineLength; ++i) {
            const size_t n = k * lineLength + i;
            lines[k].push_back({static_cast<int32_t>(1 + (n / 7) % 4),
                                static_cast<unsigned char>('A' + n % 26), colours[(n / 5) % 3],
                                (n / 11) % 2 == 1});
        }
    }
    return lines;
}

MessageSettings BusySettings() {
    MessageSettings s;
    s.address = kAddressSpecificUnit;
    s.groupNumber = 1;
    s.unitNumber = 5;
    s.displayMode = kDisplayClearHome;
    s.position = kPositionStartingAt;
    s.line = 2;
    s.column = 3;
    s.effect = kEffectScrollRepeatedly;
    return s;
}

void EncodeMessage(benchmark::State& state, size_t lineCount, size_t lineLength) {
    const std::vector<CellLine> lines = MakeLines(lineCount, lineLength);
    const MessageSettings settings = BusySettings();
    for (auto _ : state) {
        std::string command = BuildCommandString(settings, EncodeCellLines(lines));
        benchmark::DoNotOptimize(command);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * lineCount * lineLength));
}

void BM_Encode4x40(benchmark::State& state) {
    EncodeMessage(state, 4, 40);
}
void BM_Encode10000Characters(benchmark::State& state) {
    EncodeMessage(state, 1, 10000);
}

void BM_BuildCommandStringOnly(benchmark::State& state) {
    const std::string body = EncodeCellLines(MakeLines(4, 40));
    const MessageSettings settings = BusySettings();
    for (auto _ : state) {
        std::string command = BuildCommandString(settings, body);
        benchmark::DoNotOptimize(command);
    }
}

}  // namespace

BENCHMARK(BM_Encode4x40);
BENCHMARK(BM_Encode10000Characters);
BENCHMARK(BM_BuildCommandStringOnly);
