#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "CliRunner.h"
#include "support/SendTestSupport.h"
#include "transport/CSendDispatcher.h"

namespace {

// A settings file of the program's own, seen by lumivex-cli through XDG_CONFIG_HOME.
class CProfileFolder {
public:
    explicit CProfileFolder(const std::string& settings) {
        EXPECT_TRUE(QDir(m_folder.path()).mkpath("Lumivex1.2"));
        QFile file(m_folder.filePath("Lumivex1.2/lumivex.conf"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(settings.data(), static_cast<qint64>(settings.size()));
    }

    CliResult Send(const QStringList& arguments, const std::string& input = {},
                   const CliHooks& hooks = {}) const {
        return RunCli(QStringList{"send"} + arguments, input,
                      {QStringLiteral("XDG_CONFIG_HOME=") + m_folder.path()}, hooks);
    }

private:
    QTemporaryDir m_folder;
};

std::string PortsProfile(const std::string& device, const std::string& general = {}) {
    return "[General]\n" + general + "\n[Ports]\nCOM1=" + device + "\n";
}

speed_t LineSpeed(const CPtyPair& pty) {
    termios line{};
    EXPECT_EQ(tcgetattr(pty.Master(), &line), 0);
    return cfgetospeed(&line);
}

std::string SystemText(int error) {
    return std::strerror(error);
}

// Waits, within the bound, until standard error holds the text; leaves it to be read later.
bool WaitForError(QProcess& process, const std::string& text) {
    process.setReadChannel(QProcess::StandardError);
    for (int tries = 0; tries < 100; ++tries) {
        if (process.peek(process.bytesAvailable()).toStdString().find(text) != std::string::npos) {
            return true;
        }
        if (!process.waitForReadyRead(kTestWaitMs / 10)) {
            return false;
        }
    }
    return false;
}

TEST(CliSendTest, SendsToTheSavedSerialPort) {
    CPtyPair pty;
    const CProfileFolder profile(
        "[General]\nCOM Port=2\nBaud Rate=38400\n[Ports]\nCOM3=" + pty.SlavePath() + "\n");
    const struct {
        const char* name;
        QStringList arguments;
        std::string input;
        std::string expected;
        speed_t speed;
        std::string err;
    } cases[] = {
        {"string", {"^C0^M"}, "", "^C0^M", B38400, ""},
        {"windows-1252 bytes, the first character without one named",
         {"\u20ac\u00e9\u4e2d^\U0001F600"},
         "",
         "\x80\xe9?^?",
         B38400,
         "lumivex-cli: warning: line 1: \"\u4e2d\" (U+4E2D) has no Windows-1252 form and becomes "
         "\"?\"\n"},
        {"the line of that character",
         {"A\nB\u4e2d"},
         "",
         "A\nB?",
         B38400,
         "lumivex-cli: warning: line 2: \"\u4e2d\" (U+4E2D) has no Windows-1252 form and becomes "
         "\"?\"\n"},
        {"dash reads standard input", {"-"}, "^C0^M\n", "^C0^M", B38400, ""},
        {"standard input less its line end", {"--file", "-"}, "^C0^M\n", "^C0^M", B38400, ""},
        {"only one line end goes", {"--file", "-"}, "A\r\n\r\n", "A\r\n", B38400, ""},
        {"file as it is",
         {"--file", QString::fromStdString(WriteTempFile("bytes", "\x01\xff"))},
         "",
         "\x01\xff",
         B38400,
         ""},
        {"speed given", {"--baud", "9600", "--", "-x-"}, "", "-x-", B9600, ""},
    };
    for (const auto& c : cases) {
        auto reading = pty.ReadAsync(c.expected.size());
        const CliResult result = profile.Send(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
        EXPECT_EQ(reading.get(), c.expected) << c.name;
        EXPECT_EQ(pty.ReadPending(), "") << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(LineSpeed(pty), c.speed) << c.name;
    }
}

TEST(CliSendTest, SendsOverTcpToTheSavedAddress) {
    const auto sign = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_TRUE(sign);
    std::string profileText = "[General]\nCOM Port=8\n";
    for (size_t i = 0; i < 4; ++i) {
        profileText +=
            "IP Address" + std::to_string(i + 1) + "=" + std::to_string(sign->Address()[i]) + "\n";
    }
    const CProfileFolder profile(profileText);
    const std::string bytes = ByteCycle(100000);
    auto receiving = sign->AcceptAndReadAsync();
    const CliResult result = profile.Send({"--file", "-"}, bytes);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(receiving.get(), bytes);
}

// Every failure: first a line naming the link and what failed there, then what the program would
// show in its boxes, one line each. The TCP cases play the sign on addresses of their own, since
// the sign's port is fixed.
TEST(CliSendTest, EachFailureNamesTheLinkBeforeTheProgramsText) {
    CPtyPair held;
    ASSERT_EQ(flock(held.Slave(), LOCK_EX | LOCK_NB), 0);  // another program holds this port
    CPtyPair slow;
    const auto refusing = CRefusingPort::AsSign(kSignTcpPort);
    const auto neverReads = CLoopbackListener::AsSign(kSignTcpPort, 4096);
    const auto takesNothing = CLoopbackListener::AsSign(kSignTcpPort);
    ASSERT_TRUE(refusing && neverReads && takesNothing);
    const auto sign = [](const std::string& host) {
        return "Ethernet " + host + ":" + std::to_string(kSignTcpPort);
    };
    auto acceptingEmpty = takesNothing->AcceptAndReadAsync();
    const std::string missing = "/nonexistent/ttyLumivex";
    constexpr size_t kMoreThanLoopbackHolds = 16u << 20;  // the sender's buffer tops out at 4 MiB
    const std::string tcp = "--port=ethernet";

    const struct {
        const char* name;
        std::string profile;
        QStringList arguments;
        std::string input;
        std::string err;
    } cases[] = {
        {"missing port",
         PortsProfile(missing),
         {"^C0^M"},
         "",
         "lumivex-cli: cannot open COM1 (" + missing + "): " + SystemText(ENOENT) +
             "\nInvalid Port\n"},
        {"port in use",
         PortsProfile(held.SlavePath()),
         {"^C0^M"},
         "",
         "lumivex-cli: cannot open COM1 (" + held.SlavePath() + ")\nPort in use Retry later\n"},
        {"a rate the line cannot take",
         PortsProfile(slow.SlavePath(), "Baud Rate=12345"),
         {"^C0^M"},
         "",
         "lumivex-cli: cannot open COM1 (" + slow.SlavePath() + ")\n" + slow.SlavePath() +
             " cannot run at 12345 bits per second. Choose another rate on the PC Communication "
             "Setup page.\n"},
        {"refused",
         "",
         {QString::fromStdString(tcp), "--ip", QString::fromStdString(refusing->Host()), "^C0^M"},
         "",
         "lumivex-cli: cannot connect to " + sign(refusing->Host()) + "\n" +
             SystemText(ECONNREFUSED) + "\n"},
        {"no address configured",
         "",
         {QString::fromStdString(tcp), "--ip", "0.0.0.0", "^C0^M"},
         "",
         "lumivex-cli: cannot connect to Ethernet 0.0.0.0:49999\n" + SystemText(EADDRNOTAVAIL) +
             "\n"},
        {"a sign that stops reading",
         "",
         {QString::fromStdString(tcp), "--ip", QString::fromStdString(neverReads->Host()), "-"},
         std::string(kMoreThanLoopbackHolds, 'x'),
         "lumivex-cli: " + sign(neverReads->Host()) +
             " stopped taking data: nothing went through for 1 s\n" + SystemText(ETIMEDOUT) + "\n"},
        {"an empty string over TCP",
         "",
         {QString::fromStdString(tcp), "--ip", QString::fromStdString(takesNothing->Host()), ""},
         "",
         "lumivex-cli: nothing was sent to " + sign(takesNothing->Host()) +
             ": the command string is empty\n"},
    };
    for (const auto& c : cases) {
        const CliResult result = CProfileFolder(c.profile).Send(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, 1) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
    }
    EXPECT_EQ(acceptingEmpty.get(), "");
}

// 20,000 bytes at 9600 bits per second take about 21 seconds on a real line: the send says so
// first, and a terminal sees the bytes written. A pty takes them at once, whatever its speed.
TEST(CliSendTest, ALongSerialSendSaysHowLongAndShowsProgressOnATerminal) {
    constexpr size_t kBytes = 20000;
    const std::string announced =
        "lumivex-cli: sending 20000 bytes at 9600 bits per second takes about 21 seconds\n";
    const std::string bytes = ByteCycle(kBytes);
    for (const bool terminal : {true, false}) {
        CPtyPair port;
        CPtyPair screen;
        const CProfileFolder profile(PortsProfile(port.SlavePath()));
        CliHooks hooks;
        if (terminal) {
            hooks.beforeStart = [&screen](QProcess& process) {
                process.setStandardErrorFile(QString::fromStdString(screen.SlavePath()));
            };
        }
        auto reading = port.ReadAsync(kBytes);
        const CliResult result = profile.Send({"--file", "-"}, bytes, hooks);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(reading.get(), bytes);
        if (terminal) {
            // The terminal turns each line end into CR LF.
            const std::string shown = screen.ReadPending();
            EXPECT_EQ(shown.rfind(announced.substr(0, announced.size() - 1) + "\r\n", 0), 0u)
                << shown;
            EXPECT_NE(shown.find("\r20000 of 20000 bytes written (100%)"), std::string::npos)
                << shown;
        } else {
            EXPECT_EQ(result.err, announced);
        }
    }
}

// Ctrl-C during a send to a sign that has stopped reading: the port is let go at once, and the
// user learns how far it got.
TEST(CliSendTest, CtrlCStopsASendAndSaysHowFarItGot) {
    CPtyPair stalled;  // nobody reads the master: the line fills up and the writes wait
    const CProfileFolder profile(PortsProfile(stalled.SlavePath()));
    const std::string big = WriteTempFile("big", ByteCycle(1u << 20));
    CliHooks hooks;
    bool announced = false;
    hooks.whileRunning = [&announced](QProcess& process) {
        announced = WaitForError(process, "takes about");
        kill(static_cast<pid_t>(process.processId()), SIGINT);
    };
    const CliResult result = profile.Send({"--file", QString::fromStdString(big)}, "", hooks);
    ASSERT_TRUE(announced) << result.err;
    EXPECT_EQ(result.exitCode, 128 + SIGINT) << result.err;
    const std::string stopped =
        "lumivex-cli: the send to COM1 (" + stalled.SlavePath() + ") was stopped after ";
    EXPECT_NE(result.err.find("\n" + stopped), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(" of 1048576 bytes; the sign may have taken part of the string\n"),
              std::string::npos)
        << result.err;
}

}  // namespace
