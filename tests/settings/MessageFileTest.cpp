#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "settings/MessageFile.h"
#include "settings/ProfileStore.h"
#include "settings/RecentMessages.h"
#include "support/CellLines.h"

namespace {

constexpr Rgb kBlue = MakeRgb(0, 0, 255);

MessageDocument EveryChoice() {
    MessageDocument message;
    MessageSettings& s = message.settings;
    s.address = kAddressSpecificUnit;
    s.groupNumber = 99;
    s.unitNumber = 9999;
    s.position = kPositionStartingAt;
    s.line = 9;  // checked when a string is built, not when a file is read
    s.column = -3;
    s.clearMessageOnLine = true;
    s.displayMode = kDisplayClearLine;
    s.effect = kEffectScrollOnce;
    s.signModel = 13;
    return message;
}

std::string ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

// What the writer puts out, the reader takes back, in either layout; colours other than the
// sign's three come back as the red they are sent as.
TEST(MessageFileTest, WhatIsWrittenReadsBack) {
    const struct {
        const char* name;
        std::vector<CellLine> lines;
        std::vector<CellLine> readBack;
    } cases[] = {
        {"empty text", {CellLine{}}, {CellLine{}}},
        {"plain lines and an empty one", {Cells("HELLO"), {}, Cells("X")}, {}},
        {"runs of every attribute",
         {Join(Join(Cells("ab", 2, kGreen), Cells("c", 5, kYellow, true)), Cells("d", 4)),
          Cells("e", 1, kRed, true)},
         {}},
        {"characters JSON escapes and Windows-1252 beyond ASCII",
         {Cells("\"\\\t/\x01\x80\x81\xFF^K3", 3, kYellow)},
         {}},
        {"a pasted colour, as it is sent",
         {Join(Cells("R"), Cells("B", 1, kBlue)),
          Join(Cells("G", 2, kGreen), Cells("b", 2, kBlue))},
         {Cells("RB"), Join(Cells("G", 2, kGreen), Cells("b", 2))}},
    };
    for (const bool indented : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (indented ? ", indented" : ", one line"));
            MessageDocument message = EveryChoice();
            message.lines = c.lines;
            const std::string json = WriteMessageJson(message, {indented, true});
            EXPECT_EQ(json.find('\n') == std::string::npos, !indented);
            const MessageDocument back = ParseMessageJson(json);
            EXPECT_EQ(back.settings, message.settings);
            EXPECT_EQ(back.lines, c.readBack.empty() ? c.lines : c.readBack);
        }
    }
}

// A command string read back carries only what the string holds.
TEST(MessageFileTest, OnlyWhatAStringCarries) {
    MessageDocument message;
    message.settings.address = kAddressDefault;
    message.settings.signModel = 5;
    message.lines = {Cells("HI")};
    EXPECT_EQ(WriteMessageJson(message, {false, false}),
              R"({"address":"default","displayMode":"none","position":"center",)"
              R"("effect":"default","lines":["HI"]})");
}

// A save that cannot be made says why and leaves what was there; nothing is written that would
// not open again.
TEST(MessageFileTest, ASaveThatFailsLeavesTheFileAsItWas) {
    QTemporaryDir folder;
    const QString kept = folder.filePath("kept.json");
    MessageDocument original = EveryChoice();
    original.lines = {Cells("OLD")};
    ASSERT_NO_THROW(WriteMessageFile(kept, original));
    const std::string before = ReadAll(kept);
    QFile(folder.filePath("file")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QDir(folder.path()).mkdir("folder"));
    const std::string fifo = folder.filePath("pipe.json").toStdString();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    MessageDocument wideGroup = EveryChoice();
    wideGroup.settings.groupNumber = 100;
    MessageDocument unknownEffect = EveryChoice();
    unknownEffect.settings.effect = 7;
    const std::string base = folder.path().toStdString();
    const struct {
        const char* name;
        QString path;
        MessageDocument message;
        std::string error;
    } cases[] = {
        {"missing folder", folder.filePath("none/m.json"), EveryChoice(),
         "cannot write " + base + "/none/m.json: No such file or directory"},
        {"a file for a folder", folder.filePath("file/m.json"), EveryChoice(),
         "cannot write " + base + "/file/m.json: Not a directory"},
        {"a folder in the way", folder.filePath("folder"), EveryChoice(),
         "cannot write " + base + "/folder: Is a directory"},
        {"a pipe, never made a plain file", QString::fromStdString(fifo), EveryChoice(),
         "cannot write " + fifo + ": not a regular file"},
        {"a group the reader refuses", kept, wideGroup,
         "\"group\" must be a whole number from 0 to 99, not 100"},
        {"an effect outside the list", kept, unknownEffect,
         "\"effect\" must be \"default\", \"blink\", \"blink-off\", \"scroll\" or \"scroll-once\", "
         "not 7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            WriteMessageFile(c.path, c.message);
            ADD_FAILURE() << "written";
        } catch (const CMessageFileError& error) {
            EXPECT_EQ(error.what(), c.error);
        }
    }
    EXPECT_EQ(ReadAll(kept), before);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::System).size(), 3)
        << "no temporary file left behind";
}

// A file that cannot be read, or is no message, is refused with the reason: the page shows it in a
// box, lumivex-cli prints it.
TEST(MessageFileTest, WhatCannotBeReadIsRefused) {
    QTemporaryDir folder;
    std::vector<quint32> words(5 * 1024 * 1024 / sizeof(quint32));
    QRandomGenerator(13).fillRange(words.data(), static_cast<qsizetype>(words.size()));
    QFile noise(folder.filePath("noise.json"));
    ASSERT_TRUE(noise.open(QIODevice::WriteOnly));
    noise.write(reinterpret_cast<const char*>(words.data()),
                static_cast<qint64>(words.size() * sizeof(quint32)));
    noise.close();
    const std::string base = folder.path().toStdString();
    const struct {
        const char* name;
        std::string path;
        std::string error;
    } cases[] = {
        {"missing", base + "/missing.json",
         "cannot read " + base + "/missing.json: No such file or directory"},
        {"a folder", base, "cannot read " + base + ": Is a directory"},
        {"5 MB of noise", base + "/noise.json", "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            ReadMessageFile(c.path);
            ADD_FAILURE() << "read";
        } catch (const CMessageFileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
        }
    }
}

TEST(RecentMessagesTest, EightNewestFirstAndTheLastFolder) {
    QTemporaryDir folder;
    CProfileStore profile(folder.filePath("lumivex.conf"));
    CRecentMessages recent(profile);
    EXPECT_TRUE(recent.Files().isEmpty());
    EXPECT_TRUE(recent.Folder().isEmpty());
    for (int n = 1; n <= 9; ++n) {
        recent.Remember(QStringLiteral("/a/m%1.json").arg(n));
    }
    recent.Remember("/a/m5.json");
    recent.Remember("/b/c, d=e.json");
    EXPECT_EQ(recent.Files(),
              (QStringList{"/b/c, d=e.json", "/a/m5.json", "/a/m9.json", "/a/m8.json", "/a/m7.json",
                           "/a/m6.json", "/a/m4.json", "/a/m3.json"}));
    EXPECT_EQ(recent.Folder(), "/b");
    EXPECT_TRUE(profile.Flush());
    CProfileStore again(folder.filePath("lumivex.conf"));
    EXPECT_EQ(CRecentMessages(again).Files().size(), CRecentMessages::kMaxFiles);
    EXPECT_EQ(again.GetProfileString("Messages", "File1"), "/b/c, d=e.json");
}

}  // namespace
