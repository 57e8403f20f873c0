// The Messages page as the operator meets it, shown on the offscreen platform: opening a message
// file, typing at the end of a long line, and "Generate Marquee String" (encoding the editor's
// content, building the command string and showing it whole in the command box).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include "gui/editor/CFormattedEdit.h"
#include "gui/editor/CLineLayout.h"
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

// Keystrokes, until the window has repainted what they changed, as it does on its next round of
// events. Out of line, so that a profiler can take the keystrokes alone
// (valgrind --tool=callgrind --toggle-collect='*TypeKeys*').
[[gnu::noinline]] void TypeKeys(CFormattedEdit& editor, int keys) {
    for (int i = 0; i < keys; ++i) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QApplication::sendEvent(&editor, &press);
        QApplication::sendEvent(&editor, &release);
        QCoreApplication::sendPostedEvents(editor.window(), QEvent::UpdateRequest);
    }
}

// The characters a wrapped line of the editor holds, at the smallest size.
int CharactersPerLine(const CFormattedEdit& editor) {
    const auto* layout = static_cast<const CLineLayout*>(editor.document()->documentLayout());
    return layout->LineBounds(0).second;
}

// How many keys each round types at the end of the message.
enum class Keys {
    // One.
    kOne,
    // A wrapped line's worth: every size has its one keystroke in so many that starts a new
    // wrapped line (and, once the text is taller than the editor, scrolls it).
    kLine,
    // One, at the end of a full wrapped line: the message is cut to whole wrapped lines first.
    kStartingALine,
};

// Keystrokes at the end of a shown message, each until the window has repainted.
void TypeAtTheEnd(benchmark::State& state, const std::vector<CellLine>& lines, Keys kind) {
    ShownPage shown;
    MessageDocument message;
    message.lines = lines;
    shown.page.TakeMessage(message);
    CFormattedEdit& editor = shown.page.Editor();
    editor.setFocus();
    editor.moveCursor(QTextCursor::End);
    QApplication::processEvents();
    const int perLine = CharactersPerLine(editor);
    if (kind == Keys::kStartingALine) {
        QTextCursor cut = editor.textCursor();
        cut.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor,
                         cut.position() % perLine);
        cut.removeSelectedText();
        QApplication::processEvents();
    }
    const int keys = kind == Keys::kLine ? perLine : 1;
    for (auto _ : state) {
        TypeKeys(editor, keys);
        state.PauseTiming();
        QTextCursor typed = editor.textCursor();
        typed.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor, keys);
        typed.removeSelectedText();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["keystroke"] = benchmark::Counter(
        keys, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

CellLine UnbrokenLine(int64_t characters) {
    return CellLine(static_cast<size_t>(characters), CharCell{1, 'W', kRed, false});
}

// Typing at the end of one unbroken line; "keystroke" is the mean time of one. Only the line's
// last wrapped lines are laid out and repainted again.
void BM_KeystrokeAtTheEndOfALongLine(benchmark::State& state) {
    TypeAtTheEnd(state, {UnbrokenLine(state.range(0))}, Keys::kLine);
}
BENCHMARK(BM_KeystrokeAtTheEndOfALongLine)
    ->Arg(200)
    ->Arg(2000)
    ->Arg(8000)
    ->Unit(benchmark::kMillisecond);

// The dearest keystroke of those: one that starts a new wrapped line (the line is cut to whole
// wrapped lines). At 2,000 and 8,000 characters the editor also scrolls by a line and paints its
// scroll bar, and what lies behind it, again.
void BM_KeystrokeStartingAWrappedLine(benchmark::State& state) {
    TypeAtTheEnd(state, {UnbrokenLine(state.range(0))}, Keys::kStartingALine);
}
BENCHMARK(BM_KeystrokeStartingAWrappedLine)
    ->Arg(200)
    ->Arg(2000)
    ->Arg(8000)
    ->Unit(benchmark::kMillisecond);

// One keystroke at the end of a long message in lines of 400: one line is laid out again, and
// nothing else should grow with the message.
void BM_KeystrokeInALongMessage(benchmark::State& state) {
    TypeAtTheEnd(state, Message(static_cast<size_t>(state.range(0))), Keys::kOne);
}
BENCHMARK(BM_KeystrokeInALongMessage)->Arg(2000)->Arg(64000)->Unit(benchmark::kMillisecond);

// One step of resizing the window with a long message in lines of 400 in it: the editor a little
// wider or narrower, as each step of a window's resize makes it, until the window has repainted.
// The lines in view are laid out at the new width at once, the rest on the rounds of events after
// (let finish before the next step). With the view at the message's start, and at its end, where
// every line above the view is laid out first.
void ResizeStep(benchmark::State& state, bool atTheEnd) {
    ShownPage shown;
    MessageDocument message;
    message.lines = Message(static_cast<size_t>(state.range(0)));
    shown.page.TakeMessage(message);
    CFormattedEdit& editor = shown.page.Editor();
    if (atTheEnd) {
        editor.moveCursor(QTextCursor::End);
    }
    QApplication::processEvents();
    const CLineLayout& layout = editor.Layout();
    const QSize size = editor.size();
    bool wider = false;
    for (auto _ : state) {
        wider = !wider;
        editor.resize(size + QSize(wider ? 8 : 0, 0));
        QCoreApplication::sendPostedEvents(editor.window(), QEvent::UpdateRequest);
        state.PauseTiming();
        while (!layout.LaidOutWhole()) {
            QApplication::processEvents();
        }
        state.ResumeTiming();
    }
}

void BM_ResizeStep(benchmark::State& state) {
    ResizeStep(state, false);
}
BENCHMARK(BM_ResizeStep)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_ResizeStepAtTheEnd(benchmark::State& state) {
    ResizeStep(state, true);
}
BENCHMARK(BM_ResizeStepAtTheEnd)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_GenerateOnThePage)
    ->Arg(2000)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
