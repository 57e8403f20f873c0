#include <gtest/gtest.h>

#include "CliInProcess.h"

namespace {

std::string Encode(const std::string& json) {
    const CliResult run = RunInProcess({"encode"}, json);
    EXPECT_EQ(run.exitCode, 0) << json << ": " << run.err;
    return run.out;
}

CliResult Decode(const std::string& bytes) {
    return RunInProcess({"decode"}, bytes);
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

// A string of one fault repeated (a line feed is a warning a byte) shows the first warnings by
// offset and then how many more there were, not a line a byte.
TEST(CliDecodeTest, ShowsTheFirstHundredWarningsAndCountsTheRest) {
    const struct {
        size_t lineFeeds;
        std::string lastLine;
    } cases[] = {
        {100, "offset 99: "},
        {101, "1 more warning left out"},
        {1000, "900 more warnings left out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lineFeeds);
        // The text after them keeps the last line feed from being taken for the line end of a pipe.
        const CliResult run = Decode(std::string(c.lineFeeds, '\n') + "X");
        EXPECT_EQ(run.exitCode, 0);
        size_t shown = 0;
        for (size_t at = run.err.find("offset "); at != std::string::npos;
             at = run.err.find("offset ", at + 1)) {
            ++shown;
        }
        EXPECT_EQ(shown, 100U);
        const size_t lastLine = run.err.rfind('\n', run.err.size() - 2) + 1;
        EXPECT_EQ(run.err.substr(lastLine).rfind(c.lastLine, 0), 0U) << run.err.substr(lastLine);
        EXPECT_NE(run.out.find(R"("lines":[)"), std::string::npos);
    }
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
        const CliResult run = RunInProcess(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_NE(run.err.find(c.errorContains), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.name;
    }
}

}  // namespace
