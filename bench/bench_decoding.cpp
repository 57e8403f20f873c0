#include <benchmark/benchmark.h>

#include "BenchMessages.h"
#include "decoding/CommandDecoder.h"
#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"

namespace {

// 10,000 characters in 25 lines, size, colour and blink changing along the way, behind every
// kind of header code.
std::string LongCommandString() {
    return BuildCommandString(BusySettings(), EncodeCellLines(MakeLines(25, 400)));
}

void BM_Decode10000Characters(benchmark::State& state) {
    const std::string bytes = LongCommandString();
    for (auto _ : state) {
        DecodedCommand decoded = DecodeCommandString(bytes);
        benchmark::DoNotOptimize(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

}  // namespace

BENCHMARK(BM_Decode10000Characters)->Unit(benchmark::kMicrosecond);
