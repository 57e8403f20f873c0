#include "CliRunner.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

CliResult RunWith(const QStringList& arguments, const std::string& input,
                  const QProcessEnvironment& variables, const CliHooks& hooks = {}) {
    QProcess process;
    process.setProcessEnvironment(variables);
    if (hooks.beforeStart) {
        hooks.beforeStart(process);
    }
    process.start(QStringLiteral(LUMIVEX_CLI_PATH), arguments);
    EXPECT_TRUE(process.waitForStarted(30000));
    process.write(input.data(), static_cast<qint64>(input.size()));
    process.closeWriteChannel();
    if (hooks.whileRunning) {
        hooks.whileRunning(process);
    }
    EXPECT_TRUE(process.waitForFinished(60000)) << "lumivex-cli did not finish";
    CliResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

}  // namespace

CliResult RunCli(const QStringList& arguments, const std::string& input,
                 const QStringList& environment, const CliHooks& hooks) {
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : environment) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        variables.insert(entry.left(equals), entry.mid(equals + 1));
    }
    return RunWith(arguments, input, variables, hooks);
}

CliResult RunCliBare(const QStringList& arguments, const std::string& input) {
    return RunWith(arguments, input, QProcessEnvironment());
}

std::string WriteTempFile(const std::string& name, const std::string& bytes) {
    static QTemporaryDir folder;
    const QString path = folder.filePath(QString::fromStdString(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path.toStdString();
}
