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

TEST_F(CliPreviewTest, RejectsBadInput) {
    const QString out = Out("bad");
    // Frames that cannot be written: a folder in the way, and a file whose disk is full.
    const std::string blocked = Out("blocked/frame-001.png").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(blocked)));
    const std::string full = Out("full/frame-001.png").toStdString();
    ASSERT_TRUE(QDir().mkpath(Out("full")));
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
         {"preview", "--out", m_folder.filePath("blocked")},
         "{}",
         1,
         "lumivex-cli: cannot write " + blocked + ": Is a directory\n"},
        {"a disk that is full",
         {"preview", "--out", m_folder.filePath("full")},
         R"({"lines":["FULL"]})",
         1,
         "lumivex-cli: cannot write " + full + ": No space left on device\n"},
    };
    for (const auto& c : cases) {
        const CliResult run = RunCliBare(c.arguments, c.input);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name;
        EXPECT_NE(run.err.find(c.errorContains), std::string::npos) << c.name << ": " << run.err;
        EXPECT_FALSE(QFile::exists(out + "/frame-001.png")) << c.name;
    }
}

}  // namespace
