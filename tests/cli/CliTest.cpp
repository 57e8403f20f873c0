#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include "CliInProcess.h"
#include "settings/SignsFile.h"

namespace {

// The reader and the encoder are tested by direct calls (tests/settings/MessageJsonTest.cpp);
// here where the command reads and what it prints.
TEST(CliEncodeTest, WritesTheCommandString) {
    const std::string path = WriteTempFile("msg.json", R"({"address":"default","lines":["X"]})");
    const struct {
        const char* name;
        QStringList arguments;
        std::string input;
        std::string expected;  // the command string, without the newline
    } cases[] = {
        {"standard input, start-up values", {"encode"}, "{}", "^A000000^C1"},
        {"a file", {"encode", QString::fromStdString(path)}, "", "^L0^C1^K0^dC1X"},
        {"dash, every header code",
         {"encode", "-"},
         R"({"address":"unit","group":1,"unit":5,"displayMode":"clear-home","position":"start",
             "line":2,"column":3,"clearLine":true,"effect":"scroll-once",
             "lines":[[{"text":"AB","size":2,"color":"green"}],
                      [{"text":"Q","size":2,"color":"yellow","blink":true}]]})",
         "^A010005^E0^L1^C0^H0203^D0^K1^dC2AB^N^K1^dC3^X1Q^N"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunInProcess(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
        EXPECT_EQ(result.out, c.expected + "\n") << c.name;
        EXPECT_EQ(result.err, "") << c.name;
    }
}

struct BadCase {
    const char* name;
    QStringList arguments;
    std::string input;
    std::string errorContains;
};

// Bad input: exit status 2, nothing on standard output, the reason on standard error.
template <size_t N>
void ExpectBadInput(const BadCase (&cases)[N]) {
    for (const BadCase& c : cases) {
        const CliResult result = RunInProcess(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, 2) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
        EXPECT_NE(result.err.find(c.errorContains), std::string::npos)
            << c.name << ": " << result.err;
    }
}

// What the reader refuses is tested by direct calls (tests/settings/MessageJsonTest.cpp); here
// the exit status and the line on standard error.
TEST(CliEncodeTest, RejectsBadInputWithStatusTwo) {
    const BadCase cases[] = {
        {"missing file", {"encode", "/nonexistent/m.json"}, "", "cannot read /nonexistent/m.json"},
        {"scalar", {"encode"}, "5", "lumivex-cli: the message must be a JSON object\n"},
        // The page's check of the position (tests/core/encoding), in its words.
        {"line range",
         {"encode"},
         R"({"position":"start","line":0,"column":50})",
         "Invalid Input.\nInput Range is 1-4.\n"},
        {"two files", {"encode", "a", "b"}, "", "unexpected argument"},
        {"unknown option", {"encode", "--fast"}, "", "unknown option --fast"},
        {"unknown command", {"encrypt"}, "", "unknown command"},
    };
    ExpectBadInput(cases);
}

// The strings themselves are tested by direct calls (tests/core/setup); here each action, type
// and option reaching them.
TEST(CliNetworkTest, PrintsEveryString) {
    const struct {
        QStringList arguments;
        std::string expected;
    } cases[] = {
        {{"network", "setup", "--type", "ethernet"},
         "^A000000^P1A192.168.000.001^P1M255.255.255.000^P1G000.000.000.000"},
        {{"network", "setup", "--type", "devicenet", "--group", "2", "--unit", "5", "--station",
          "63", "--baud", "500", "--input", "120", "--byte-order", "3"},
         "^A020005^P2A063^P2B500^P2R120^P2S002^P2W3"},
        {{"network", "setup", "--type=ethernet", "--ip", "10.1.2.3", "--mask", "255.0.0.0",
          "--gateway", "10..0.1"},
         "^A000000^P1A010.001.002.003^P1M255.000.000.000^P1G010.000.000.001"},
        {{"network", "setup", "--type", "profibus", "--station", "0", "--input", "7"},
         "^A000000^P3A000^P3R007^P3S002^P3W0"},
        {{"network", "disable", "--type", "devicenet", "--group", "1", "--unit", "3"},
         "^A010003^P2Z"},
        {{"network", "defaults", "--type", "profibus", "--group", "2", "--unit", "8"},
         "^A020008^P3L"},
        {{"network", "confirm-programmed", "--type", "profibus"},
         "^A000000^E1^L0^C1^D1^K0^dC1Profibus Communication Attributes Programmed.^N"},
        {{"network", "confirm-disabled", "--type", "ethernet", "--unit", "4"},
         "^A000004^E1^L0^C1^D1^K0^dC1Ethernet Communication Attributes Disabled.^N"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunInProcess(c.arguments);
        EXPECT_EQ(result.exitCode, 0) << c.arguments.join(' ').toStdString() << result.err;
        EXPECT_EQ(result.out, c.expected + "\n") << c.arguments.join(' ').toStdString();
    }
}

TEST(CliNetworkTest, RejectsBadInputWithStatusTwo) {
    const BadCase cases[] = {
        {"no action", {"network", "--type", "ethernet"}, "", "needs an ACTION"},
        {"no type", {"network", "setup"}, "", "needs --type"},
        {"bad type", {"network", "setup", "--type", "wifi"}, "", "--type takes"},
        {"bad action", {"network", "program", "--type", "ethernet"}, "", "unknown network action"},
        {"bad ip", {"network", "setup", "--type", "ethernet", "--ip", "1.2.3.256"}, "", "--ip"},
        {"ip for devicenet",
         {"network", "setup", "--type", "devicenet", "--ip", "1.2.3.4"},
         "",
         "applies to --type ethernet"},
        {"baud for profibus",
         {"network", "setup", "--type", "profibus", "--baud", "125"},
         "",
         "applies to --type devicenet"},
        {"bad baud", {"network", "setup", "--type", "devicenet", "--baud", "300"}, "", "--baud"},
        {"bad group", {"network", "setup", "--type", "ethernet", "--group", "x"}, "", "--group"},
        {"unit range", {"network", "setup", "--type", "ethernet", "--unit", "10000"}, "", "--unit"},
        {"byte order",
         {"network", "setup", "--type", "devicenet", "--byte-order", "4"},
         "",
         "--byte-order"},
        // The page's checks (tests/core/setup), in its words.
        {"mac id",
         {"network", "setup", "--type", "devicenet", "--station", "64"},
         "",
         "lumivex-cli: Invalid MAC Address !\nValid Range is 0 - 63\n"},
        {"twice",
         {"network", "setup", "--type", "ethernet", "--type", "ethernet"},
         "",
         "more than once"},
        {"missing value", {"network", "setup", "--type"}, "", "needs a value"},
        // The page reads "5x" as 5 and "" as 0; a script gets told instead.
        {"station not a number",
         {"network", "setup", "--type", "devicenet", "--station", "abc"},
         "",
         "lumivex-cli: --station takes a whole number from 0 to 63, not \"abc\"\n"},
        {"station half a number",
         {"network", "setup", "--type", "profibus", "--station", "5x"},
         "",
         "lumivex-cli: --station takes a whole number from 0 to 125, not \"5x\"\n"},
        {"empty input size",
         {"network", "setup", "--type", "devicenet", "--input="},
         "",
         "lumivex-cli: --input takes a whole number from 8 to 120, not \"\"\n"},
        {"input size with a blank",
         {"network", "setup", "--type", "profibus", "--input", " 7"},
         "",
         "lumivex-cli: --input takes a whole number from 1 to 122, not \" 7\"\n"},
        {"group with a plus",
         {"network", "setup", "--type", "ethernet", "--group", "+1"},
         "",
         "lumivex-cli: --group takes a whole number from 0 to 99, not \"+1\"\n"},
    };
    ExpectBadInput(cases);
}

// The sign gets "?" for a character Windows-1252 lacks; the user is told which and where, once.
TEST(CliEncodeTest, WarnsOnceAboutTheFirstCharacterTheSignGetsAsAQuestionMark) {
    const struct {
        const char* name;
        std::string json;
        std::string out;
        std::string err;
    } cases[] = {
        {"all in Windows-1252", R"({"address":"default","lines":["\u20ac\u00e9?"]})",
         "^L0^C1^K0^dC1\x80\xe9?", ""},
        {"second line, first of two",
         R"({"address":"default","position":"default","lines":["ok",[{"text":"A\u4e2d"},
             {"text":"\u2603"}]]})",
         "^L0^K0^dC1ok^N^K0^dC1A??",
         "lumivex-cli: warning: line 2: \"\u4e2d\" (U+4E2D) has no Windows-1252 form and becomes "
         "\"?\"\n"},
        {"a line break inside a text counts",
         R"({"address":"default","position":"default","lines":["a\nb\r\nc\ud83d\ude00"]})",
         "^L0^K0^dC1a^N^K0^dC1b^N^K0^dC1c?",
         "lumivex-cli: warning: line 3: \"\U0001F600\" (U+1F600) has no Windows-1252 form and "
         "becomes \"?\"\n"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunInProcess({"encode"}, c.json);
        EXPECT_EQ(result.exitCode, 0) << c.name;
        EXPECT_EQ(result.out, c.out + "\n") << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
    }
}

TEST(CliTest, HelpAndVersion) {
    const struct {
        QStringList arguments;
        int exitCode;
        std::string outContains;
    } cases[] = {
        {{"--help"}, 0, "Usage: lumivex-cli COMMAND"},
        {{"help"}, 0, "Usage: lumivex-cli COMMAND"},
        {{"encode", "--help"}, 0, "a character that has no byte there is sent as \"?\""},
        {{"help", "encode"}, 0, "a character that has no byte there is sent as \"?\""},
        {{"help", "network"}, 0, "Usage: lumivex-cli network"},
        {{"help", "send"}, 0, "Usage: lumivex-cli send"},
        {{"help", "preview"}, 0, "Usage: lumivex-cli preview"},
        {{"help", "signs"}, 0, "[--tag T]... [--gateway NAME]"},
        {{"--version"}, 0, "lumivex-cli 1.2\n"},
        {{"help", "program"}, 2, ""},
        {{}, 2, ""},
    };
    for (const auto& c : cases) {
        const CliResult result = RunInProcess(c.arguments);
        const std::string name = c.arguments.join(' ').toStdString();
        EXPECT_EQ(result.exitCode, c.exitCode) << name;
        EXPECT_NE(result.out.find(c.outContains), std::string::npos) << name << ": " << result.out;
    }
    EXPECT_EQ(RunInProcess({"help", "send"}).out, RunInProcess({"send", "--help"}).out);
}

// signs add takes each sign's gateway, the list shows it, and a sign of none among several
// gateways is refused in the command's words; the rule itself is SignsFileTest's.
TEST(CliTest, SignsAddTakesTheGateway) {
    QFile::remove(DefaultSignsFilePath());
    const struct {
        QStringList arguments;
        int exitCode;
        const char* said;  // standard error when refused, else standard output
    } steps[] = {
        {{"signs", "add", "A", "--link", "COM1", "--gateway", "hall-a", "--tag", "dock"}, 0, ""},
        {{"signs", "add", "B", "--link", "COM2", "--gateway", "hall-b"}, 0, ""},
        {{"signs", "add", "C", "--link", "COM3"},
         2,
         "lumivex-cli: signs.json names the gateways hall-a and hall-b: give the sign its "
         "--gateway\n"},
        {{"signs"},
         0,
         "A: COM1 at 9600, broadcast, model 0, gateway hall-a, tags dock\n"
         "B: COM2 at 9600, broadcast, model 0, gateway hall-b\n"},
    };
    for (const auto& step : steps) {
        const CliResult result = RunInProcess(step.arguments);
        EXPECT_EQ(result.exitCode, step.exitCode) << result.err;
        EXPECT_EQ(step.exitCode == 0 ? result.out : result.err, step.said);
    }
    QFile::remove(DefaultSignsFilePath());
}

// The program itself, on its own standard streams: the command's status becomes the exit status,
// and input or output that fails makes the command fail with the system's reason.
TEST(CliTest, TheProgramExitsWithTheCommandsStatus) {
    const struct {
        const char* name;
        QStringList arguments;
        std::string input;
        CliHooks hooks;
        int exitCode;
        std::string out;
        std::string err;
    } cases[] = {
        {"done", {"encode"}, "{}", {}, 0, "^A000000^C1\n", ""},
        {"bad input",
         {"encode"},
         "5",
         {},
         2,
         "",
         "lumivex-cli: the message must be a JSON object\n"},
        {"output that cannot be written",
         {"network", "disable", "--type", "ethernet"},
         "",
         {[](QProcess& process) { process.setStandardOutputFile("/dev/full"); }, {}},
         1,
         "",
         "lumivex-cli: cannot write the output: No space left on device\n"},
        {"input that cannot be read",
         {"decode"},
         "",
         {[](QProcess& process) { process.setStandardInputFile("/"); }, {}},
         2,
         "",
         "lumivex-cli: cannot read standard input: Is a directory\n"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunCli(c.arguments, c.input, {}, c.hooks);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(result.out, c.out) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
    }
}

}  // namespace
