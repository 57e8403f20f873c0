#include <benchmark/benchmark.h>

#include "decoding/CommandDecoder.h"
#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"

namespace {

// 10,000 characters in 25 lines, every size, colour and blink state changing along the way, behind
// every kind of header code.
std::string LongCommandString() {
    const Rgb colours[] = {kRed, kYellow, kGreen};
    std::vector<CellLine> lines(25);
    for (size_t n = 0; n < 10000; ++n) {
        lines[n / 400].push_back({static_cast<int32_t>(1 + (n / 7) % 5),
                                  static_cast<unsigned char>('A' + n % 26), colours[(n / 5) % 3],
                                  (n / 11) % 2 == 1});
    }
    MessageSettings s;
    s.address = kAddressSpecificUnit;
    s.groupNumber = 1;
    s.unitNumber = 5;
    s.displayMode = kDisplayClearHome;
    s.position = kPositionStartingAt;
    s.line = 2;
    s.column = 3;
    s.effect = kEffectScrollRepeatedly;
    return BuildCommandString(s, EncodeCellLines(lines));
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
