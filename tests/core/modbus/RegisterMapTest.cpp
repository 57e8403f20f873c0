#include <gtest/gtest.h>

#include <set>

#include "modbus/PollState.h"
#include "modbus/RegisterMap.h"

namespace {

using namespace std::chrono_literals;
using Words = std::vector<uint16_t>;

RegisterEntry Value(uint16_t address, RegisterType type, std::string var = "v") {
    RegisterEntry entry;
    entry.address = address;
    entry.type = type;
    entry.var = std::move(var);
    return entry;
}

RegisterEntry Text(uint16_t address, uint16_t registers, std::string var = "part") {
    RegisterEntry entry = Value(address, RegisterType::kString, std::move(var));
    entry.textRegisters = registers;
    return entry;
}

TEST(RegisterMapTest, DecodesEachTypeWordOrderAndScale) {
    const auto little = WordOrder::kLittle;
    const struct {
        RegisterType type;
        WordOrder order;
        double scale;
        std::optional<int> decimals;
        Words words;
        std::optional<std::string> expected;
    } cases[] = {
        {RegisterType::kUint16, WordOrder::kBig, 1, {}, {65535}, "65535"},
        {RegisterType::kInt16, WordOrder::kBig, 1, {}, {65535}, "-1"},
        {RegisterType::kInt16, WordOrder::kBig, 0.1, {}, {0xFFF6}, "-1.0"},
        {RegisterType::kUint16, WordOrder::kBig, 0.1, {}, {12345}, "1234.5"},
        {RegisterType::kUint16, WordOrder::kBig, 0.01, 1, {12345}, "123.5"},
        {RegisterType::kUint16, WordOrder::kBig, 10, {}, {7}, "70"},
        {RegisterType::kUint16, WordOrder::kBig, 1, 2, {7}, "7.00"},
        {RegisterType::kUint32, WordOrder::kBig, 1, {}, {0, 12345}, "12345"},
        {RegisterType::kUint32, little, 1, {}, {12345, 0}, "12345"},
        {RegisterType::kUint32, WordOrder::kBig, 1, {}, {0x0001, 0x0000}, "65536"},
        {RegisterType::kUint32, little, 1, {}, {0x0001, 0x0000}, "1"},
        {RegisterType::kUint32, WordOrder::kBig, 1, {}, {0xFFFF, 0xFFFF}, "4294967295"},
        {RegisterType::kInt32, WordOrder::kBig, 1, {}, {0xFFFF, 0xFFFE}, "-2"},
        {RegisterType::kInt32, little, 0.001, {}, {0xFC18, 0xFFFF}, "-1.000"},
        {RegisterType::kFloat32, WordOrder::kBig, 1, {}, {0x3FC0, 0x0000}, "1.5"},
        {RegisterType::kFloat32, little, 1, {}, {0x0000, 0x3FC0}, "1.5"},
        {RegisterType::kFloat32, WordOrder::kBig, 1, {}, {0x3DCC, 0xCCCD}, "0.1"},
        {RegisterType::kFloat32, WordOrder::kBig, 1, 2, {0x3DCC, 0xCCCD}, "0.10"},
        {RegisterType::kFloat32, WordOrder::kBig, 1, 0, {0xBE80, 0x0000}, "0"},  // -0.25
        // Values no sign can show.
        {RegisterType::kFloat32, WordOrder::kBig, 1, {}, {0x7FC0, 0x0000}, std::nullopt},
        {RegisterType::kFloat32, WordOrder::kBig, 1, {}, {0x7F80, 0x0000}, std::nullopt},
        {RegisterType::kFloat32, WordOrder::kBig, 1e300, {}, {0x7F7F, 0xFFFF}, std::nullopt},
        // Too few registers.
        {RegisterType::kUint32, WordOrder::kBig, 1, {}, {1}, std::nullopt},
    };
    for (const auto& c : cases) {
        RegisterEntry entry = Value(0, c.type);
        entry.wordOrder = c.order;
        entry.scale = c.scale;
        entry.decimals = c.decimals;
        const auto decoded = DecodeRegisters(entry, c.words);
        SCOPED_TRACE(std::string(RegisterTypeName(c.type)) + " " + std::to_string(c.words[0]));
        ASSERT_EQ(decoded.has_value(), c.expected.has_value());
        if (decoded) {
            EXPECT_EQ(decoded->value, *c.expected);
            EXPECT_FALSE(decoded->message);
        }
    }
}

TEST(RegisterMapTest, TextAndMessageNumbers) {
    const struct {
        uint16_t registers;
        std::string bytes;  // encoded into the registers
        std::optional<std::string> expected;
    } cases[] = {
        {4, "AB-1234", "AB-1234"},
        {2, "AB-1234", "AB-1"},  // cut to its registers
        {3, "AB", "AB"},         // NUL ends it
        {2, std::string("A\0C", 3), "A"},
        {2, "Gr\xF6\xDF", "Größ"},  // Windows-1252
        {2, "", ""},
        {2, "A\nB", std::nullopt},  // a control character
        {2, "A\x7F", std::nullopt},
    };
    for (const auto& c : cases) {
        const RegisterEntry entry = Text(20, c.registers);
        const Words words = EncodeText(entry, c.bytes);
        ASSERT_EQ(words.size(), c.registers);
        const auto decoded = DecodeRegisters(entry, words);
        SCOPED_TRACE(c.bytes);
        ASSERT_EQ(decoded.has_value(), c.expected.has_value());
        if (decoded) {
            EXPECT_EQ(decoded->value, *c.expected);
        }
    }
    EXPECT_EQ(EncodeText(Text(0, 1), "AB"), (Words{0x4142}));

    RegisterEntry message = Value(100, RegisterType::kMessage, "");
    EXPECT_EQ(DecodeRegisters(message, Words{12})->message, 12);
}

TEST(RegisterMapTest, EncodedNumbersReadBack) {
    for (const auto type : {RegisterType::kUint16, RegisterType::kInt16, RegisterType::kUint32,
                            RegisterType::kInt32, RegisterType::kFloat32}) {
        for (const auto order : {WordOrder::kBig, WordOrder::kLittle}) {
            RegisterEntry entry = Value(0, type);
            entry.wordOrder = order;
            const double raw =
                type == RegisterType::kUint16 || type == RegisterType::kUint32 ? 12345 : -1234;
            EXPECT_EQ(DecodeRegisters(entry, EncodeNumber(entry, raw))->value,
                      std::to_string(static_cast<int>(raw)))
                << RegisterTypeName(type);
        }
    }
}

TEST(RegisterMapTest, CheckRefusesFaultyMaps) {
    const auto known = [](const std::string& name) { return name == "Line 3"; };
    const MapNames names{known, [](const std::string& tag) { return tag == "hall"; }};
    RegisterEntry message = Value(100, RegisterType::kMessage, "");
    message.sign = "Line 3";
    CoilEntry coil;
    coil.signs = {"Line 3"};
    coil.messageName = "stop";

    const auto with = [&](auto change) {
        RegisterMap map{{Value(0, RegisterType::kUint32, "count"), Text(20, 10), message}, {coil}};
        change(map);
        return CheckRegisterMap(map, names, "modbus.map");
    };
    EXPECT_EQ(with([](RegisterMap&) {}), std::nullopt);
    const struct {
        const char* what;
        std::function<void(RegisterMap&)> change;
        std::string fault;  // a part of the text
    } cases[] = {
        {"overlap", [](RegisterMap& m) { m.registers.push_back(Value(1, RegisterType::kUint16)); },
         "register 1 is in both register 0-1 {count} and register 1 {v}"},
        {"text over",
         [](RegisterMap& m) { m.registers.push_back(Value(29, RegisterType::kInt16)); },
         "register 29 is in both"},
        {"beyond",
         [](RegisterMap& m) { m.registers.push_back(Value(65535, RegisterType::kFloat32)); },
         "register 65535-65536 {v} goes beyond register 65535"},
        {"long text", [](RegisterMap& m) { m.registers[1].textRegisters = 129; }, "1 to 128"},
        {"no text", [](RegisterMap& m) { m.registers[1].textRegisters = 0; }, "1 to 128"},
        {"bad var", [](RegisterMap& m) { m.registers[0].var = "a b"; }, "\"var\""},
        {"scale", [](RegisterMap& m) { m.registers[0].scale = 0; }, "\"scale\""},
        {"decimals", [](RegisterMap& m) { m.registers[0].decimals = 12; }, "\"decimals\""},
        {"sign", [](RegisterMap& m) { m.registers[2].sign = "Line 9"; },
         "no sign named \"Line 9\""},
        {"tag",
         [](RegisterMap& m) {
             m.registers[2] = Value(100, RegisterType::kMessage, "");
             m.registers[2].tag = "dock";
         },
         "the tag \"dock\""},
        {"neither", [](RegisterMap& m) { m.registers[2].sign.clear(); }, "\"sign\" or \"tag\""},
        {"coil twice", [](RegisterMap& m) { m.coils.push_back(m.coils[0]); }, "coil 0 is in both"},
        {"coil sign", [](RegisterMap& m) { m.coils[0].signs = {"Line 9"}; }, "\"Line 9\""},
        {"coil message", [](RegisterMap& m) { m.coils[0].messageName.clear(); }, "\"message\""},
    };
    for (const auto& c : cases) {
        const auto fault = with(c.change);
        ASSERT_TRUE(fault) << c.what;
        EXPECT_NE(fault->find(c.fault), std::string::npos) << c.what << ": " << *fault;
        EXPECT_EQ(fault->rfind("modbus.map", 0), 0u) << *fault;
    }
}

TEST(RegisterMapTest, DescribesTheMapInAddressOrder) {
    RegisterEntry count = Value(0, RegisterType::kUint32, "count");
    count.scale = 0.1;
    RegisterEntry message = Value(100, RegisterType::kMessage, "");
    message.tag = "hall";
    CoilEntry coil;
    coil.signs = {"Line 3", "Line 4"};
    coil.messageName = "stop";
    EXPECT_EQ(
        DescribeRegisterMap({{message, Text(20, 10), count}, {coil}}),
        "register 0-1        uint32, high word first, x0.1 -> {count}\n"
        "register 20-29      string of 20 characters -> {part}\n"
        "register 100        library message number -> the signs tagged \"hall\"\n"
        "coil 0              while set: library message \"stop\" on \"Line 3\", \"Line 4\"\n");
}

TEST(PollStateTest, PlansAdjacentRegistersIntoOneRead) {
    RegisterEntry input = Value(4, RegisterType::kUint16, "in");
    input.input = true;
    const auto blocks =
        PlanReads({Value(2, RegisterType::kUint32, "b"), Value(0, RegisterType::kUint32, "a"),
                   input, Value(5, RegisterType::kUint16, "gap"), Text(6, 125, "long")});
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(std::tie(blocks[0].address, blocks[0].count), std::tuple(0, 4));
    EXPECT_EQ(blocks[0].entries, (std::vector<size_t>{1, 0}));
    EXPECT_EQ(std::tie(blocks[1].address, blocks[1].count), std::tuple(5, 1));    // not after 3
    EXPECT_EQ(std::tie(blocks[2].address, blocks[2].count), std::tuple(6, 125));  // 125 at most
    EXPECT_TRUE(blocks[3].input);
}

TEST(PollStateTest, HandsOnChangesAndGoesStaleOnce) {
    CPollState poll({Value(0, RegisterType::kUint16, "count"), Text(1, 2, "part")}, 500ms);
    const CPollState::Clock::time_point t0{};
    using Changed = std::vector<std::pair<std::string, std::string>>;
    const Words ab = EncodeText(Text(0, 2), "AB");

    auto round = poll.Read({{7, ab[0], ab[1]}}, t0);
    EXPECT_EQ(round.changed, (Changed{{"count", "7"}, {"part", "AB"}}));
    EXPECT_EQ(poll.NextAt(), t0 + 500ms);
    EXPECT_TRUE(poll.Read({{7, ab[0], ab[1]}}, t0 + 500ms).changed.empty());
    EXPECT_EQ(poll.Read({{8, ab[0], ab[1]}}, t0 + 1s).changed, (Changed{{"count", "8"}}));

    // Stale at the first failure, once; tried again sooner, then once a period.
    const auto down = t0 + 1500ms;
    EXPECT_TRUE(poll.Failed(down).nowStale);
    EXPECT_EQ(poll.NextAt(), down + 20ms);
    EXPECT_FALSE(poll.Failed(down + 20ms).nowStale);
    EXPECT_EQ(poll.NextAt(), down + 60ms);
    for (int i = 0; i < 6; ++i) {
        poll.Failed(down);
    }
    EXPECT_EQ(poll.NextAt(), down + 500ms);
    EXPECT_TRUE(poll.Stale());

    // Back: fresh, and what did not change while it was away sends nothing.
    round = poll.Read({{8, ab[0], ab[1]}}, down + 2s);
    EXPECT_TRUE(round.nowFresh);
    EXPECT_TRUE(round.changed.empty());
    EXPECT_FALSE(poll.Stale());
    EXPECT_EQ(poll.Failed(down + 3s).nowStale, true);
    EXPECT_EQ(poll.NextAt(), down + 3s + 20ms);  // the back-off began again
}

}  // namespace
