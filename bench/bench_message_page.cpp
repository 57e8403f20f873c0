// The Messages page as the operator meets it, shown on the offscreen platform: opening a message
// file, typing at the end of a long line, and "Generate Marquee String" (encoding the editor's
// content, building the command string and showing it whole in the command box).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessageFiles.h"
#include "gui/pages/CMessagePage.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "settings/MessageFile.h"
#include "settings/ProfileStore.h"

namespace {

class QuietMessages : public IMessageService {
public:
    MessageAnswer ShowMessage(const std::string&, MessageIcon, MessageButtons, const std::string&,
                              const std::string&) override {
        return MessageAnswer::kOk;
    }
};

class NoHelp : public IHelpService {
public:
    void ShowHelp(uint32_t) override {}
};

// A message of the given size in lines of 400 characters, a run of each colour in turn.
std::vector<CellLine> Message(size_t characters) {
    std::vector<CellLine> lines;
    const Rgb colours[] = {kRed, kYellow, kGreen};
    for (size_t at = 0; at < characters; at += 400) {
        CellLine line;
        for (size_t i = 0; i < 400 && at + i < characters; ++i) {
            line.push_back(CharCell{1, static_cast<unsigned char>('A' + i % 26),
                                    colours[(i / 40) % 3], false});
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// A shown Messages page of its own, with its settings in a folder of its own.
struct ShownPage {
    ShownPage() : profile(folder.filePath("lumivex.conf")), app(profile) {
        page.show();
        QApplication::processEvents();
    }

    QTemporaryDir folder;
    CProfileStore profile;
    CMarqueeApp app;
    QuietMessages messages;
    NoHelp help;
    CMessagePage page{PageContext{app, messages, help}};
};

void BM_GenerateOnThePage(benchmark::State& state) {
    ShownPage shown;
    MessageDocument message;
    message.lines = Message(static_cast<size_t>(state.range(0)));
    shown.page.TakeMessage(message);
    QApplication::processEvents();
    auto* generate = shown.page.findChild<QPushButton*>(QStringLiteral("generateButton"));
    for (auto _ : state) {
        generate->click();
        QApplication::processEvents();
    }
    state.counters["bytes"] = static_cast<double>(shown.page.CommandString().size());
}

// Opening a message file of one line in runs of three characters of alternating colours, until
// the page has laid it out.
void BM_OpenMessageFile(benchmark::State& state) {
    ShownPage shown;
    MessageDocument message;
    CellLine line;
    const Rgb colours[] = {kRed, kGreen};
    for (int64_t i = 0; i < state.range(0); ++i) {
        line.push_back(
            CharCell{1, static_cast<unsigned char>('A' + i % 26), colours[(i / 3) % 2], false});
    }
    message.lines = {line};
    const QString path = shown.folder.filePath(QStringLiteral("long.json"));
    WriteMessageFile(path, message);
    for (auto _ : state) {
        shown.page.MessageFiles().OpenFile(path);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_OpenMessageFile)
    ->Arg(2000)
    ->Arg(16000)
    ->Arg(64000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// One keystroke, until the window has repainted. Out of line, so that a profiler can take the
// keystroke alone (valgrind --tool=callgrind --toggle-collect='*TypeOneKey*').
[[gnu::noinline]] void TypeOneKey(CFormattedEdit& editor) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(&editor, &press);
    QApplication::sendEvent(&editor, &release);
    editor.viewport()->repaint();
}

// Keystrokes at the end of a shown message, each until the window has repainted.
void TypeAtTheEnd(benchmark::State& state, const std::vector<CellLine>& lines) {
    ShownPage shown;
    MessageDocument message;
    message.lines = lines;
    shown.page.TakeMessage(message);
    CFormattedEdit& editor = shown.page.Editor();
    editor.setFocus();
    editor.moveCursor(QTextCursor::End);
    QApplication::processEvents();
    for (auto _ : state) {
        TypeOneKey(editor);
        state.PauseTiming();
        editor.textCursor().deletePreviousChar();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}

// One keystroke at the end of one unbroken line: the whole line is laid out again.
void BM_KeystrokeAtTheEndOfALongLine(benchmark::State& state) {
    TypeAtTheEnd(state,
                 {CellLine(static_cast<size_t>(state.range(0)), CharCell{1, 'W', kRed, false})});
}
BENCHMARK(BM_KeystrokeAtTheEndOfALongLine)
    ->Arg(200)
    ->Arg(2000)
    ->Arg(8000)
    ->Unit(benchmark::kMillisecond);

// One keystroke at the end of a long message in lines of 400: one line is laid out again, and
// nothing else should grow with the message.
void BM_KeystrokeInALongMessage(benchmark::State& state) {
    TypeAtTheEnd(state, Message(static_cast<size_t>(state.range(0))));
}
BENCHMARK(BM_KeystrokeInALongMessage)->Arg(2000)->Arg(64000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_GenerateOnThePage)
    ->Arg(2000)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
