// The preview window's repaint through the widget: the panel's paint event, the frame dots, the
// frame image and its copy into the window's backing store. Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QWindow>

#include "BenchMessages.h"
#include "gui/preview/CLedPanel.h"
#include "gui/preview/CPreviewDlg.h"
#include "gui/preview/PreviewOwner.h"

namespace {

class BenchOwner : public IPreviewOwner {
public:
    int32_t PreviewSignModel() const override { return kLargestModel; }
    const std::vector<CellLine>* PreviewSourceLines() const override { return &lines; }
    void OnPreviewClosed() override {}

    std::vector<CellLine> lines = FullSign();
};

// One repaint of the largest sign full of characters, nothing blinking; the view at position 1
// or at the right end (21).
void BM_PreviewWindowRepaint(benchmark::State& state) {
    BenchOwner owner;
    MessageSettings settings;
    settings.position = kPositionDefault;
    settings.effect = kEffectTurnOffBlinking;
    auto* preview = new CPreviewDlg(owner, settings);
    preview->show();
    QApplication::processEvents();
    if (preview->windowHandle() == nullptr || !preview->windowHandle()->isExposed()) {
        state.SkipWithError("the preview window was not shown");
    }
    auto* panel = preview->findChild<CLedPanel*>();
    panel->SetViewPosition(ViewPosition{static_cast<int32_t>(state.range(0)), 1});
    for (auto _ : state) {
        panel->repaint();
    }
    delete preview;
}

}  // namespace

BENCHMARK(BM_PreviewWindowRepaint)->Arg(1)->Arg(21)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
