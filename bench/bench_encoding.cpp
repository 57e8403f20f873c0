#include <benchmark/benchmark.h>

#include "BenchMessages.h"
#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"

namespace {

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
