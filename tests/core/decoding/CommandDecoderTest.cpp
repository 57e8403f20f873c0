#include <gtest/gtest.h>

#include "decoding/CommandDecoder.h"
#include "support/CellLines.h"

namespace {

DecodedMessage ReadMessage(const std::string& bytes,
                           std::vector<DecodeWarning>* warnings = nullptr) {
    DecodedCommand decoded = DecodeCommandString(bytes);
    if (warnings != nullptr) {
        *warnings = decoded.warnings;
    }
    const auto* message = std::get_if<DecodedMessage>(&decoded.content);
    EXPECT_NE(message, nullptr) << bytes;
    return message != nullptr ? *message : DecodedMessage{};
}

MessageSettings Nothing(void (*change)(MessageSettings&) = nullptr) {
    MessageSettings s = DecodedMessage::NothingSettings();
    if (change != nullptr) {
        change(s);
    }
    return s;
}

CellLine Blinking(CellLine line) {
    for (CharCell& cell : line) {
        cell.blink = true;
    }
    return line;
}

TEST(CommandDecoderTest, ReadsHeaderAndBodyOfKnownStrings) {
    const struct {
        const char* name;
        std::string bytes;
        MessageSettings settings;
        std::vector<CellLine> lines;
        size_t warnings = 0;
    } cases[] = {
        {"empty string", "", Nothing(), {CellLine{}}},
        {"plain hello", "^L0^K0^dC1HELLO", Nothing(), {Cells("HELLO")}},
        {"every header code",
         "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N",
         Nothing([](MessageSettings& s) {
             s.address = kAddressSpecificUnit;
             s.groupNumber = 1;
             s.unitNumber = 5;
             s.displayMode = kDisplayClearHome;
             s.position = kPositionStartingAt;
             s.line = 2;
             s.column = 3;
             s.clearMessageOnLine = true;
             s.effect = kEffectScrollOnce;
         }),
         {Cells("AB", 2, kGreen), Blinking(Cells("Q", 2, kYellow))}},
        {"confirmation message",
         "^A000000^E1^L0^C1^D1^K0^dC1Ethernet Communication Attributes Programmed.^N",
         Nothing([](MessageSettings& s) {
             s.address = kAddressSpecificUnit;
             s.displayMode = kDisplayClearHomeReset;
             s.position = kPositionCenter;
             s.effect = kEffectScrollRepeatedly;
         }),
         {Cells("Ethernet Communication Attributes Programmed.")}},
        {"scroll text ending in a line break",
         "^L0^D1^K0^dC1AB^N^N",
         Nothing([](MessageSettings& s) { s.effect = kEffectScrollRepeatedly; }),
         {Cells("AB"), CellLine{}}},
        {"empty scroll text",
         "^D0^N",
         Nothing([](MessageSettings& s) { s.effect = kEffectScrollOnce; }),
         {CellLine{}}},
        {"size 5 and a change inside the line",
         "^L3^K4^dC1A^K0^dC3B^X1C^N^X0D",
         Nothing(),
         {Join(Join(Cells("A", 5), Cells("B", 1, kYellow)), Blinking(Cells("C", 1, kYellow))),
          Cells("D", 1, kYellow)}},
        {"typed caret before a non-code", "^L0^K0^dC1A^^Q^", Nothing(), {Cells("A^^Q^")}},
        {"header codes inside the text are text",
         "^L0^K0^dC1^C1^B1^A01",
         Nothing(),
         {Cells("^C1^B1^A01")},
         3},
    };
    for (const auto& c : cases) {
        std::vector<DecodeWarning> warnings;
        const DecodedMessage message = ReadMessage(c.bytes, &warnings);
        EXPECT_EQ(message.settings, c.settings) << c.name;
        EXPECT_EQ(message.lines, c.lines) << c.name;
        EXPECT_EQ(warnings.size(), c.warnings) << c.name;
    }
}

TEST(CommandDecoderTest, WarnsWithTheOffsetAndKeepsTheBestReading) {
    const struct {
        const char* name;
        std::string bytes;
        size_t offset;
        std::string warning;
        std::string text;  // the first line's characters
    } cases[] = {
        {"address after the display mode", "^E0^A010005^L0^K0^dC1X", 3,
         "^A010005 stands out of the header's order", "X"},
        {"repeated header code", "^L0^C1^C1^K0^dC1X", 6, "^C1 repeats a header code", "X"},
        {"size mode too small", "^L1^K0^dC1A^K3B", 0,
         "^L1 does not match the text's largest size, which gives ^L3", "AB"},
        {"size mode without sizes", "^L0A", 0, "^L0 stands before a text without size codes", "A"},
        {"size mode missing", "^K2^dC1A", 0, "no ^L before the text; its largest size gives ^L2",
         "A"},
        {"size code without a digit", "^L0^K0^dC1A^Kx", 11,
         "^Kx is not a code: the character size code ^K takes a digit 0 to 4", "A^Kx"},
        {"size code at the end", "^L0^K0^dC1A^K", 11, "^K is not a code", "A^K"},
        {"colour code without a digit", "^L0^K0^dC1A^dCB", 11,
         "^dCB is not a code: the colour code ^dC takes a digit 1 to 3", "A^dCB"},
        {"unknown display mode", "^E7X", 0,
         "^E7 is not a code: the display mode code ^E takes a digit 0 to 3", "^E7X"},
        {"unknown position", "^C2X", 0, "^C2 is not a code", "^C2X"},
        {"truncated address", "^A01", 0, "truncated address ^A01: missing digits read as 0", ""},
        {"truncated position", "^C0^M02", 0, "truncated position ^C0^M02", ""},
        {"scroll text without its end", "^L0^D1^K0^dC1AB", 15,
         "the scrolling text does not end with ^N", "AB"},
        {"header code inside the text", "^L0^K0^dC1A^B1B", 11,
         "header code ^B1 inside the text is read as text", "A^B1B"},
        {"network code inside the text", "^L0^K0^dC1^P1Z", 10,
         "network code ^P1Z inside a message is read as text", "^P1Z"},
        {"line feed byte", "^L0^K0^dC1A\nB", 11, "byte <0A> is a character here, not a line break",
         "A\nB"},
    };
    for (const auto& c : cases) {
        std::vector<DecodeWarning> warnings;
        const DecodedMessage message = ReadMessage(c.bytes, &warnings);
        ASSERT_EQ(warnings.size(), 1U)
            << c.name << ": " << (warnings.size() < 2 ? "" : warnings[1].text);
        EXPECT_EQ(warnings[0].offset, c.offset) << c.name;
        EXPECT_NE(warnings[0].text.find(c.warning), std::string::npos)
            << c.name << ": " << warnings[0].text;
        std::string text;
        for (const CharCell& cell : message.lines.at(0)) {
            text += static_cast<char>(cell.character);
        }
        EXPECT_EQ(text, c.text) << c.name;
    }
}

TEST(CommandDecoderTest, TruncatedCodesKeepTheDigitsGiven) {
    const DecodedMessage address = ReadMessage("^A01");
    EXPECT_EQ(address.settings.address, kAddressSpecificUnit);
    EXPECT_EQ(address.settings.groupNumber, 1);
    EXPECT_EQ(address.settings.unitNumber, 0);
    const DecodedMessage position = ReadMessage("^C0^M02");
    EXPECT_EQ(position.settings.position, kPositionStartingAt);
    EXPECT_EQ(position.settings.line, 2);
    EXPECT_EQ(position.settings.column, 0);
}

TEST(CommandDecoderTest, StateCarriesOverWhereALineOmitsItsCodes) {
    // Not what the encoder writes, but what a sign would show: the last size and colour hold.
    const DecodedMessage message = ReadMessage("^L1^K1^dC2^X1A^NB");
    ASSERT_EQ(message.lines.size(), 2U);
    EXPECT_EQ(message.lines[1], Blinking(Cells("B", 2, kGreen)));
}

TEST(CommandDecoderTest, WarningsComeInOffsetOrder) {
    std::vector<DecodeWarning> warnings;
    ReadMessage("^L3^E0^K0^dC1A^Kx", &warnings);
    ASSERT_EQ(warnings.size(), 3U);
    EXPECT_EQ(warnings[0].offset, 0U);   // ^L3 does not match
    EXPECT_EQ(warnings[1].offset, 3U);   // ^E0 out of order
    EXPECT_EQ(warnings[2].offset, 14U);  // ^Kx
}

TEST(CommandDecoderTest, KeepsTheFirstWarningsByOffsetAndCountsTheRest) {
    constexpr size_t kMegabyte = size_t{1} << 20;
    const std::string lineFeeds(kMegabyte, '\n');
    const struct {
        const char* name;
        std::string bytes;
        size_t limit;
        std::vector<size_t> firstOffsets;
        size_t kept;
        size_t leftOut;
    } cases[] = {
        {"a megabyte of line feeds", lineFeeds, 100, {0, 1, 2}, 100, kMegabyte - 100},
        {"found last, first by offset", "^L3" + std::string(300, '\n'), 2, {0, 3}, 2, 299},
    };
    for (const auto& c : cases) {
        const DecodedCommand decoded = DecodeCommandString(c.bytes, c.limit);
        ASSERT_EQ(decoded.warnings.size(), c.kept) << c.name;
        for (size_t i = 0; i < c.firstOffsets.size(); ++i) {
            EXPECT_EQ(decoded.warnings[i].offset, c.firstOffsets[i]) << c.name << " " << i;
        }
        EXPECT_EQ(decoded.warningsLeftOut, c.leftOut) << c.name;
    }
}

}  // namespace
