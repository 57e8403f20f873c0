#include <gtest/gtest.h>

#include <unistd.h>
#include <QCheckBox>
#include <QFile>
#include <QMenu>
#include <QProcess>
#include <QToolButton>
#include <functional>
#include <string>
#include <vector>

#include "gui/pages/CMessageFiles.h"
#include "gui/preview/CLedPanel.h"
#include "gui/preview/CPreviewDlg.h"
#include "settings/MessageFile.h"
#include "support/MessagePageFixture.h"

namespace {

// The lists of the message's choices; those of the text show the attributes at the caret.
const char* const kLists[] = {"addressList",     "groupList",  "unitList",     "positionList",
                              "displayModeList", "effectList", "signModelList"};

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

CliRun Encode(const QString& path) {
    QProcess process;
    process.start(QStringLiteral(LUMIVEX_CLI_PATH), {"encode", path});
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

// What the reader says of a file it refuses.
std::string ReaderError(const QString& path) {
    try {
        ReadMessageFile(path.toStdString());
    } catch (const CMessageFileError& error) {
        return error.what();
    }
    return "read";
}

class MessageFileTest : public MessagePageFixture {
public:
    CMessageFiles& Files() { return page->MessageFiles(); }
    QString PathOf(const char* name) const { return folder.filePath(QString::fromUtf8(name)); }
    void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void Press(QKeyCombination keys) {
        QTest::keyClick(&page->Editor(), keys.key(), keys.keyboardModifiers());
    }

    // Everything an operator sees of the message: the lists, the boxes and the text.
    std::vector<std::string> Shown() {
        std::vector<std::string> shown;
        for (const char* list : kLists) {
            auto* combo = Find<QComboBox>(list);
            shown.push_back(combo->currentText().toStdString() +
                            (combo->isEnabled() ? "" : " (off)"));
        }
        shown.push_back(Find<QLineEdit>("lineEdit")->text().toStdString());
        shown.push_back(Find<QLineEdit>("columnEdit")->text().toStdString());
        shown.push_back(Find<QCheckBox>("clearMessageCheck")->isChecked() ? "clear" : "keep");
        shown.push_back(page->Editor().toPlainText().toStdString());
        return shown;
    }

    // Every header list away from its first entry; sizes, colours and blinking on three lines.
    void ComposeEverything() {
        Choose("addressList", 2);
        Choose("groupList", 2);
        Choose("unitList", 7);
        Choose("positionList", 2);
        SetText("lineEdit", "3");
        SetText("columnEdit", "12");
        QTest::mouseClick(Find<QCheckBox>("clearMessageCheck"), Qt::LeftButton);
        Choose("displayModeList", 3);
        Choose("effectList", 4);
        Choose("signModelList", 9);
        page->Preview()->close();
        page->activateWindow();
        QApplication::processEvents();
        page->Editor().setFocus();
        Choose("charSizeList", 1);
        Choose("colorList", 2);
        Type("AB");
        Choose("charSizeList", 3);
        Choose("colorList", 1);
        Choose("blinkList", 1);
        Type("C");
        Key(Qt::Key_Return);
        Choose("colorList", 0);
        Type("de");
        Choose("blinkList", 0);
        Type("f");
        Key(Qt::Key_Return);
        Key(Qt::Key_Return);
        Choose("charSizeList", 0);
        Type("x");
        QTest::sendKeyEvent(QTest::Click, &page->Editor(), Qt::Key_unknown, QStringLiteral("€"),
                            {});
    }
};

// A message made by typing and choosing, saved and opened in a fresh page, gives the same string
// and the same lists; lumivex-cli encodes the file to that string too.
TEST_F(MessageFileTest, AComposedMessageComesBackWhole) {
    ComposeEverything();
    Click("generateButton");
    const std::string command = page->CommandString();
    ASSERT_NE(command.find("^X1"), std::string::npos);
    const std::vector<std::string> shown = Shown();
    const std::vector<CellLine> cells = page->Editor().LineCells();

    const QString path = PathOf("every choice.json");
    dialogs.answers = {path};
    Press(Qt::CTRL | Qt::Key_S);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_TRUE(dialogs.asked[0].save);
    EXPECT_EQ(dialogs.asked[0].request.defaultSuffix, "json");
    EXPECT_TRUE(messages.shown.empty());

    app.Message() = {};
    MakePage();
    dialogs.answers = {path};
    Press(Qt::CTRL | Qt::Key_O);
    EXPECT_EQ(page->Editor().LineCells(), cells);
    EXPECT_EQ(Shown(), shown);
    EXPECT_EQ(page->CommandString(), "") << "no string before it is built";
    Click("generateButton");
    EXPECT_EQ(page->CommandString(), command);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(Files().FilePath(), path);
    EXPECT_FALSE(Files().IsModified());

    const CliRun cli = Encode(path);
    EXPECT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(cli.out, command + "\n");
}

// Files written by hand open as the page would show the same choices; the position is checked
// only when a string is built.
TEST_F(MessageFileTest, FilesWrittenByHandOpen) {
    const struct {
        const char* name;
        const char* json;
        std::vector<std::string> boxes;
        std::string command;
    } cases[] = {
        {"the documented example",
         R"({"address":"unit","group":1,"unit":5,"effect":"scroll","lines":["HELLO"]})",
         {},
         "^A010005^L0^C1^D1^K0^dC1HELLO^N"},
        {"runs, a line break in a text, the fifth size",
         R"({"address":"default","position":"default","lines":[[{"text":"a\nb","size":5,
             "color":"#0000ff","blink":true},{"text":"c","color":"yellow"}]]})",
         {},
         "^L3^K4^dC1^X1a^N^K4^dC1b^K0^dC3^X0c"},
        {"a start the page refuses, on another sign",
         R"({"position":"start","line":9,"column":2,"signModel":12})",
         {"Invalid Input.\nInput Range is 1-4."},
         ""},
    };
    Click("previewButton");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        messages.shown.clear();
        const QString path = PathOf("hand.json");
        Write(path, c.json);
        EXPECT_TRUE(Files().OpenFile(path));
        Click("generateButton");
        EXPECT_EQ(Texts(), c.boxes);
        EXPECT_EQ(page->CommandString(), c.command);
    }
    EXPECT_EQ(Find<QLineEdit>("lineEdit")->text(), "9");
    ASSERT_NE(page->Preview(), nullptr);
    EXPECT_EQ(page->Preview()->findChild<CLedPanel*>()->Model(), 12) << "the open preview follows";
}

// A file the reader refuses (tests/settings): its reason, in the words lumivex-cli prints, in a
// box, and the page as it was.
TEST_F(MessageFileTest, BadFilesChangeNothing) {
    const struct {
        const char* name;
        const char* file;
        QByteArray bytes;
    } cases[] = {
        {"missing", "missing.json", {}},
        {"not JSON", "bad.json", "{\"lines\": [\"A\"],"},
    };
    Choose("effectList", 3);
    Type("KEEP");
    const std::vector<std::string> shown = Shown();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = PathOf(c.file);
        if (!c.bytes.isEmpty()) {
            Write(path, c.bytes);
        }
        messages.shown.clear();
        EXPECT_FALSE(Files().OpenFile(path));
        ASSERT_EQ(messages.shown.size(), 2u);
        EXPECT_EQ(messages.shown[0].text, "Discard the changes to the current message?");
        EXPECT_EQ(messages.shown[1].icon, MessageIcon::kExclamation);
        EXPECT_EQ(messages.shown[1].text, ReaderError(path));
        EXPECT_EQ(Shown(), shown);
        EXPECT_TRUE(Files().IsModified());
        EXPECT_TRUE(Files().FilePath().isEmpty());
    }
    EXPECT_EQ(app.Message().effect, kEffectScrollRepeatedly);
}

// Opening asks first only when the message differs from the one last opened or saved.
TEST_F(MessageFileTest, OnlyAChangedMessageIsAskedAbout) {
    const QString path = PathOf("m.json");
    Write(path, R"({"lines":["FILE"]})");
    const struct {
        const char* name;
        std::function<void(MessageFileTest&)> edit;
        std::vector<MessageAnswer> answers;
        bool opened;
    } cases[] = {
        {"nothing changed", [](MessageFileTest&) {}, {}, true},
        {"a list, answered No",
         [](MessageFileTest& t) { t.Choose("effectList", 1); },
         {MessageAnswer::kNo},
         false},
        {"the text, answered Yes",
         [](MessageFileTest& t) { t.Type("!"); },
         {MessageAnswer::kYes},
         true},
        {"a change undone",
         [](MessageFileTest& t) {
             t.Choose("addressList", 3);
             t.Choose("addressList", 0);
             t.Type("?");
             t.Key(Qt::Key_Backspace);
         },
         {},
         true},
        {"a deletion taken back with Ctrl+Z",
         [](MessageFileTest& t) {
             t.Type("AB");
             t.Key(Qt::Key_Home);
             t.Choose("colorList", 2);  // pending at no line end: nothing to give
             t.Key(Qt::Key_End, Qt::ShiftModifier);
             t.Key(Qt::Key_Delete);
             t.Key(Qt::Key_Z, Qt::ControlModifier);
             t.Key(Qt::Key_Z, Qt::ControlModifier);
         },
         {},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        app.Message() = {};
        MakePage();
        c.edit(*this);
        messages.shown.clear();
        messages.answers = {c.answers.begin(), c.answers.end()};
        dialogs.asked.clear();
        dialogs.answers = {path};
        Press(Qt::CTRL | Qt::Key_O);
        EXPECT_EQ(messages.shown.size(), c.answers.size());
        EXPECT_EQ(dialogs.asked.size(), c.opened ? 1u : 0u) << "asked for a file";
        EXPECT_EQ(page->Editor().toPlainText() == "FILE", c.opened);
    }
}

// Saving: the first save asks where, later ones write at once; a folder that cannot be written
// is reported and loses nothing. The recent files and the dialogs' folder follow.
TEST_F(MessageFileTest, SavingAndTheRecentFiles) {
    const QString first = PathOf("first.json");
    Type("ONE");
    dialogs.answers = {first};
    QTest::mouseClick(Find<QToolButton>("saveButton"), Qt::LeftButton);
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].request.start, QDir::homePath()) << "nothing used yet";
    Type("TWO");
    EXPECT_TRUE(Files().IsModified());
    Press(Qt::CTRL | Qt::Key_S);
    EXPECT_EQ(dialogs.asked.size(), 1u) << "saved into the file open";
    EXPECT_FALSE(Files().IsModified());
    EXPECT_EQ(ReadMessageFile(first.toStdString()).lines, page->Editor().LineCells());

    // A folder this user cannot write; root writes anywhere but into sysfs.
    QTemporaryDir locked;
    ASSERT_EQ(chmod(QFile::encodeName(locked.path()).constData(), 0500), 0);
    const QString blocked = (geteuid() == 0 ? QStringLiteral("/sys") : locked.path()) + "/m.json";
    Type("THREE");
    dialogs.answers = {blocked};
    Press(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    EXPECT_EQ(dialogs.asked.back().request.start, first);
    EXPECT_EQ(Texts(), std::vector<std::string>{"cannot write " + blocked.toStdString() +
                                                ": Permission denied"});
    EXPECT_TRUE(Files().IsModified());
    EXPECT_EQ(Files().FilePath(), first);
    EXPECT_EQ(page->Editor().toPlainText(), "ONETWOTHREE");
    EXPECT_EQ(ReadMessageFile(first.toStdString()).lines.front().size(), 6u);

    const QString second = PathOf("second.json");
    dialogs.answers = {second};
    Press(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    QMenu* menu = Find<QToolButton>("openButton")->menu();
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    const QList<QAction*> entries = menu->actions();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0]->text(), "&1 " + second);
    EXPECT_EQ(entries[1]->text(), "&2 " + first);
    entries[1]->trigger();
    EXPECT_EQ(page->Editor().toPlainText(), "ONETWO");
    dialogs.answers.clear();
    Press(Qt::CTRL | Qt::Key_O);
    EXPECT_EQ(dialogs.asked.back().request.start, folder.path()) << "the folder last used";
}

}  // namespace
