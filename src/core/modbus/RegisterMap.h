#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// What a controller's registers and coils mean to the signs: a live value, a block of text, a
// message number; a coil that holds a message up while it is set. Addresses are the protocol's
// own, 0 to 65535 (the Modicon "40001" is address 0).

inline constexpr uint32_t kRegisterSpace = 65536;
// Two characters a register: 256 bytes, the longest live value.
inline constexpr uint16_t kMaxTextRegisters = 128;
inline constexpr int kMaxDecimals = 9;

enum class RegisterType { kUint16, kInt16, kUint32, kInt32, kFloat32, kString, kMessage };
// Which register of a 32-bit value holds its high half: "big" the first, "little" the second.
enum class WordOrder { kBig, kLittle };

struct RegisterEntry {
    uint16_t address = 0;
    RegisterType type = RegisterType::kUint16;
    WordOrder wordOrder = WordOrder::kBig;
    double scale = 1;
    std::optional<int> decimals;  // none: those the scale needs (0.1: one)
    uint16_t textRegisters = 0;   // kString: how many
    std::string var;              // a value or text
    std::string sign;             // kMessage: the sign, or
    std::string tag;              // the signs of this tag
    bool input = false;           // polled: an input register, not a holding one

    // How many registers it takes.
    uint32_t Width() const;
};

struct CoilEntry {
    uint16_t address = 0;
    std::string alert;
    std::string messageName;  // a message of the library, or
    std::string messageJson;  // the message itself (as the API takes it)
    int priority = 0;
    std::vector<std::string> signs;  // or
    std::string tag;
};

struct RegisterMap {
    std::vector<RegisterEntry> registers;
    std::vector<CoilEntry> coils;
};

std::optional<RegisterType> ParseRegisterType(std::string_view text);
const char* RegisterTypeName(RegisterType type);

// What a write made of an entry's registers.
struct DecodedWrite {
    std::string value;                // the value's text (kString: UTF-8)
    std::optional<uint16_t> message;  // kMessage: its number
};

// The entry's value from its registers (`words`: exactly Width() of them), as the signs show it:
// an integer scaled and written with its decimals, a float32 likewise (or as short as it reads
// back the same without decimals), text up to its first NUL read as Windows-1252. None for a
// value no sign can show: a float that is not a number or infinite, text with control
// characters.
std::optional<DecodedWrite> DecodeRegisters(const RegisterEntry& entry,
                                            std::span<const uint16_t> words);

// The registers of a raw value (before scaling; a float32's as a float), and of text (cut or
// padded with NULs to the entry's registers, from Windows-1252 bytes), for clients and tests.
std::vector<uint16_t> EncodeNumber(const RegisterEntry& entry, double raw);
std::vector<uint16_t> EncodeText(const RegisterEntry& entry, std::string_view bytes);

// The decimals of a scale: 0.1 → 1, 0.25 → 2, 10 → 0.
int DecimalsOfScale(double scale);

// Which signs and tags exist, for the check.
struct MapNames {
    std::function<bool(const std::string&)> sign;
    std::function<bool(const std::string&)> tag;
};

// The first fault of the map, in words naming its place ("map[2]"): an address beyond 65535,
// entries that overlap, a value without a valid variable name, a scale of 0, a message without
// its sign or tag, a sign or tag that does not exist. `where` names the list ("modbus.map").
std::optional<std::string> CheckRegisterMap(const RegisterMap& map, const MapNames& names,
                                            const std::string& where);
// Likewise for registers that are read (polled), which need a variable each.
std::optional<std::string> CheckReadList(const std::vector<RegisterEntry>& reads,
                                         const std::string& where);

// The map for the controller's programmer, a line an entry in address order:
// "register 0-1    uint32, big word order, ×0.1, 1 decimal → {count}".
std::string DescribeRegisterMap(const RegisterMap& map);
// "register 0-1" or "register 5".
std::string RegisterRange(const RegisterEntry& entry);

// Where each address of the map belongs, to read a controller's requests against it.
class CMapIndex {
public:
    explicit CMapIndex(const RegisterMap& map);

    // Whether every one of `count` registers (or coils) from `address` is in the map.
    bool CoversRegisters(uint32_t address, uint32_t count) const;
    bool CoversCoils(uint32_t address, uint32_t count) const;

    enum class Fault { kNone, kAddress, kValue };
    struct EntryWrite {
        size_t entry;  // its place in the map's registers
        DecodedWrite decoded;
    };
    // A write of `values` from `address` over the registers' `image` (one word an address, all
    // 65536): every entry it touches, read with the values written over the image, in address
    // order. kAddress when a register is outside the map, kValue when an entry reads as no
    // value; `written` is then left as it was.
    Fault ReadWrite(std::span<const uint16_t> image, uint32_t address,
                    std::span<const uint16_t> values, std::vector<EntryWrite>& written) const;

    // The map's register entry at an address, or -1; likewise its coil.
    int32_t RegisterAt(uint32_t address) const;
    int32_t CoilAt(uint32_t address) const;

private:
    const RegisterMap& m_map;
    std::vector<int32_t> m_register;
    std::vector<int32_t> m_coil;
};
