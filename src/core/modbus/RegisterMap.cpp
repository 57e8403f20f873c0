#include "modbus/RegisterMap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <map>

#include "automation/TemplateText.h"
#include "encoding/Windows1252.h"

namespace {

constexpr std::array<std::pair<std::string_view, RegisterType>, 7> kTypeNames = {{
    {"uint16", RegisterType::kUint16},
    {"int16", RegisterType::kInt16},
    {"uint32", RegisterType::kUint32},
    {"int32", RegisterType::kInt32},
    {"float32", RegisterType::kFloat32},
    {"string", RegisterType::kString},
    {"message", RegisterType::kMessage},
}};
constexpr int kBitsPerWord = 16;
constexpr uint16_t kLowByte = 0xFF;
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

bool IsThirtyTwoBits(RegisterType type) {
    return type == RegisterType::kUint32 || type == RegisterType::kInt32 ||
           type == RegisterType::kFloat32;
}

uint32_t Join(const RegisterEntry& entry, std::span<const uint16_t> words) {
    const uint32_t first = words[0];
    const uint32_t second = words[1];
    return entry.wordOrder == WordOrder::kBig ? (first << kBitsPerWord) | second
                                              : (second << kBitsPerWord) | first;
}

std::string ShortestFloat(float value) {
    std::array<char, 64> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return {text.data(), end};
}

std::string Fixed(double value, int decimals) {
    std::array<char, 512> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value,
                                   std::chars_format::fixed, decimals)
                         .ptr;
    std::string written(text.data(), end);
    // "-0.0" of a small negative number reads as a sign where there is nothing.
    if (written.starts_with('-') && written.find_first_not_of("-0.") == std::string::npos) {
        written.erase(0, 1);
    }
    return written;
}

std::optional<DecodedWrite> DecodeText(std::span<const uint16_t> words) {
    std::string bytes;
    for (const uint16_t word : words) {
        for (const auto byte :
             {static_cast<unsigned char>(word >> 8), static_cast<unsigned char>(word & kLowByte)}) {
            if (byte == 0) {
                return DecodedWrite{Windows1252ToUtf8(bytes), std::nullopt};
            }
            if (byte < kFirstPrintable || byte == kDelete) {
                return std::nullopt;
            }
            bytes += static_cast<char>(byte);
        }
    }
    return DecodedWrite{Windows1252ToUtf8(bytes), std::nullopt};
}

std::string Place(const std::string& where, size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

std::string NameOf(const RegisterEntry& entry) {
    return RegisterRange(entry) + (entry.var.empty() ? "" : " {" + entry.var + "}");
}

}  // namespace

uint32_t RegisterEntry::Width() const {
    if (type == RegisterType::kString) {
        return textRegisters;
    }
    return IsThirtyTwoBits(type) ? 2 : 1;
}

std::optional<RegisterType> ParseRegisterType(std::string_view text) {
    for (const auto& [name, type] : kTypeNames) {
        if (name == text) {
            return type;
        }
    }
    return std::nullopt;
}

const char* RegisterTypeName(RegisterType type) {
    for (const auto& [name, known] : kTypeNames) {
        if (known == type) {
            return name.data();
        }
    }
    return "?";
}

int DecimalsOfScale(double scale) {
    double power = 1;
    for (int decimals = 0; decimals < kMaxDecimals; ++decimals) {
        const double shifted = std::abs(scale) * power;
        if (std::abs(shifted - std::round(shifted)) < 1e-9 * std::max(1.0, shifted)) {
            return decimals;
        }
        power *= 10;
    }
    return kMaxDecimals;
}

std::optional<DecodedWrite> DecodeRegisters(const RegisterEntry& entry,
                                            std::span<const uint16_t> words) {
    if (words.size() != entry.Width()) {
        return std::nullopt;
    }
    double raw = 0;
    switch (entry.type) {
        case RegisterType::kString:
            return DecodeText(words);
        case RegisterType::kMessage:
            return DecodedWrite{std::to_string(words[0]), words[0]};
        case RegisterType::kUint16:
            raw = words[0];
            break;
        case RegisterType::kInt16:
            raw = static_cast<int16_t>(words[0]);
            break;
        case RegisterType::kUint32:
            raw = Join(entry, words);
            break;
        case RegisterType::kInt32:
            raw = static_cast<int32_t>(Join(entry, words));
            break;
        case RegisterType::kFloat32: {
            const float value = std::bit_cast<float>(Join(entry, words));
            if (!std::isfinite(value)) {
                return std::nullopt;
            }
            if (entry.scale == 1 && !entry.decimals) {
                return DecodedWrite{ShortestFloat(value), std::nullopt};
            }
            raw = value;
            break;
        }
    }
    const double value = raw * entry.scale;
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return DecodedWrite{Fixed(value, entry.decimals.value_or(DecimalsOfScale(entry.scale))),
                        std::nullopt};
}

std::vector<uint16_t> EncodeNumber(const RegisterEntry& entry, double raw) {
    uint32_t bits = 0;
    switch (entry.type) {
        case RegisterType::kString:
            return EncodeText(entry, {});
        case RegisterType::kUint16:
        case RegisterType::kMessage:
            return {static_cast<uint16_t>(static_cast<int64_t>(raw))};
        case RegisterType::kInt16:
            return {static_cast<uint16_t>(static_cast<int16_t>(raw))};
        case RegisterType::kUint32:
            bits = static_cast<uint32_t>(static_cast<int64_t>(raw));
            break;
        case RegisterType::kInt32:
            bits = static_cast<uint32_t>(static_cast<int32_t>(raw));
            break;
        case RegisterType::kFloat32:
            bits = std::bit_cast<uint32_t>(static_cast<float>(raw));
            break;
    }
    const auto high = static_cast<uint16_t>(bits >> kBitsPerWord);
    const auto low = static_cast<uint16_t>(bits);
    return entry.wordOrder == WordOrder::kBig ? std::vector<uint16_t>{high, low}
                                              : std::vector<uint16_t>{low, high};
}

std::vector<uint16_t> EncodeText(const RegisterEntry& entry, std::string_view bytes) {
    std::vector<uint16_t> words(entry.textRegisters, 0);
    for (size_t i = 0; i < bytes.size() && i / 2 < words.size(); ++i) {
        const auto byte = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]));
        words[i / 2] |= static_cast<uint16_t>(i % 2 == 0 ? byte << 8 : byte);
    }
    return words;
}

std::string RegisterRange(const RegisterEntry& entry) {
    const uint32_t last = entry.address + std::max<uint32_t>(entry.Width(), 1) - 1;
    return std::string(entry.input ? "input register " : "register ") +
           std::to_string(entry.address) +
           (last == entry.address ? "" : "-" + std::to_string(last));
}

namespace {

std::optional<std::string> CheckEntry(const RegisterEntry& entry, const std::string& place) {
    if (entry.type == RegisterType::kString &&
        (entry.textRegisters == 0 || entry.textRegisters > kMaxTextRegisters)) {
        return place + ": \"registers\" of a string must be 1 to 128";
    }
    if (entry.address + entry.Width() > kRegisterSpace) {
        return place + " goes beyond register 65535";
    }
    if (entry.type != RegisterType::kMessage && !IsVariableName(entry.var)) {
        return place + ": \"var\" must be a variable's name (letters, digits, \"_\", \"-\", \".\")";
    }
    if (!std::isfinite(entry.scale) || entry.scale == 0) {
        return place + ": \"scale\" must be a number other than 0";
    }
    if (entry.decimals && (*entry.decimals < 0 || *entry.decimals > kMaxDecimals)) {
        return place + ": \"decimals\" must be 0 to 9";
    }
    return std::nullopt;
}

// Entries sorted by their first address; the first two that share one.
template <class Entry, class Last, class Name>
std::optional<std::string> FindOverlap(const std::vector<Entry>& entries, Last last, Name name,
                                       const char* noun) {
    std::map<uint32_t, size_t> byAddress;
    for (size_t i = 0; i < entries.size(); ++i) {
        byAddress.emplace(entries[i].address, i);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto next = byAddress.lower_bound(entries[i].address);
        for (auto it = next; it != byAddress.end() && it->first <= last(entries[i]); ++it) {
            if (it->second != i) {
                return std::string(noun) + " " + std::to_string(it->first) + " is in both " +
                       name(entries[std::min(i, it->second)]) + " and " +
                       name(entries[std::max(i, it->second)]);
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> CheckRegisterMap(const RegisterMap& map, const MapNames& names,
                                            const std::string& where) {
    for (size_t i = 0; i < map.registers.size(); ++i) {
        const RegisterEntry& entry = map.registers[i];
        const std::string place = where + ": " + NameOf(entry);
        if (auto fault = CheckEntry(entry, place)) {
            return fault;
        }
        if (entry.type != RegisterType::kMessage) {
            continue;
        }
        if (entry.sign.empty() == entry.tag.empty()) {
            return place + ": a message register needs \"sign\" or \"tag\"";
        }
        if (!entry.sign.empty() && !names.sign(entry.sign)) {
            return place + ": there is no sign named \"" + entry.sign + "\"";
        }
        if (!entry.tag.empty() && !names.tag(entry.tag)) {
            return place + ": no sign carries the tag \"" + entry.tag + "\"";
        }
    }
    for (size_t i = 0; i < map.coils.size(); ++i) {
        const CoilEntry& coil = map.coils[i];
        const std::string place = where + ": coil " + std::to_string(coil.address);
        if (coil.signs.empty() == coil.tag.empty()) {
            return place + ": a coil needs \"signs\" or \"tag\"";
        }
        if (coil.messageName.empty() && coil.messageJson.empty()) {
            return place + ": a coil needs its \"message\"";
        }
        for (const std::string& sign : coil.signs) {
            if (!names.sign(sign)) {
                return place + ": there is no sign named \"" + sign + "\"";
            }
        }
        if (!coil.tag.empty() && !names.tag(coil.tag)) {
            return place + ": no sign carries the tag \"" + coil.tag + "\"";
        }
    }
    if (auto overlap = FindOverlap(
            map.registers, [](const RegisterEntry& e) { return e.address + e.Width() - 1; }, NameOf,
            "register")) {
        return where + ": " + *overlap;
    }
    if (auto overlap = FindOverlap(
            map.coils, [](const CoilEntry& e) { return uint32_t{e.address}; },
            [](const CoilEntry& e) { return "coil " + std::to_string(e.address); }, "coil")) {
        return where + ": " + *overlap;
    }
    return std::nullopt;
}

std::optional<std::string> CheckReadList(const std::vector<RegisterEntry>& reads,
                                         const std::string& where) {
    for (size_t i = 0; i < reads.size(); ++i) {
        if (reads[i].type == RegisterType::kMessage) {
            return Place(where, i) + ": a polled register is a value or text";
        }
        if (auto fault = CheckEntry(reads[i], Place(where, i))) {
            return fault;
        }
    }
    return std::nullopt;
}

std::string DescribeRegisterMap(const RegisterMap& map) {
    std::vector<std::pair<uint32_t, std::string>> lines;
    for (const RegisterEntry& entry : map.registers) {
        // A message register takes the number a library message was given.
        std::string what = entry.type == RegisterType::kMessage ? "library message number"
                                                                : RegisterTypeName(entry.type);
        if (entry.type == RegisterType::kString) {
            what += " of " + std::to_string(entry.textRegisters * 2) + " characters";
        }
        if (IsThirtyTwoBits(entry.type)) {
            what += entry.wordOrder == WordOrder::kBig ? ", high word first" : ", low word first";
        }
        if (entry.scale != 1) {
            what += ", x" + Fixed(entry.scale, DecimalsOfScale(entry.scale));
        }
        if (entry.decimals) {
            what += ", " + std::to_string(*entry.decimals) + " decimals";
        }
        what += entry.type != RegisterType::kMessage ? " -> {" + entry.var + "}"
                : entry.sign.empty()                 ? " -> the signs tagged \"" + entry.tag + "\""
                                                     : " -> the sign \"" + entry.sign + "\"";
        std::string range = RegisterRange(entry);
        range.resize(std::max<size_t>(range.size() + 2, 20), ' ');
        lines.emplace_back(entry.address, range + what);
    }
    for (const CoilEntry& coil : map.coils) {
        std::string line = "coil " + std::to_string(coil.address);
        line.resize(std::max<size_t>(line.size() + 2, 20), ' ');
        line += "while set: " +
                (coil.messageName.empty() ? std::string("its message")
                                          : "library message \"" + coil.messageName + "\"") +
                (coil.alert.empty() ? "" : " (alert \"" + coil.alert + "\")") + " on ";
        if (coil.tag.empty()) {
            for (size_t i = 0; i < coil.signs.size(); ++i) {
                line += (i == 0 ? "\"" : ", \"") + coil.signs[i] + "\"";
            }
        } else {
            line += "the signs tagged \"" + coil.tag + "\"";
        }
        lines.emplace_back(kRegisterSpace + coil.address, line);
    }
    std::stable_sort(lines.begin(), lines.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (const auto& [address, line] : lines) {
        text += line + "\n";
    }
    return text;
}

CMapIndex::CMapIndex(const RegisterMap& map)
    : m_map(map), m_register(kRegisterSpace, -1), m_coil(kRegisterSpace, -1) {
    for (size_t i = 0; i < map.registers.size(); ++i) {
        const RegisterEntry& entry = map.registers[i];
        for (uint32_t a = entry.address; a < entry.address + entry.Width() && a < kRegisterSpace;
             ++a) {
            m_register[a] = static_cast<int32_t>(i);
        }
    }
    for (size_t i = 0; i < map.coils.size(); ++i) {
        m_coil[map.coils[i].address] = static_cast<int32_t>(i);
    }
}

int32_t CMapIndex::RegisterAt(uint32_t address) const {
    return address < kRegisterSpace ? m_register[address] : -1;
}

int32_t CMapIndex::CoilAt(uint32_t address) const {
    return address < kRegisterSpace ? m_coil[address] : -1;
}

bool CMapIndex::CoversRegisters(uint32_t address, uint32_t count) const {
    for (uint32_t a = address; a < address + count; ++a) {
        if (RegisterAt(a) < 0) {
            return false;
        }
    }
    return count > 0;
}

bool CMapIndex::CoversCoils(uint32_t address, uint32_t count) const {
    for (uint32_t a = address; a < address + count; ++a) {
        if (CoilAt(a) < 0) {
            return false;
        }
    }
    return count > 0;
}

CMapIndex::Fault CMapIndex::ReadWrite(std::span<const uint16_t> image, uint32_t address,
                                      std::span<const uint16_t> values,
                                      std::vector<EntryWrite>& written) const {
    if (image.size() != kRegisterSpace || !CoversRegisters(address, values.size())) {
        return Fault::kAddress;
    }
    std::vector<EntryWrite> entries;
    for (uint32_t a = address; a < address + values.size();) {
        const auto index = static_cast<size_t>(m_register[a]);
        const RegisterEntry& entry = m_map.registers[index];
        // A 32-bit value or text written in part keeps the rest of its registers.
        std::vector<uint16_t> words(image.begin() + entry.address,
                                    image.begin() + entry.address + entry.Width());
        for (uint32_t w = 0; w < words.size(); ++w) {
            const uint32_t at = entry.address + w;
            if (at >= address && at < address + values.size()) {
                words[w] = values[at - address];
            }
        }
        auto decoded = DecodeRegisters(entry, words);
        if (!decoded) {
            return Fault::kValue;
        }
        entries.push_back({index, std::move(*decoded)});
        a = entry.address + entry.Width();
    }
    written.insert(written.end(), entries.begin(), entries.end());
    return Fault::kNone;
}
