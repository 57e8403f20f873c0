// Named signs through the real lumivex-cli: the file the commands keep, and one message sent to
// several loopback signs, each with its own address.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "CliRunner.h"
#include "support/SendTestSupport.h"

namespace {

class CliSignsTest : public testing::Test {
protected:
    CliResult Run(const QStringList& arguments, const std::string& input = {}) {
        return RunCli(arguments, input, {"XDG_CONFIG_HOME=" + config.path()});
    }
    QString SignsFile() const { return config.filePath("Lumivex1.2/signs.json"); }
    static QString Link(const CLoopbackListener& sign) {
        const auto a = sign.Address();
        return QString("%1.%2.%3.%4:%5").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]).arg(sign.Port());
    }

    QTemporaryDir config;
};

// The file's own checks are tested by direct calls (tests/settings/SignsFileTest.cpp); here the
// commands' exit codes and output.
TEST_F(CliSignsTest, TheListIsKeptAndABadFileIsRefused) {
    const struct {
        QStringList arguments;
        int exitCode;
        const char* out;  // in standard output, or standard error when the exit code is 2
    } steps[] = {
        {{"signs", "add", "Line 3", "--link", "COM2", "--baud", "38400", "--group", "1", "--unit",
          "5", "--tag", "assembly"},
         0,
         ""},
        {{"signs", "add", "Dock 2", "--link", "127.0.0.9:5000", "--address", "broadcast"}, 0, ""},
        {{"signs"}, 0, "Line 3: COM2 at 38400, unit 1/5, model 0, tags assembly\nDock 2"},
        {{"signs", "remove", "DOCK 2"}, 0, ""},
        {{"signs", "remove", "Dock 2"}, 2, "no sign named"},
        {{"send", "--sign", "Nobody", "X"}, 2, "no sign named \"Nobody\""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.arguments.join(' ').toStdString());
        const CliResult result = Run(step.arguments);
        EXPECT_EQ(result.exitCode, step.exitCode) << result.err;
        const std::string& said = step.exitCode == 2 ? result.err : result.out;
        EXPECT_NE(said.find(step.out), std::string::npos) << said;
    }
    QFile file(SignsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"signs\": [{\"name\": \"X\", \"link\": \"COM9\"}]}");
    file.close();
    const CliResult bad = Run({"signs", "add", "Y", "--link", "COM1"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("signs[0].link"), std::string::npos) << bad.err;
}

// A message file goes to each sign with that sign's address; one sign that refuses fails alone.
TEST_F(CliSignsTest, AMessageReachesEverySignWithItsOwnAddress) {
    CLoopbackListener first;
    CLoopbackListener second;
    CRefusingPort refusing;
    ASSERT_TRUE(first.Listening() && second.Listening());
    auto toFirst = first.AcceptAndReadAsync();
    auto toSecond = second.AcceptAndReadAsync();
    ASSERT_EQ(Run({"signs", "add", "A", "--link", Link(first), "--group", "1", "--unit", "5",
                   "--tag", "hall"})
                  .exitCode,
              0);
    ASSERT_EQ(Run({"signs", "add", "B", "--link", Link(second), "--group", "2", "--tag", "hall"})
                  .exitCode,
              0);
    ASSERT_EQ(
        Run({"signs", "add", "C", "--link", QString("127.0.0.1:%1").arg(refusing.Port())}).exitCode,
        0);
    const CliResult hall = Run({"send", "--tag", "HALL", "-"}, R"({"lines":["HI"]})");
    EXPECT_EQ(hall.exitCode, 0) << hall.err;
    EXPECT_EQ(toFirst.get(), "^A010005^L0^C1^K0^dC1HI");
    EXPECT_EQ(toSecond.get(), "^A020000^L0^C1^K0^dC1HI");
    EXPECT_NE(hall.out.find("2 of 2 signs got the message"), std::string::npos) << hall.out;
    const CliResult all = Run({"send", "--all", "--json", "^C0X"});
    EXPECT_EQ(all.exitCode, 1);
    EXPECT_NE(all.out.find(R"("sign":"C")"), std::string::npos) << all.out;
}

}  // namespace
