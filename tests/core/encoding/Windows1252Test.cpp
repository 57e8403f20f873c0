#include <gtest/gtest.h>

#include "encoding/Windows1252.h"

namespace {

TEST(Windows1252Test, EncodesCharactersWithSingleByteForms) {
    const struct {
        const char* utf8;
        std::string bytes;
    } cases[] = {
        {"HELLO ^K3", "HELLO ^K3"},
        {"\u20ac", "\x80"},
        {"\u00e9t\u00e9", "\xe9t\xe9"},
        {"\u201cquoted\u201d", "\x93quoted\x94"},
        {"\u00ff\u0178", "\xff\x9f"},
        {"\u4e2d", "?"},
        {"\U0001F600", "?"},
        {"a\xffz", "a?z"},
        {"\xe2\x82", "??"},
        {"\xc0\xaf", "??"},
        {"\xed\xa0\x80", "???"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.bytes) << c.utf8;
    }
}

TEST(Windows1252Test, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
    }
    const std::string utf8 = Windows1252ToUtf8(all);
    EXPECT_EQ(Utf8ToWindows1252(utf8), all);
    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\u20ac");
    EXPECT_EQ(Windows1252ToUtf8("\x81"), "\u0081");
}

// The CLI warns about the first character that the sign would get as "?".
TEST(Windows1252Test, FindsTheFirstCharacterThatBecomesAQuestionMark) {
    const struct {
        const char* utf8;
        bool found;
        size_t offset;
        char32_t codePoint;
        bool malformed;
    } cases[] = {
        {"plain ^K3 and a real ?", false, 0, 0, false},
        {"\u20ac\u00e9 fit", false, 0, 0, false},
        {"ab\u4e2d\U0001F600", true, 2, 0x4E2D, false},
        {"\u00e9\U0001F600", true, 2, 0x1F600, false},
        {"a\xffz", true, 1, 0xFFFD, true},
        {"\ufffd", true, 0, 0xFFFD, false},
    };
    for (const auto& c : cases) {
        const auto found = FindUnencodable(c.utf8);
        ASSERT_EQ(found.has_value(), c.found) << c.utf8;
        if (found) {
            EXPECT_EQ(found->offset, c.offset) << c.utf8;
            EXPECT_EQ(found->codePoint, c.codePoint) << c.utf8;
            EXPECT_EQ(found->malformed, c.malformed) << c.utf8;
        }
    }
}

}  // namespace
