#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "gui/window/HelpFile.h"

namespace {

void Touch(const QString& path) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

// A build tree keeps the help beside the program; an installation in share/ of its prefix.
TEST(HelpFileTest, BesideTheProgramFirstThenTheInstallation) {
    QTemporaryDir prefix;
    const QString bin = prefix.filePath("bin");
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString installed = prefix.filePath("share/lumivex/help/lumivex.html");
    const QString beside = prefix.filePath("bin/help/lumivex.html");

    Touch(installed);
    EXPECT_EQ(FindHelpFile(bin), QDir::cleanPath(installed));
    Touch(beside);
    EXPECT_EQ(FindHelpFile(bin), QDir::cleanPath(beside));
}

}  // namespace
