#include <gtest/gtest.h>
#include <termios.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>

#include "CliRunner.h"
#include "SendTestSupport.h"

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

    CliResult Send(const QStringList& arguments, const std::string& input = {}) const {
        return RunCli(QStringList{"send"} + arguments, input,
                      {QStringLiteral("XDG_CONFIG_HOME=") + m_folder.path()});
    }

private:
    QTemporaryDir m_folder;
};

speed_t LineSpeed(const CPtyPair& pty) {
    termios line{};
    EXPECT_EQ(tcgetattr(pty.Master(), &line), 0);
    return cfgetospeed(&line);
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
    } cases[] = {
        {"string", {"^C0^M"}, "", "^C0^M", B38400},
        {"windows-1252 bytes", {"\u20ac\u00e9\u4e2d^"}, "", "\x80\xe9?^", B38400},
        {"standard input less its line end", {"--file", "-"}, "^C0^M\n", "^C0^M", B38400},
        {"only one line end goes", {"--file", "-"}, "A\r\n\r\n", "A\r\n", B38400},
        {"file as it is",
         {"--file", QString::fromStdString(WriteTempFile("bytes", "\x01\xff"))},
         "",
         "\x01\xff",
         B38400},
        {"speed given", {"--baud", "9600", "--", "-x-"}, "", "-x-", B9600},
    };
    for (const auto& c : cases) {
        auto reading = pty.ReadAsync(c.expected.size());
        const CliResult result = profile.Send(c.arguments, c.input);
        EXPECT_EQ(result.exitCode, 0) << c.name << ": " << result.err;
        EXPECT_EQ(reading.get(), c.expected) << c.name;
        EXPECT_EQ(pty.ReadPending(), "") << c.name;
        EXPECT_EQ(result.err, "") << c.name;
        EXPECT_EQ(LineSpeed(pty), c.speed) << c.name;
    }
}

TEST(CliSendTest, SendsOverTcpToTheSavedAddress) {
    CLoopbackListener sign(49999);
    if (!sign.Listening()) {
        GTEST_SKIP() << "port 49999 is taken on this machine";
    }
    const CProfileFolder profile(
        "[General]\nCOM Port=8\nIP Address1=127\nIP Address2=0\nIP Address3=0\nIP Address4=1\n");
    const std::string bytes = ByteCycle(100000);
    auto receiving = sign.AcceptAndReadAsync();
    const CliResult result = profile.Send({"--file", "-"}, bytes);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(receiving.get(), bytes);
}

TEST(CliSendTest, EachBoxIsOneLineOnStandardError) {
    const CProfileFolder profile("[Ports]\nCOM4=/nonexistent/ttyLumivex\n");
    const struct {
        const char* name;
        QStringList arguments;
        std::string err;
    } cases[] = {
        {"missing serial device", {"--port", "COM4", "^C0^M"}, "Invalid Port\n"},
        {"unconfigured address",
         {"--port", "ethernet", "--ip", "0.0.0.0", "^C0^M"},
         std::string(std::strerror(EADDRNOTAVAIL)) + "\n"},
    };
    for (const auto& c : cases) {
        const CliResult result = profile.Send(c.arguments);
        EXPECT_EQ(result.exitCode, 1) << c.name;
        EXPECT_EQ(result.err, c.err) << c.name;
        EXPECT_EQ(result.out, "") << c.name;
    }
}

TEST(CliSendTest, RejectsBadArgumentsWithoutSending) {
    // Every port the arguments could reach is missing, so nothing is sent even by mistake.
    const CProfileFolder profile("[General]\nCOM Port=3\n[Ports]\nCOM4=/nonexistent/ttyLumivex\n");
    const struct {
        const char* name;
        QStringList arguments;
        std::string errorContains;
    } cases[] = {
        {"nothing to send", {}, "either a STRING or --file"},
        {"both string and file", {"x", "--file", "-"}, "either a STRING or --file"},
        {"port beyond COM8", {"--port", "com9", "x"}, "--port takes com1 to com8 or ethernet"},
        {"port COM0", {"--port", "com0", "x"}, "--port takes"},
        {"other speed", {"--baud", "1200", "x"}, "--baud takes 9600 or 38400"},
        {"bad address", {"--ip", "1.2.3", "x"}, "--ip takes an IPv4 address"},
        {"unknown option", {"--speed", "9600", "x"}, "unknown option --speed"},
        {"two strings", {"x", "y"}, "unexpected argument \"y\""},
        {"missing file", {"--file", "/nonexistent/cmd"}, "cannot read /nonexistent/cmd"},
    };
    for (const auto& c : cases) {
        const CliResult result = profile.Send(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.name;
        EXPECT_NE(result.err.find(c.errorContains), std::string::npos)
            << c.name << ": " << result.err;
        EXPECT_EQ(result.err.find("Invalid Port"), std::string::npos) << c.name;
    }
}

}  // namespace
