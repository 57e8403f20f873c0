// The register map's reading of a controller's writes. Any registers decode without failing: a
// number as text that reads back as a finite number, with the decimals asked for; an integer or
// a float written back gives the same registers; text has no control characters and encodes back
// to itself. Any write against a map that passes the check is either refused (an address outside
// it, a bad value) or read as the entries it touches, once each, in address order.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "encoding/Windows1252.h"
#include "modbus/RegisterMap.h"

namespace {

constexpr size_t kMaxEntries = 6;
constexpr uint16_t kMaxFuzzTextRegisters = 8;
constexpr uint16_t kAddressRange = 64;  // entries close together, so that writes touch several
const double kScales[] = {1, 0.1, 0.01, 10, 0.25, -2};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

RegisterEntry ConsumeEntry(FuzzedDataProvider& input) {
    RegisterEntry entry;
    entry.type = static_cast<RegisterType>(
        input.ConsumeIntegralInRange<int>(0, static_cast<int>(RegisterType::kMessage)));
    entry.wordOrder = input.ConsumeBool() ? WordOrder::kBig : WordOrder::kLittle;
    entry.scale = input.PickValueInArray(kScales);
    if (input.ConsumeBool()) {
        entry.decimals = input.ConsumeIntegralInRange<int>(0, kMaxDecimals);
    }
    entry.textRegisters = input.ConsumeIntegralInRange<uint16_t>(1, kMaxFuzzTextRegisters);
    entry.var = "v";
    entry.sign = "A";
    return entry;
}

std::vector<uint16_t> ConsumeWords(FuzzedDataProvider& input, size_t count) {
    std::vector<uint16_t> words(count);
    for (uint16_t& word : words) {
        word = input.ConsumeIntegral<uint16_t>();
    }
    return words;
}

void CheckNumber(const RegisterEntry& entry, const std::vector<uint16_t>& words,
                 const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    Require(error == std::errc() && end == text.data() + text.size() && std::isfinite(value));
    if (entry.decimals) {
        const size_t point = text.find('.');
        Require(*entry.decimals == 0 ? point == std::string::npos
                                     : text.size() - point - 1 == size_t(*entry.decimals));
    }
    if (entry.scale != 1 || entry.decimals) {
        return;
    }
    // As it stands, the text reads back to the same registers.
    if (entry.type == RegisterType::kFloat32) {
        float single = 0;
        std::from_chars(text.data(), text.data() + text.size(), single);
        value = single;
    }
    Require(EncodeNumber(entry, value) == words);
}

void CheckDecode(FuzzedDataProvider& input) {
    const RegisterEntry entry = ConsumeEntry(input);
    const std::vector<uint16_t> words = ConsumeWords(input, entry.Width());
    const auto decoded = DecodeRegisters(entry, words);
    Require(!DecodeRegisters(entry, std::vector<uint16_t>(entry.Width() + 1)));
    if (!decoded) {
        Require(entry.type == RegisterType::kFloat32 || entry.type == RegisterType::kString);
        return;
    }
    switch (entry.type) {
        case RegisterType::kMessage:
            Require(decoded->message == words[0]);
            break;
        case RegisterType::kString: {
            const std::string bytes = Utf8ToWindows1252(decoded->value);
            for (const char c : bytes) {
                Require(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
            }
            Require(bytes.size() <= 2 * words.size());
            Require(DecodeRegisters(entry, EncodeText(entry, bytes))->value == decoded->value);
            break;
        }
        default:
            CheckNumber(entry, words, decoded->value);
    }
}

void CheckWrite(FuzzedDataProvider& input) {
    RegisterMap map;
    const size_t count = input.ConsumeIntegralInRange<size_t>(1, kMaxEntries);
    for (size_t i = 0; i < count; ++i) {
        RegisterEntry entry = ConsumeEntry(input);
        entry.address = input.ConsumeIntegralInRange<uint16_t>(0, kAddressRange);
        map.registers.push_back(entry);
    }
    const MapNames names{[](const std::string&) { return true; },
                         [](const std::string&) { return true; }};
    if (CheckRegisterMap(map, names, "map")) {
        return;
    }
    const CMapIndex index(map);
    std::vector<uint16_t> image(kRegisterSpace);
    for (uint32_t a = 0; a <= kAddressRange + kMaxFuzzTextRegisters; ++a) {
        image[a] = input.ConsumeIntegral<uint16_t>();
    }
    const auto address = input.ConsumeIntegralInRange<uint32_t>(0, kAddressRange);
    const std::vector<uint16_t> values =
        ConsumeWords(input, input.ConsumeIntegralInRange<size_t>(0, 2 * kMaxFuzzTextRegisters));
    std::vector<CMapIndex::EntryWrite> written;
    const auto fault = index.ReadWrite(image, address, values, written);
    Require((fault == CMapIndex::Fault::kAddress) ==
            !index.CoversRegisters(address, static_cast<uint32_t>(values.size())));
    if (fault != CMapIndex::Fault::kNone) {
        Require(written.empty());
        return;
    }
    uint32_t next = 0;
    for (const CMapIndex::EntryWrite& write : written) {
        const RegisterEntry& entry = map.registers[write.entry];
        Require(entry.address >= next);
        Require(entry.address < address + values.size() && entry.address + entry.Width() > address);
        next = entry.address + entry.Width();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        CheckDecode(input);
    } else {
        CheckWrite(input);
    }
    return 0;
}
