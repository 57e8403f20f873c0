// The Messages page's "Generate Marquee String" on a shown page, offscreen: encoding the editor's
// content, building the command string and showing it whole in the command box.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include "gui/editor/CFormattedEdit.h"
#include "gui/pages/CMessagePage.h"
#include "gui/services/HelpService.h"
#include "gui/services/MessageService.h"
#include "settings/CMarqueeApp.h"
#include "settings/ProfileStore.h"

namespace {

class QuietMessages : public IMessageService {
public:
    MessageAnswer ShowMessage(const std::string&, MessageIcon, MessageButtons,
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

void BM_GenerateOnThePage(benchmark::State& state) {
    QTemporaryDir folder;
    CProfileStore profile(folder.filePath("lumivex.conf"));
    CMarqueeApp app(profile);
    QuietMessages messages;
    NoHelp help;
    CMessagePage page(PageContext{app, messages, help});
    page.show();
    MessageDocument message;
    message.lines = Message(static_cast<size_t>(state.range(0)));
    page.TakeMessage(message);
    QApplication::processEvents();
    auto* generate = page.findChild<QPushButton*>(QStringLiteral("generateButton"));
    for (auto _ : state) {
        generate->click();
        QApplication::processEvents();
    }
    state.counters["bytes"] = static_cast<double>(page.CommandString().size());
}
BENCHMARK(BM_GenerateOnThePage)
    ->Arg(2000)
    ->Arg(1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
