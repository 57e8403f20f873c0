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

TEST(CliDecodeTest, EncodeDecodeEncodeGivesTheSameBytes) {
    const char* messages[] = {
        R"({})",
        R"({"address":"default","position":"default","lines":["HELLO"]})",
        R"({"address":"broadcast","group":2,"unit":7,"displayMode":"clear-line",
            "position":"start","line":4,"column":40,"effect":"scroll",
            "lines":["A","",[{"text":"big","size":5,"color":"yellow","blink":true}]]})",
        R"({"address":"group","group":99,"unit":9999,"displayMode":"clear","position":"start",
            "clearLine":true,"effect":"blink","lines":[[{"text":"a^b","color":"green"},
            {"text":"\u20ac\u00e9\u0001\"\\","size":3,"color":"red"},{"text":"x","size":4}]]})",
        R"({"effect":"scroll-once","lines":["typed ^C1, ^A01 and ^P1Z stay text",""]})",
        R"({"displayMode":"clear-home-reset","effect":"blink-off","lines":[]})",
    };
    for (const char* json : messages) {
        const std::string bytes = Encode(json);
        const CliResult decoded = Decode(bytes);
        EXPECT_EQ(decoded.exitCode, 0) << json;
        EXPECT_EQ(Encode(decoded.out), bytes) << json << "\nread as " << decoded.out;
    }
}

TEST(CliDecodeTest, WritesTheMessageJson) {
    const struct {
        const char* name;
        std::string bytes;
        std::string json;
    } cases[] = {
        {"every header field", "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N",
         R"({"address":"unit","group":1,"unit":5,"displayMode":"clear-home","position":"start",)"
         R"("line":2,"column":3,"clearLine":true,"effect":"scroll-once","lines":[)"
         R"([{"text":"AB","size":2,"color":"green","blink":false}],)"
         R"([{"text":"Q","size":2,"color":"yellow","blink":true}]]})"},
        {"runs of equal attributes merged", "^L1^K0^dC1AB^K0C^K1D",
         R"({"address":"default","displayMode":"none","position":"default","effect":"default",)"
         R"("lines":[[{"text":"ABC","size":1,"color":"red","blink":false},)"
         R"({"text":"D","size":2,"color":"red","blink":false}]]})"},
        {"windows-1252 text", "^L0^C1^K0^dC1\x80\xe9\n",
         R"({"address":"default","displayMode":"none","position":"center","effect":"default",)"
         R"("lines":[")"
         "\u20ac\u00e9"
         R"("]})"},
        {"empty string", "",
         R"({"address":"default","displayMode":"none","position":"default","effect":"default",)"
         R"("lines":[""]})"},
    };
    for (const auto& c : cases) {
        const CliResult run = Decode(c.bytes);
        EXPECT_EQ(run.exitCode, 0) << c.name;
        EXPECT_EQ(run.err, "") << c.name;
        EXPECT_EQ(QString::fromStdString(run.out), QString::fromStdString(c.json + "\n")) << c.name;
    }
}

TEST(CliDecodeTest, SetupStringsGiveBackWhatNetworkWasGiven) {
    const struct {
        QStringList arguments;
        std::string json;
    } cases[] = {
        {{"setup", "--type", "ethernet", "--ip", "10.1.200.7", "--mask", "255.255.0.0", "--gateway",
          "10.1.0.254", "--group", "1", "--unit", "3"},
         R"({"action":"setup","type":"ethernet","group":1,"unit":3,"ip":"10.1.200.7",)"
         R"("mask":"255.255.0.0","gateway":"10.1.0.254"})"},
        {{"setup", "--type", "devicenet", "--station", "63", "--baud", "500", "--input", "120",
          "--byte-order", "3", "--group", "2", "--unit", "5"},
         R"({"action":"setup","type":"devicenet","group":2,"unit":5,"station":63,"baud":500,)"
         R"("input":120,"output":2,"byte-order":3})"},
        {{"setup", "--type", "profibus", "--station", "125", "--input", "1", "--byte-order", "2"},
         R"({"action":"setup","type":"profibus","group":0,"unit":0,"station":125,"input":1,)"
         R"("output":2,"byte-order":2})"},
        {{"defaults", "--type", "profibus", "--group", "2", "--unit", "8"},
         R"({"action":"defaults","type":"profibus","group":2,"unit":8})"},
        {{"disable", "--type", "devicenet"},
         R"({"action":"disable","type":"devicenet","group":0,"unit":0})"},
    };
    for (const auto& c : cases) {
        const CliResult network = RunCli(QStringList{"network"} + c.arguments);
        ASSERT_EQ(network.exitCode, 0) << network.err;
        const CliResult decoded = Decode(network.out);
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_EQ(decoded.err, "") << network.out;
        EXPECT_EQ(decoded.out, c.json + "\n") << network.out;
    }
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
