#include <gtest/gtest.h>

#include <QProcess>
#include <string>

namespace {

struct AppResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built program with only the given environment, so no display is inherited.
AppResult RunApp(const QStringList& arguments, const QStringList& environment = {}) {
    QProcessEnvironment variables;
    for (const QString& entry : environment) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        variables.insert(entry.left(equals), entry.mid(equals + 1));
    }
    QProcess process;
    process.setProcessEnvironment(variables);
    process.start(QStringLiteral(LUMIVEX_APP_PATH), arguments);
    EXPECT_TRUE(process.waitForStarted(30000));
    EXPECT_TRUE(process.waitForFinished(60000)) << "lumivex did not finish";
    AppResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

TEST(AppTest, AnswersItsOptionsWithoutADisplay) {
    const std::string noDisplay =
        "lumivex: no graphical display (DISPLAY and WAYLAND_DISPLAY are not set); start it in a "
        "desktop session, or use lumivex-cli\n";
    const struct {
        const char* name;
        QStringList arguments;
        QStringList environment;
        int exitCode;
        std::string outStart;
        std::string err;
    } cases[] = {
        {"version", {"--version"}, {}, 0, "lumivex 1.2\n", ""},
        {"help", {"--help"}, {}, 0, "Usage: lumivex [--help | --version]", ""},
        {"help wins over Qt's options", {"-platform", "offscreen", "-h"}, {}, 0, "Usage:", ""},
        {"no display: one line, not Qt's abort", {}, {}, 1, "", noDisplay},
        {"an empty DISPLAY is none", {}, {"DISPLAY=", "WAYLAND_DISPLAY="}, 1, "", noDisplay},
        {"a display that does not answer: one line, not Qt's abort",
         {},
         {"DISPLAY=nowhere"},
         1,
         "",
         "lumivex: cannot open a window: could not connect to display nowhere\n"},
    };
    for (const auto& c : cases) {
        const AppResult result = RunApp(c.arguments, c.environment);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.name;
        EXPECT_EQ(result.out.rfind(c.outStart, 0), 0u) << c.name << ": " << result.out;
        EXPECT_EQ(result.err, c.err) << c.name;
    }
}

// One message file at most; the window is not opened for a command line it cannot follow.
TEST(AppTest, RefusesASecondFile) {
    const AppResult result = RunApp({"-platform", "offscreen", "a.json", "--", "-b.json"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("lumivex: one FILE at most, not also \"-b.json\" (see --help)\n"),
              std::string::npos)
        << result.err;
}

}  // namespace
