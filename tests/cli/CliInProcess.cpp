#include "CliInProcess.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <memory>
#include <sstream>
#include <vector>

#include "cli/RunCli.h"

namespace {

// Set before the first test: Qt reads where the settings live once a process.
class CProfileEnvironment : public testing::Environment {
public:
    void SetUp() override {
        m_folder = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(QDir(m_folder->path()).mkpath("Lumivex1.2"));
        QFile settings(m_folder->filePath("Lumivex1.2/lumivex.conf"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nCOM Port=3\n[Ports]\n");
        for (int com = 1; com <= 8; ++com) {
            settings.write(QString("COM%1=/nonexistent/ttyLumivex\n").arg(com).toUtf8());
        }
        ASSERT_EQ(setenv("XDG_CONFIG_HOME", m_folder->path().toLocal8Bit().constData(), 1), 0);
    }
    void TearDown() override { m_folder.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_folder;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new CProfileEnvironment);

}  // namespace

CliResult RunInProcess(const QStringList& arguments, const std::string& input) {
    std::vector<std::string> words;
    for (const QString& argument : arguments) {
        words.push_back(argument.toStdString());
    }
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    CliResult result;
    result.exitCode = RunCli(words, CliStreams{in, out, err});
    result.out = out.str();
    result.err = err.str();
    return result;
}
