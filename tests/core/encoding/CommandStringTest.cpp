#include <gtest/gtest.h>

#include "encoding/CommandNotation.h"
#include "encoding/MessageSettings.h"

namespace {

MessageSettings Nothing() {
    MessageSettings s;
    s.address = kAddressDefault;
    s.position = kPositionDefault;
    s.effect = kEffectDefault;
    s.displayMode = kDisplayDoNothing;
    return s;
}

struct HeaderCase {
    const char* name;
    MessageSettings settings;
    std::string body;
    std::string expected;
};

MessageSettings With(void (*change)(MessageSettings&)) {
    MessageSettings s = Nothing();
    change(s);
    return s;
}

const HeaderCase kHeaderCases[] = {
    {"AllNothingEmptyText", Nothing(), "", ""},
    {"PlainHello", Nothing(), "^K0^dC1HELLO", "^L0^K0^dC1HELLO"},
    {"UnitAddressScrollOnce", With([](MessageSettings& s) {
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
     "^K1^dC2AB^N^K1^dC3^X1Q", "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N"},
    {"DefaultAddressIgnoresNumbers", With([](MessageSettings& s) {
         s.groupNumber = 2;
         s.unitNumber = 7;
     }),
     "", ""},
    {"BroadcastCarriesStoredNumbers", With([](MessageSettings& s) {
         s.address = kAddressBroadcast;
         s.groupNumber = 2;
         s.unitNumber = 7;
     }),
     "", "^A020007"},
    {"GroupAddress", With([](MessageSettings& s) {
         s.address = kAddressSpecificGroup;
         s.groupNumber = 1;
     }),
     "", "^A010000"},
    {"LargeStoredNumbersWiden", With([](MessageSettings& s) {
         s.address = kAddressSpecificUnit;
         s.groupNumber = 123;
         s.unitNumber = 54321;
     }),
     "", "^A12354321"},
    {"NegativeNumbersKeepSign", With([](MessageSettings& s) {
         s.address = kAddressSpecificUnit;
         s.groupNumber = -1;
         s.unitNumber = -5;
     }),
     "", "^A-1-005"},
    {"DisplayModeOne", With([](MessageSettings& s) { s.displayMode = 1; }), "", "^E0"},
    {"DisplayModeTwo", With([](MessageSettings& s) { s.displayMode = 2; }), "", "^E1"},
    {"DisplayModeThree", With([](MessageSettings& s) { s.displayMode = 3; }), "", "^E2"},
    {"DisplayModeFour", With([](MessageSettings& s) { s.displayMode = 4; }), "", "^E3"},
    {"SizeModeLargestWins", Nothing(), "^K0a^K2b", "^L2^K0a^K2b"},
    {"SizeModeFifthSizeCountsAsThree", Nothing(), "^K4a", "^L3^K4a"},
    {"SizeModeOne", Nothing(), "^K1a^K0b", "^L1^K1a^K0b"},
    {"TypedSizeCodeCounts", Nothing(), "^K0^dC1^K3", "^L3^K0^dC1^K3"},
    {"NoSizeCodeNoSizeMode", Nothing(), "^dC1", "^dC1"},
    {"Center", With([](MessageSettings& s) { s.position = kPositionCenter; }), "", "^C1"},
    {"CenterIgnoresClearFlag", With([](MessageSettings& s) {
         s.position = kPositionCenter;
         s.clearMessageOnLine = true;
     }),
     "", "^C1"},
    {"StartingAtKeep", With([](MessageSettings& s) {
         s.position = kPositionStartingAt;
         s.line = 2;
         s.column = 13;
     }),
     "", "^C0^M0213"},
    {"StartingAtClear", With([](MessageSettings& s) {
         s.position = kPositionStartingAt;
         s.line = 2;
         s.column = 13;
         s.clearMessageOnLine = true;
     }),
     "", "^C0^H0213"},
    {"StartingAtFirstCell", With([](MessageSettings& s) {
         s.position = kPositionStartingAt;
         s.line = 1;
         s.column = 1;
     }),
     "", "^C0^M0101"},
    {"StartingAtLastCell", With([](MessageSettings& s) {
         s.position = kPositionStartingAt;
         s.line = 4;
         s.column = 40;
     }),
     "", "^C0^M0440"},
    {"UnknownPositionEmitsNothing", With([](MessageSettings& s) { s.position = 7; }), "", ""},
    {"BlinkWhole", With([](MessageSettings& s) { s.effect = 1; }), "x", "^B1x"},
    {"TurnOffBlinking", With([](MessageSettings& s) { s.effect = 2; }), "x", "^B0x"},
    {"ScrollRepeatedly", With([](MessageSettings& s) { s.effect = 3; }), "x", "^D1x^N"},
    {"ScrollOnce", With([](MessageSettings& s) { s.effect = 4; }), "B", "^D0B^N"},
    {"UnknownEffectEmitsNothing", With([](MessageSettings& s) { s.effect = 9; }), "x", "x"},
    {"TwoLinesScroll", With([](MessageSettings& s) { s.effect = 3; }), "^K0^dC1A^N^K0^dC1B",
     "^L0^D1^K0^dC1A^N^K0^dC1B^N"},
    {"EveryElementInOrder", With([](MessageSettings& s) {
         s.address = kAddressBroadcast;
         s.displayMode = 2;
         s.position = kPositionCenter;
         s.effect = 1;
     }),
     "^K1^dC1Z", "^A000000^E1^L1^C1^B1^K1^dC1Z"},
};

TEST(BuildCommandStringTest, ProducesExactString) {
    for (const HeaderCase& c : kHeaderCases) {
        EXPECT_EQ(BuildCommandString(c.settings, c.body), c.expected) << c.name;
    }
}

TEST(BuildCommandStringTest, StartUpSettingsBroadcastCentered) {
    EXPECT_EQ(BuildCommandString(MessageSettings{}, ""), "^A000000^C1");
}

TEST(FormatDecimalTest, MatchesPrintfPadding) {
    EXPECT_EQ(FormatDecimal(5, 2), "05");
    EXPECT_EQ(FormatDecimal(5, 4), "0005");
    EXPECT_EQ(FormatDecimal(12345, 4), "12345");
    EXPECT_EQ(FormatDecimal(-5, 4), "-005");
    EXPECT_EQ(FormatDecimal(-5, 1), "-5");
    EXPECT_EQ(FormatDecimal(INT32_MIN, 2), "-2147483648");
}

TEST(CheckStartPositionTest, LineFirstThenColumn) {
    EXPECT_FALSE(CheckStartPosition(1, 1));
    EXPECT_FALSE(CheckStartPosition(4, 40));
    const auto line = CheckStartPosition(0, 41);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->field, PositionField::kLine);
    EXPECT_EQ(line->message, "Invalid Input.\nInput Range is 1-4.");
    const auto column = CheckStartPosition(3, 41);
    ASSERT_TRUE(column);
    EXPECT_EQ(column->field, PositionField::kColumn);
    EXPECT_EQ(column->message, "Invalid Input.\nInput Range is 1-40.");
    EXPECT_TRUE(CheckStartPosition(5, 1));
    EXPECT_TRUE(CheckStartPosition(1, 0));
}

}  // namespace
