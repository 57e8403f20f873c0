// Writes the seed inputs of the fuzz targets, one folder per target, from the messages the tests
// send: `write_fuzz_seeds fuzz/corpus`. Each target reads its values through FuzzedDataProvider,
// so a seed holds them as the provider takes them back; the writers below follow each target's
// reading order, and a target whose reading changes needs its writer changed too.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "editor/BodyEncoder.h"
#include "encoding/MessageSettings.h"

namespace {

// The inverse of FuzzedDataProvider's integer reading: it takes each value from the end of the
// input, most significant byte first, in as many bytes as the value's range needs.
class CFuzzedDataWriter {
public:
    template <typename T>
    void PutIntegralInRange(T min, T max, T value) {
        const uint64_t range = static_cast<uint64_t>(max) - static_cast<uint64_t>(min);
        const uint64_t offset = static_cast<uint64_t>(value) - static_cast<uint64_t>(min);
        int bytes = 0;
        while (bytes * CHAR_BIT < static_cast<int>(sizeof(T) * CHAR_BIT) &&
               (range >> (bytes * CHAR_BIT)) > 0) {
            ++bytes;
        }
        for (int i = bytes - 1; i >= 0; --i) {
            m_taken.push_back(static_cast<uint8_t>(offset >> (i * CHAR_BIT)));
        }
    }
    template <typename T>
    void PutIntegral(T value) {
        PutIntegralInRange(std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), value);
    }
    void PutBool(bool value) { PutIntegral<uint8_t>(value ? 1 : 0); }

    // The input: the values in reading order, from its end.
    std::string Data() const { return std::string(m_taken.rbegin(), m_taken.rend()); }

private:
    std::vector<uint8_t> m_taken;
};

// A message of the tests with what the preview target adds: a sign model and a scroll state.
struct SeedMessage {
    const char* name;
    MessageSettings settings;
    std::vector<CellLine> lines;
    int32_t model = 0;
    int64_t scrollStep = 0;
};

CellLine Cells(const std::string& text, int32_t size, Rgb colour, bool blink = false) {
    CellLine line;
    for (const char c : text) {
        line.push_back({size, static_cast<unsigned char>(c), colour, blink});
    }
    return line;
}

MessageSettings Settings(int32_t address, int32_t position, int32_t effect, int32_t displayMode) {
    MessageSettings s;
    s.address = address;
    s.groupNumber = 1;
    s.unitNumber = 5;
    s.position = position;
    s.line = 2;
    s.column = 3;
    s.effect = effect;
    s.displayMode = displayMode;
    return s;
}

std::vector<SeedMessage> Messages() {
    CellLine sizes;
    const Rgb colours[] = {kRed, kYellow, kGreen};
    for (int32_t size = kMinSizeIndex; size <= kMaxSizeIndex; ++size) {
        sizes.push_back(
            {size, static_cast<unsigned char>('0' + size), colours[size % 3], size % 2 == 0});
    }
    MessageSettings cleared =
        Settings(kAddressSpecificUnit, kPositionStartingAt, kEffectScrollOnce, kDisplayClearHome);
    cleared.clearMessageOnLine = true;
    return {
        {"hello", {}, {Cells("HELLO", 1, kRed)}},
        {"two-lines-starting-at",
         cleared,
         {Cells("AB", 2, kYellow), Cells("Q", 3, kGreen, true)},
         5,
         7},
        {"every-size",
         Settings(kAddressSpecificGroup, kPositionCenter, kEffectBlinkWholeMessage,
                  kDisplayDoNothing),
         {sizes},
         13},
        {"typed-caret",
         Settings(kAddressDefault, kPositionDefault, kEffectDefault, kDisplayClearLine),
         {Cells("A^B^", 1, kGreen)},
         2},
        {"windows-1252",
         Settings(kAddressBroadcast, kPositionCenter, kEffectTurnOffBlinking,
                  kDisplayClearHomeReset),
         {Cells("\xe9\x80\xff", 2, kRed), Cells("\xa3", 1, kYellow)},
         9},
        {"empty-lines", {}, {{}, {}, Cells("X", 4, kGreen)}},
        {"forty-scrolling",
         Settings(kAddressSpecificUnit, kPositionCenter, kEffectScrollRepeatedly,
                  kDisplayClearCursorUnchanged),
         {Cells("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,!", 1, kRed)},
         1,
         120},
    };
}

// The strings the decoder's tests read, a zero byte in front (the target's "any bytes" half).
const char* const kTestStrings[] = {
    "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N",
    "^A000000^E1^L0^C1^D1^K0^dC1Ethernet Communication Attributes Programmed.^N",
    "^A000000^E1^L1^C1^B1^K1^dC1Z",
    "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000",
    "^A020005^P2A063^P2B500^P2R120^P2S002^P2W3",
    "^A000000^P3A020^P3R032^P3S002^P3W0",
    "^A010002^P2L",
    "^A000000^P1Z^P2Z",
    "^K0^dC1A^K1^dC2^X1B",
    "^K0^dC1A^N^N^K0^dC1B",
    "^K0^dC1A^dC2B^dC3C",
    "^E0^A010005^L0^K0^dC1X",
    "^C0^M0440",
    "^D1x^N",
    "^A12354321",
    "^C2 is not a code",
};

// Lines as the targets read them: a choice of 0 starts a new line, any other is followed by a cell.
template <typename PutCell>
void PutLines(CFuzzedDataWriter& w, const std::vector<CellLine>& lines, PutCell putCell) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            w.PutIntegralInRange(0, 15, 0);
        }
        for (const CharCell& cell : lines[i]) {
            w.PutIntegralInRange(0, 15, 1);
            putCell(cell);
        }
    }
}

// A cell of any size in the range, any character and any colour.
void PutAnyCell(CFuzzedDataWriter& w, const CharCell& cell, int32_t minSize, int32_t maxSize) {
    w.PutIntegralInRange<int32_t>(minSize, maxSize, cell.size);
    w.PutIntegral<unsigned char>(cell.character);
    w.PutIntegral<uint32_t>(cell.colour);
    w.PutBool(cell.blink);
}

// fuzz_encoding: settings of any value, then cells.
std::string EncodingSeed(const SeedMessage& m) {
    CFuzzedDataWriter w;
    const MessageSettings& s = m.settings;
    w.PutIntegralInRange<int32_t>(-1, 4, s.address);
    w.PutIntegralInRange<int32_t>(-1, 3, s.position);
    w.PutIntegralInRange<int32_t>(-1, 5, s.effect);
    w.PutIntegral<int32_t>(s.displayMode);
    w.PutIntegral<int32_t>(s.line);
    w.PutIntegral<int32_t>(s.column);
    w.PutBool(s.clearMessageOnLine);
    w.PutIntegral<int32_t>(s.groupNumber);
    w.PutIntegral<int32_t>(s.unitNumber);
    PutLines(w, m.lines, [&w](const CharCell& cell) { PutAnyCell(w, cell, 0, 6); });
    return w.Data();
}

// fuzz_preview: settings, model, scroll state and view, then cells.
std::string PreviewSeed(const SeedMessage& m) {
    CFuzzedDataWriter w;
    const MessageSettings& s = m.settings;
    w.PutIntegralInRange<int32_t>(-1, 3, s.position);
    w.PutIntegralInRange<int32_t>(-1, 5, s.effect);
    w.PutIntegral<int32_t>(s.line);
    w.PutIntegral<int32_t>(s.column);
    w.PutIntegralInRange<int32_t>(-1, 14, m.model);
    w.PutIntegral<int64_t>(m.scrollStep);
    w.PutIntegralInRange(-30, 30, 0);  // the view
    w.PutIntegralInRange(-10, 10, 0);
    w.PutBool(false);               // blink phase
    w.PutIntegralInRange(1, 4, 2);  // frames
    w.PutBool(!m.lines.empty());    // a first line before any cell
    PutLines(w, m.lines, [&w](const CharCell& cell) { PutAnyCell(w, cell, -1, 7); });
    return w.Data();
}

// fuzz_decoding's other half, an odd byte in front: a message the encoders could write.
std::string DecodingMessageSeed(const SeedMessage& m) {
    CFuzzedDataWriter w;
    const MessageSettings& s = m.settings;
    w.PutIntegralInRange<int32_t>(0, 3, s.address);
    w.PutIntegralInRange<int32_t>(0, 99, s.groupNumber);
    w.PutIntegralInRange<int32_t>(0, 9999, s.unitNumber);
    w.PutIntegralInRange<int32_t>(0, 4, s.displayMode);
    w.PutIntegralInRange<int32_t>(0, 2, s.position);
    w.PutIntegralInRange<int32_t>(1, 4, s.line);
    w.PutIntegralInRange<int32_t>(1, 40, s.column);
    w.PutBool(s.clearMessageOnLine);
    w.PutIntegralInRange<int32_t>(0, 4, s.effect);
    PutLines(w, m.lines, [&w](const CharCell& cell) {
        const Rgb colours[] = {kRed, kYellow, kGreen};
        int colour = 0;
        while (colour < 2 && colours[colour] != cell.colour) {
            ++colour;
        }
        w.PutIntegralInRange<int32_t>(kMinSizeIndex, kMaxSizeIndex, cell.size);
        w.PutIntegral<unsigned char>(cell.character);
        w.PutIntegralInRange(0, 2, colour);
        w.PutBool(cell.blink);
    });
    return '\x01' + w.Data();
}

// A string as FuzzedDataProvider's ConsumeRandomLengthString takes it from the input's front: a
// backslash doubled, and a backslash with another character after it ending the string.
std::string FrontString(const std::string& text) {
    std::string taken;
    for (const char c : text) {
        taken += c;
        if (c == '\\') {
            taken += c;
        }
    }
    return taken + "\\;";
}

constexpr long long kSeedTime = 1'709'532'309;  // a Monday morning, 06:05:09
constexpr long long kTimeRange = 32'000'000'000LL;

struct TemplateSeed {
    const char* name;
    std::vector<std::pair<std::string, std::string>> values;
    std::string text;
};

// The templates of the tests, in fuzz_automation's reading order.
std::string TemplateSeedData(const TemplateSeed& seed) {
    CFuzzedDataWriter w;
    w.PutBool(true);
    w.PutIntegralInRange<long long>(-kTimeRange, kTimeRange, kSeedTime);
    w.PutIntegralInRange<size_t>(0, 4, seed.values.size());
    std::string front;
    for (const auto& [name, value] : seed.values) {
        front += FrontString(name) + FrontString(value);
    }
    return front + seed.text + w.Data();
}

struct RuleSeed {
    std::vector<size_t> days;  // Monday 0
    int from[2];
    int to[2];
    int sign;  // a sign's index, or -1 for the first tag
};

// Schedules of the tests, in fuzz_automation's reading order: rules, then the sign, the time and
// a probe a day later.
std::string ScheduleSeedData(const std::vector<RuleSeed>& rules) {
    CFuzzedDataWriter w;
    w.PutBool(false);
    w.PutIntegralInRange<size_t>(0, 6, rules.size());
    for (const RuleSeed& rule : rules) {
        w.PutIntegralInRange<size_t>(0, 8, rule.days.size());
        for (const size_t day : rule.days) {
            w.PutBool(false);
            w.PutIntegralInRange<size_t>(0, 6, day);
        }
        for (const int* time : {rule.from, rule.to}) {
            w.PutBool(false);
            w.PutIntegralInRange(0, 25, time[0]);
            w.PutIntegralInRange(0, 61, time[1]);
        }
        w.PutBool(rule.sign < 0);
        w.PutIntegralInRange<size_t>(0, rule.sign < 0 ? 2 : 3,
                                     static_cast<size_t>(rule.sign < 0 ? 0 : rule.sign));
    }
    w.PutIntegralInRange<size_t>(0, 2, 0);
    w.PutIntegralInRange<size_t>(0, 3, 0);
    w.PutIntegralInRange<long long>(-kTimeRange, kTimeRange, kSeedTime);
    w.PutIntegralInRange<long long>(0, 14LL * 24 * 3600, 24 * 3600);
    return w.Data();
}

bool Write(const std::filesystem::path& folder, const std::string& name, const std::string& data) {
    std::filesystem::create_directories(folder);
    std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
    file << data;
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: write_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    bool written = true;
    for (const SeedMessage& m : Messages()) {
        written &= Write(root / "fuzz_encoding", m.name, EncodingSeed(m));
        written &= Write(root / "fuzz_preview", m.name, PreviewSeed(m));
        written &= Write(root / "fuzz_decoding", m.name, DecodingMessageSeed(m));
        written &=
            Write(root / "fuzz_decoding", std::string(m.name) + "-string",
                  std::string(1, '\0') + BuildCommandString(m.settings, EncodeCellLines(m.lines)));
    }
    int n = 0;
    for (const char* text : kTestStrings) {
        written &= Write(root / "fuzz_decoding", "test-string-" + std::to_string(++n),
                         std::string(1, '\0') + text);
    }
    const TemplateSeed templates[] = {
        {"template-values", {{"count", "42"}, {"target", "400"}}, "OUTPUT {count} OF {target}"},
        {"template-missing", {{"count", "42"}}, "{count}/{target} {Count}"},
        {"template-clock", {}, "{now:dd.MM.yyyy HH:mm:ss} {now}"},
        {"template-braces", {{"raw", "{count}"}}, "{{count}} {{{raw}}} {a b} {"},
    };
    for (const TemplateSeed& seed : templates) {
        written &= Write(root / "fuzz_automation", seed.name, TemplateSeedData(seed));
    }
    written &= Write(root / "fuzz_automation", "schedule-weekdays",
                     ScheduleSeedData({{{0, 1, 2, 3, 4}, {6, 0}, {14, 0}, 0}}));
    written &= Write(root / "fuzz_automation", "schedule-overnight-and-tag",
                     ScheduleSeedData({{{0, 1, 2, 3, 4}, {6, 0}, {14, 0}, -1},
                                       {{4, 5}, {22, 0}, {6, 0}, 0},
                                       {{6}, {0, 0}, {0, 0}, 1}}));
    return written ? 0 : 1;
}
