#include <gtest/gtest.h>

#include "CliRunner.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <string>

namespace {

class CliPreviewTest : public ::testing::Test {
protected:
    QString Out(const char* name) const { return m_folder.filePath(QString::fromLatin1(name)); }

    // Writes the frames of a message and loads them.
    std::vector<QImage> Frames(const std::string& json, QStringList options, int count) {
        const QString folder = Out("frames") + QString::number(++m_nRuns);
        options << "--out" << folder << "--frames" << QString::number(count);
        const CliResult run = RunCliBare(QStringList{"preview"} + options, json);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        std::vector<QImage> frames;
        for (int i = 1; i <= count; ++i) {
            frames.emplace_back(folder + QString::asprintf("/frame-%03d.png", i));
            EXPECT_FALSE(frames.back().isNull()) << "frame " << i;
        }
        EXPECT_FALSE(QDir(folder).exists(QString::asprintf("frame-%03d.png", count + 1)));
        return frames;
    }

    QTemporaryDir m_folder;
    int m_nRuns = 0;
};

bool HasColour(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kGreenDot = qRgb(0, 255, 0);
const QRgb kYellowDot = qRgb(255, 255, 0);

TEST_F(CliPreviewTest, FirstFrameShowsBlinkingCharactersOff) {
    const std::string json = R"({"signModel":7,"position":"default","lines":[
        [{"text":"AB","color":"green","blink":true},{"text":"C","color":"yellow"}]]})";
    const std::vector<QImage> frames = Frames(json, {}, 3);
    ASSERT_EQ(frames.size(), 3U);
    for (const QImage& frame : frames) {
        EXPECT_EQ(frame.size(), QSize(240, 32));
        EXPECT_TRUE(HasColour(frame, kYellowDot));
    }
    EXPECT_FALSE(HasColour(frames[0], kGreenDot));
    EXPECT_TRUE(HasColour(frames[1], kGreenDot));
    EXPECT_FALSE(HasColour(frames[2], kGreenDot));
    // The top-left dot of "C" (third cell, first glyph row, second column) is a 4 x 4 circle.
    const QImage& f = frames[0];
    EXPECT_EQ(f.pixel(52, 4), kBlack);
    EXPECT_EQ(f.pixel(55, 7), kBlack);
    EXPECT_EQ(f.pixel(53, 4), kYellowDot);
    EXPECT_EQ(f.pixel(52, 5), kYellowDot);
    EXPECT_EQ(f.pixel(54, 6), kYellowDot);
}

TEST_F(CliPreviewTest, HorizontalScrollShowsTheRightHalf) {
    const std::string far = R"({"signModel":6,"position":"default","lines":[
        [{"text":"                     X"}]]})";
    const std::string near = R"({"signModel":6,"position":"default","lines":[" X"]})";
    const QImage shifted = Frames(far, {"--hscroll", "21"}, 1).at(0);
    EXPECT_EQ(shifted.size(), QSize(480, 128));
    EXPECT_EQ(shifted, Frames(near, {}, 1).at(0));
    EXPECT_TRUE(HasColour(shifted, qRgb(255, 0, 0)));
    EXPECT_FALSE(HasColour(Frames(far, {}, 1).at(0), qRgb(255, 0, 0)));
}

// The sign knows red, yellow and green; every other colour goes out as red, and so it is drawn.
TEST_F(CliPreviewTest, AColourTheSignLacksIsDrawnRed) {
    const QImage frame = Frames(R"({"signModel":7,"lines":[[{"text":"AB","color":"#0000ff"},
        {"text":"C","color":"#00ff01"}]]})",
                                {}, 1)
                             .at(0);
    EXPECT_TRUE(HasColour(frame, qRgb(255, 0, 0)));
    EXPECT_FALSE(HasColour(frame, qRgb(0, 0, 255)));
    EXPECT_FALSE(HasColour(frame, qRgb(0, 255, 1)));
}

// --whole shows all 40 characters at once: the two halves the scroll bar shows, side by side.
TEST_F(CliPreviewTest, WholeDrawsEveryCharacterOfTheSign) {
    const std::string json = R"({"signModel":11,"position":"default","effect":"scroll","lines":[
        [{"text":"A       B          CDDE            F  ","color":"green"},{"text":"GH","size":2}]]})";
    const std::vector<QImage> whole = Frames(json, {"--whole"}, 2);
    const std::vector<QImage> left = Frames(json, {"--hscroll", "1"}, 2);
    const std::vector<QImage> right = Frames(json, {"--hscroll", "21"}, 2);
    for (size_t frame = 0; frame < 2; ++frame) {
        ASSERT_EQ(whole[frame].size(), QSize(960, 64));
        EXPECT_EQ(whole[frame].copy(0, 0, 480, 64), left[frame]) << frame;
        EXPECT_EQ(whole[frame].copy(480, 0, 480, 64), right[frame]) << frame;
    }
    EXPECT_NE(whole[0], whole[1]) << "the scroll moves once a frame, not once a half";
    const QImage small = Frames(R"({"signModel":0,"lines":["HI"]})", {"--whole"}, 1).at(0);
    EXPECT_EQ(small.size(), QSize(240, 32));
}

// A second run into the same folder leaves only its own frames there.
TEST_F(CliPreviewTest, ASecondRunRemovesTheFramesOfTheFirst) {
    const QString folder = Out("again");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList kept = {"frame-01.png", "frame-001.png.txt", "notes.txt"};
    for (const QString& name : kept + QStringList{"frame-1234.png"}) {
        QFile file(folder + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    const QStringList arguments = {"preview", "--out", folder, "--frames"};
    ASSERT_EQ(RunCliBare(arguments + QStringList{"3"}, "{}").exitCode, 0);
    ASSERT_EQ(RunCliBare(arguments + QStringList{"1"}, "{}").exitCode, 0);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name),
              (QStringList{"frame-001.png", "frame-001.png.txt", "frame-01.png", "notes.txt"}));
}

TEST_F(CliPreviewTest, FontsSheetHoldsEveryGlyph) {
    const QString sheet = Out("fonts.png");
    const CliResult run = RunCliBare({"fonts", "--out", sheet});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QImage image(sheet);
    EXPECT_FALSE(image.isNull());
    EXPECT_GT(image.width(), 16 * 24 * 4);
    EXPECT_TRUE(HasColour(image, kYellowDot));
}

}  // namespace
