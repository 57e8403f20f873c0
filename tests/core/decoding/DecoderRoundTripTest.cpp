// Generated messages of every header choice and random text: reading the encoded string back gives
// the same choices and cell lines, and encoding what was read gives the same bytes.
#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "decoding/CommandDecoder.h"
#include "editor/BodyEncoder.h"
#include "support/CellLines.h"

namespace {

constexpr int kMessages = 4000;
constexpr Rgb kColours[] = {kRed, kYellow, kGreen};

// Letters that make a typed caret the start of a body code: such a text cannot be told from codes
// by anyone, the sign included.
bool StartsBodyCode(unsigned char c) {
    return c == 'K' || c == 'd' || c == 'X' || c == 'N';
}

class CMessageGenerator {
public:
    explicit CMessageGenerator(uint32_t seed) : m_random(seed) {}

    MessageSettings Settings() {
        MessageSettings s;
        s.address = Pick(0, 3);
        s.groupNumber = Pick(0, 99);
        s.unitNumber = Pick(0, 9999);
        s.displayMode = Pick(0, 4);
        s.position = Pick(0, 2);
        s.line = Pick(1, 4);
        s.column = Pick(1, 40);
        s.clearMessageOnLine = Pick(0, 1) == 1;
        s.effect = Pick(0, 4);
        return s;
    }

    // Mostly printable text with carets and typed codes now and then, and every byte value.
    std::vector<CellLine> Lines() {
        std::vector<CellLine> lines(static_cast<size_t>(Pick(1, 4)));
        for (CellLine& line : lines) {
            const int length = Pick(0, 3) == 0 ? 0 : Pick(1, 30);
            CharCell attributes = RandomAttributes();
            for (int i = 0; i < length; ++i) {
                if (Pick(0, 4) == 0) {
                    attributes = RandomAttributes();
                }
                CharCell cell = attributes;
                cell.character = RandomCharacter(line.empty() ? 0 : line.back().character);
                line.push_back(cell);
            }
        }
        return lines;
    }

private:
    int32_t Pick(int32_t low, int32_t high) {
        return std::uniform_int_distribution<int32_t>(low, high)(m_random);
    }

    CharCell RandomAttributes() {
        return CharCell{Pick(kMinSizeIndex, kMaxSizeIndex), 0, kColours[Pick(0, 2)],
                        Pick(0, 1) == 1};
    }

    unsigned char RandomCharacter(unsigned char before) {
        static constexpr std::string_view kCodeLike = "^^^AEL0123CBDHMP";
        unsigned char c = 0;
        do {
            const int kind = Pick(0, 9);
            if (kind < 6) {
                c = static_cast<unsigned char>(Pick(0x20, 0x7E));
            } else if (kind < 8) {
                c = static_cast<unsigned char>(kCodeLike[static_cast<size_t>(
                    Pick(0, static_cast<int32_t>(kCodeLike.size()) - 1))]);
            } else {
                c = static_cast<unsigned char>(Pick(0, 255));
            }
        } while (before == '^' && StartsBodyCode(c));
        return c;
    }

    std::mt19937 m_random;
};

// What the string carries of the choices: the address modes write the same bytes, and line,
// column and "Clear Message on line" only go with "Starting at".
MessageSettings Carried(const MessageSettings& s) {
    MessageSettings carried = DecodedMessage::NothingSettings();
    if (s.address != kAddressDefault) {
        carried.address = kAddressSpecificUnit;
        carried.groupNumber = s.groupNumber;
        carried.unitNumber = s.unitNumber;
    }
    carried.displayMode = s.displayMode;
    carried.position = s.position;
    if (s.position == kPositionStartingAt) {
        carried.line = s.line;
        carried.column = s.column;
        carried.clearMessageOnLine = s.clearMessageOnLine;
    }
    carried.effect = s.effect;
    return carried;
}

bool HasCaretOrLineEnd(const std::vector<CellLine>& lines) {
    for (const CellLine& line : lines) {
        for (const CharCell& cell : line) {
            if (cell.character == '^' || cell.character == '\n' || cell.character == '\r') {
                return true;
            }
        }
    }
    return false;
}

TEST(DecoderRoundTripTest, EncodedMessagesReadBackExactly) {
    CMessageGenerator generate(20240601);
    for (int i = 0; i < kMessages; ++i) {
        const MessageSettings settings = generate.Settings();
        const std::vector<CellLine> lines = generate.Lines();
        const std::string bytes = BuildCommandString(settings, EncodeCellLines(lines));

        const DecodedCommand decoded = DecodeCommandString(bytes);
        const auto* message = std::get_if<DecodedMessage>(&decoded.content);
        ASSERT_NE(message, nullptr) << bytes;
        ASSERT_EQ(message->settings, Carried(settings)) << bytes;
        ASSERT_EQ(message->lines, lines) << bytes;
        ASSERT_EQ(BuildCommandString(message->settings, EncodeCellLines(message->lines)), bytes);
        if (!HasCaretOrLineEnd(lines)) {
            ASSERT_TRUE(decoded.warnings.empty()) << bytes << ": " << decoded.warnings[0].text;
        }
    }
}

// Addresses at the ends of what the encoder writes: the lists' and the CLI's ranges, and numbers
// above them that a stored setting sends as they are. Network strings share the reading.
TEST(DecoderRoundTripTest, AddressesAtTheEndsOfTheRangesReadBack) {
    constexpr int32_t kMost = std::numeric_limits<int32_t>::max();
    const struct {
        int32_t group;
        int32_t unit;
    } cases[] = {
        {0, 0},    {2, 8},     {99, 9999},    {100, 0},   {100, 9999},
        {123, 45}, {kMost, 0}, {kMost, 9999}, {0, 10000}, {9, kMost},
    };
    for (const auto& c : cases) {
        MessageSettings settings;
        settings.address = kAddressSpecificUnit;
        settings.groupNumber = c.group;
        settings.unitNumber = c.unit;
        const std::string message = BuildCommandString(settings, EncodeCellLines({Cells("AB", 1)}));
        const DecodedCommand decoded = DecodeCommandString(message);
        const auto* read = std::get_if<DecodedMessage>(&decoded.content);
        ASSERT_NE(read, nullptr) << message;
        EXPECT_EQ(read->settings.groupNumber, c.group) << message;
        EXPECT_EQ(read->settings.unitNumber, c.unit) << message;
        EXPECT_EQ(read->lines, std::vector<CellLine>{Cells("AB", 1)}) << message;
        EXPECT_TRUE(decoded.warnings.empty()) << message << ": " << decoded.warnings[0].text;
    }
    // Digits no encoder writes after an address: two and four are the address, the rest text.
    const DecodedCommand typed = DecodeCommandString("^A0100051");
    const auto& read = std::get<DecodedMessage>(typed.content);
    EXPECT_EQ(read.settings.groupNumber, 1);
    EXPECT_EQ(read.settings.unitNumber, 5);
    EXPECT_EQ(read.lines.front().size(), 1u);
}

TEST(DecoderRoundTripTest, ArbitraryBytesAlwaysGiveAReading) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> codeByte(0, 15);
    constexpr std::string_view kCodeBytes = "^^^^AEL0123CPKdN";
    for (int i = 0; i < kMessages; ++i) {
        std::string bytes(static_cast<size_t>(i % 64), '\0');
        for (char& c : bytes) {
            c = i % 2 == 0 ? static_cast<char>(byte(random))
                           : kCodeBytes[static_cast<size_t>(codeByte(random))];
        }
        const DecodedCommand decoded = DecodeCommandString(bytes);
        for (const DecodeWarning& warning : decoded.warnings) {
            ASSERT_LE(warning.offset, bytes.size()) << warning.text;
        }
        if (const auto* message = std::get_if<DecodedMessage>(&decoded.content)) {
            ASSERT_FALSE(message->lines.empty());
        }
    }
}

}  // namespace
