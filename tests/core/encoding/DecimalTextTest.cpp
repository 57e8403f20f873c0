#include <gtest/gtest.h>

#include "encoding/DecimalText.h"

namespace {

TEST(ParseDecimalTest, ReadsLikeTheEditBoxes) {
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"", 0},
        {"   ", 0},
        {"abc", 0},
        {"42", 42},
        {"  42", 42},
        {"\t+7", 7},
        {"-3", -3},
        {"12abc", 12},
        {"1 2", 1},
        {"- 5", 0},
        {"+-5", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"99999999999999999999", 2147483647},
        {"-2147483648", INT32_MIN},
        {"-99999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseDecimal(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(TrimWhiteSpaceTest, TrimsBothEnds) {
    EXPECT_EQ(TrimWhiteSpace("  a b \t\n"), "a b");
    EXPECT_EQ(TrimWhiteSpace("   "), "");
    EXPECT_EQ(TrimWhiteSpace(""), "");
}

}  // namespace
