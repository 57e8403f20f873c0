// The editor's encoding before every preview and send, on the offscreen platform
// (lumivex_bench_gui's main sets it up). Typing is measured on the shown page.
#include <benchmark/benchmark.h>

#include <QTextCursor>

#include "gui/editor/CFormattedEdit.h"

namespace {

// A document of the given length in runs of every size, colour and blink, with line breaks.
void Fill(CFormattedEdit& editor, int length) {
    editor.Initialise();
    QTextCursor cursor(editor.document());
    const QColor colours[] = {Qt::red, Qt::yellow, Qt::green};
    const double points[] = {7, 21, 35, 49, 42};
    for (int i = 0; i < length; i += 10) {
        QTextCharFormat format;
        format.setFontPointSize(points[(i / 10) % 5]);
        format.setForeground(colours[(i / 10) % 3]);
        format.setFontUnderline((i / 10) % 4 == 0);
        cursor.insertText(QStringLiteral("ABCDEFGHIJ"), format);
        if (i % 400 == 390) {
            cursor.insertBlock();
        }
    }
}

void BM_EncodeBody10000(benchmark::State& state) {
    CFormattedEdit editor;
    Fill(editor, 10000);
    for (auto _ : state) {
        benchmark::DoNotOptimize(editor.EncodeBody());
    }
}
BENCHMARK(BM_EncodeBody10000)->Unit(benchmark::kMillisecond);

}  // namespace
