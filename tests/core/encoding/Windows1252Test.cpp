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

}  // namespace
