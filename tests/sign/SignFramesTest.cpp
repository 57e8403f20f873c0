// The sign's frames of a message, written to files in this process.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "sign/SignFrames.h"

namespace {

DecodedMessage Decoded(const std::string& bytes) {
    return std::get<DecodedMessage>(DecodeCommandString(bytes).content);
}

constexpr int32_t kTwoLinesOfTwenty = 10;  // "Tricolor 2 Line 20 Char"

TEST(SignFramesTest, WritesOneCycleOfTheAnimation) {
    const struct {
        const char* name;
        std::string bytes;
        int64_t frames;
    } cases[] = {
        // Each blink phase once, also where nothing blinks: a cycle is the phase's.
        {"still", "^L0^K0^dC1STILL", 2},
        {"blinking", "^L0^K0^dC1^X1HI", 2},
    };
    for (const auto& c : cases) {
        QTemporaryDir folder;
        const FramesWritten written =
            WriteMessageFrames(Decoded(c.bytes), kTwoLinesOfTwenty, folder.path(), 7);
        EXPECT_EQ(written.count, c.frames) << c.name;
        EXPECT_FALSE(written.cut) << c.name;
        EXPECT_TRUE(written.failedFile.isEmpty()) << c.name;
        for (int64_t frame = 1; frame <= c.frames + 1; ++frame) {
            const QString name =
                QString::asprintf("msg-0007-frame-%03lld.png", static_cast<long long>(frame));
            EXPECT_EQ(QImage(QDir(folder.path()).filePath(name)).isNull(), frame > c.frames)
                << c.name << ": " << name.toStdString();
        }
    }
}

// A folder that cannot take the frames: writing stops at the first, which is named.
TEST(SignFramesTest, AFrameThatCannotBeWrittenIsNamed) {
    QTemporaryDir folder;
    const QString notAFolder = folder.filePath("file");
    QFile file(notAFolder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const FramesWritten written =
        WriteMessageFrames(Decoded("^L0^K0^dC1^X1HI"), kTwoLinesOfTwenty, notAFolder, 1);
    EXPECT_EQ(written.count, 0);
    EXPECT_EQ(written.failedFile, notAFolder + "/msg-0001-frame-001.png");
}

}  // namespace
