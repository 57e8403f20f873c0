#include <gtest/gtest.h>

#include "CliRunner.h"

namespace {

std::string Encode(const std::string& json) {
    const CliResult run = RunCli({"encode"}, json);
    EXPECT_EQ(run.exitCode, 0) << json << ": " << run.err;
    return run.out;
}

CliResult Decode(const std::string& bytes) {
    return RunCli({"decode"}, bytes);
}

// What a string is read as, and its JSON, are tested by direct calls (tests/sign,
// tests/core/decoding); here the pipe of the commands, each line ending in a newline.
TEST(CliDecodeTest, EncodeDecodeEncodeGivesTheSameBytes) {
    const char* json =
        R"({"address":"group","group":99,"unit":9999,"displayMode":"clear","position":"start",
            "clearLine":true,"effect":"scroll","lines":[[{"text":"a^b","color":"green"},
            {"text":"\u20ac\u00e9\u0001\"\\","size":3,"color":"red"}],"",[{"text":"x","size":4}]]})";
    const std::string bytes = Encode(json);
    const CliResult decoded = Decode(bytes);
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.err, "");
    EXPECT_EQ(Encode(decoded.out), bytes) << "read as " << decoded.out;
}

TEST(CliDecodeTest, WarningsGoToStandardErrorWithTheirOffsets) {
    const CliResult run = Decode("^E0^A01X^Kq");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err,
              "offset 3: ^A01 stands out of the header's order (^A, ^E, ^L, ^C, effect)\n"
              "offset 3: truncated address ^A01: missing digits read as 0\n"
              "offset 8: ^Kq is not a code: the character size code ^K takes a digit 0 to 4; "
              "read as text\n");
    EXPECT_NE(run.out.find(R"("lines":["X^Kq"])"), std::string::npos) << run.out;
}

TEST(CliDecodeTest, InputThatCannotBeRead) {
    const struct {
        const char* name;
        QStringList arguments;
        int exitCode;
        std::string errorContains;
    } cases[] = {
        {"missing file", {"decode", "/nonexistent/cmd"}, 2, "cannot read /nonexistent/cmd"},
        {"a folder", {"decode", "/"}, 2, "cannot read /"},
        {"two files", {"decode", "a", "b"}, 2, "unexpected argument"},
    };
    for (const auto& c : cases) {
        const CliResult run = RunCli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_NE(run.err.find(c.errorContains), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.name;
    }
}

}  // namespace
