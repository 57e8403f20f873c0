// What the commands refuse, called in process: the exit status, the reason on standard error, and
// nothing written, sent or listened on.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "CliInProcess.h"
#include "support/SendTestSupport.h"

namespace {

TEST(CliPreviewTest, RejectsBadInput) {
    QTemporaryDir folder;
    const QString out = folder.filePath("bad");
    // Frames that cannot be written: a folder in the way, and a file whose disk is full.
    const std::string blocked = folder.filePath("blocked/frame-001.png").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(blocked)));
    const std::string full = folder.filePath("full/frame-001.png").toStdString();
    ASSERT_TRUE(QDir().mkpath(folder.filePath("full")));
    ASSERT_TRUE(QFile::link("/dev/full", QString::fromStdString(full)));
    const struct {
        const char* name;
        QStringList arguments;
        std::string input;
        int exitCode;
        std::string errorContains;
    } cases[] = {
        {"no --out", {"preview"}, "{}", 2, "needs --out"},
        {"no frames", {"preview", "--out", out, "--frames", "0"}, "{}", 2, "--frames"},
        {"hscroll on a 20-character sign",
         {"preview", "--out", out, "--hscroll", "2"},
         R"({"signModel":1})",
         2,
         "lumivex-cli: --hscroll takes only 1 on this model (Red 1 Line 20 Char), not \"2\": "
         "this model has no horizontal scroll bar\n"},
        {"hscroll beyond the bar",
         {"preview", "--out", out, "--hscroll", "22"},
         R"({"signModel":13})",
         2,
         "lumivex-cli: --hscroll takes 1 to 21 on this model (Tricolor 4 Line 40 Char), not "
         "\"22\"\n"},
        {"hscroll half a number",
         {"preview", "--out", out, "--hscroll", "2x"},
         R"({"signModel":6})",
         2,
         "--hscroll takes 1 to 21 on this model (Red 4 Line 40 Char), not \"2x\""},
        {"hscroll and whole",
         {"preview", "--out", out, "--hscroll", "2", "--whole"},
         "{}",
         2,
         "--whole draws the whole sign; leave out --hscroll"},
        {"whole with a value",
         {"preview", "--out", out, "--whole=1"},
         "{}",
         2,
         "--whole takes no value"},
        {"bad json", {"preview", "--out", out}, "{", 2, "not valid JSON"},
        {"unknown option", {"preview", "--out", out, "--fps", "2"}, "{}", 2, "unknown option"},
        {"fonts without --out", {"fonts"}, "", 2, "needs --out"},
        {"folder that cannot be made",
         {"preview", "--out", "/proc/lumivex/frames"},
         "{}",
         1,
         "lumivex-cli: cannot create the folder /proc/lumivex/frames: No such file or directory\n"},
        {"a frame that cannot be opened",
         {"preview", "--out", folder.filePath("blocked")},
         "{}",
         1,
         "lumivex-cli: cannot write " + blocked + ": Is a directory\n"},
        {"a disk that is full",
         {"preview", "--out", folder.filePath("full")},
         R"({"lines":["FULL"]})",
         1,
         "lumivex-cli: cannot write " + full + ": No space left on device\n"},
    };
    for (const auto& c : cases) {
        const CliResult run = RunInProcess(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_NE(run.err.find(c.errorContains), std::string::npos) << c.name << ": " << run.err;
        EXPECT_FALSE(QFile::exists(out + "/frame-001.png")) << c.name;
    }
}

TEST(CliSignTest, RefusesWhatItCannotTake) {
    const CLoopbackListener taken;
    ASSERT_TRUE(taken.Listening());
    QTemporaryDir folder;
    const QString existing = folder.filePath("existing");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    const QString port = QString::number(taken.Port());
    const struct {
        const char* name;
        QStringList arguments;
        std::string errorContains;
    } cases[] = {
        {"port in use",
         {"sign", "--tcp", "127.0.0.1:" + port},
         "cannot listen on 127.0.0.1:" + port.toStdString() + ": Address already in use"},
        {"link path taken", {"sign", "--serial", existing}, "the path exists"},
        {"no link", {"sign"}, "either --tcp"},
        {"two links", {"sign", "--tcp", "0", "--serial", existing}, "either --tcp"},
        {"model beyond the list", {"sign", "--tcp", "0", "--model", "14"}, "--model takes"},
        {"bad address", {"sign", "--tcp", "1.2.3:0"}, "--tcp takes [ADDR:]PORT"},
        {"port beyond the range", {"sign", "--tcp", "65536"}, "--tcp takes a whole number"},
        {"a count from two addresses",
         {"sign", "--tcp", "0", "--tcp", "127.0.0.2:0", "--count", "2"},
         "--count counts up from one --tcp address, not 2"},
        {"a count beyond loopback",
         {"sign", "--tcp", "127.255.255.255:0", "--count", "2"},
         "runs past the end of its network"},
        {"a count beyond the limit", {"sign", "--tcp", "0", "--count", "1001"}, "--count takes"},
        {"a window on several signs",
         {"sign", "--tcp", "0", "--tcp", "127.0.0.2:0", "--window"},
         "--window shows one sign"},
    };
    for (const auto& c : cases) {
        const CliResult run = RunInProcess(c.arguments);
        EXPECT_EQ(run.exitCode, 2) << c.name;
        EXPECT_NE(run.err.find(c.errorContains), std::string::npos) << c.name << ": " << run.err;
        EXPECT_EQ(run.out, "") << c.name;
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "keep");
}

// Every port the arguments could reach is a missing device (RunInProcess), so nothing is sent even
// by mistake; a send that was tried would say "Invalid Port".
TEST(CliSendTest, RejectsBadArgumentsWithoutSending) {
    const struct {
        const char* name;
        QStringList arguments;
        std::string errorContains;
    } cases[] = {
        {"nothing to send", {}, "either a STRING, - or --file"},
        {"both string and file", {"x", "--file", "-"}, "either a STRING, - or --file"},
        {"dash and file", {"-", "--file", "-"}, "either a STRING, - or --file"},
        {"port beyond COM8", {"--port", "com9", "x"}, "--port takes com1 to com8 or ethernet"},
        {"port COM0", {"--port", "com0", "x"}, "--port takes"},
        {"other speed", {"--baud", "1200", "x"}, "--baud takes 9600 or 38400"},
        {"bad address", {"--ip", "1.2.3", "x"}, "--ip takes an IPv4 address"},
        {"unknown option", {"--speed", "9600", "x"}, "unknown option --speed"},
        {"two strings", {"x", "y"}, "unexpected argument \"y\""},
        {"missing file", {"--file", "/nonexistent/cmd"}, "cannot read /nonexistent/cmd"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunInProcess(QStringList{"send"} + c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.name;
        EXPECT_NE(result.err.find(c.errorContains), std::string::npos)
            << c.name << ": " << result.err;
        EXPECT_EQ(result.err.find("Invalid Port"), std::string::npos) << c.name;
    }
    // The net itself: a string that is sent goes to the missing device of the saved port.
    const CliResult tried = RunInProcess({"send", "x"});
    EXPECT_EQ(tried.exitCode, 1);
    EXPECT_NE(tried.err.find("COM4 (/nonexistent/ttyLumivex)"), std::string::npos) << tried.err;
}

// The library's command: its own refusals before anything is sent, and a gateway that is not
// there named by its URL. The requests themselves are the client's tests, against a gateway.
TEST(CliMessagesTest, RefusesBadArgumentsAndNamesAGatewayNotThere) {
    const CRefusingPort closed;
    const QString url = "http://127.0.0.1:" + QString::number(closed.Port());
    const struct {
        QStringList arguments;
        std::string input;
        int exitCode;
        std::string errorContains;
    } cases[] = {
        {{"put", "x"}, "", 2, "messages takes list, get NAME, put NAME FILE or remove NAME"},
        {{"get", "x", "--json"}, "", 2, "--json does not go with messages get"},
        {{"put", "x", "-", "--number", "0"}, "{}", 2, "--number takes a whole number from 1"},
        {{"put", "x", "-", "--gateway", url}, "{\"lines\": 3}", 2, "lines"},
        {{"list", "--gateway", "ftp://127.0.0.1"}, "", 2, "not \"ftp://127.0.0.1\""},
        {{"remove", "x", "--gateway", url, "--token", "s3cret-token"},
         "",
         1,
         "lumivex-cli: cannot reach the gateway at " + url.toStdString() + ": no connection"},
        {{"put", "x", "-", "--gateway", url}, "{}", 1, "cannot reach the gateway"},
    };
    for (const auto& c : cases) {
        const CliResult result = RunInProcess(QStringList{"messages"} + c.arguments, c.input);
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_NE(result.err.find(c.errorContains), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("s3cret"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
    EXPECT_NE(RunInProcess({"--help"}).out.find("  messages  "), std::string::npos);
}

}  // namespace
