#include <QDir>
#include <QString>
#include <cstdio>
#include <string>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/MessageJson.h"
#include "preview/FrameDots.h"
#include "render/FramePainter.h"

namespace {

constexpr const char* kPreviewHelp =
    R"(Usage: lumivex-cli preview [FILE] --out DIR [--frames N] [--hscroll P]

Reads one message as JSON from FILE (standard input when FILE is absent or "-"), in the format of
'lumivex-cli encode', and writes N successive frames of the LED preview (default 1) as
DIR/frame-001.png, DIR/frame-002.png, ... Each frame is the drawing area of the sign model
"signModel" in pixels: black, every lit dot a 4 x 4 circle in its colour.

The frames are the repaints of a preview that has just been opened: the first shows blinking
characters in their off phase, and each frame advances the blink phase and the scroll by one step.
"position", "line", "column" and "effect" apply as in the preview; "line" and "column" are not
limited to the composer's ranges.

Options:
  --out DIR      folder for the frames (created when missing)
  --frames N     number of frames, 1..100000 (default 1)
  --hscroll P    horizontal scroll bar position (default 1): 1..21 on the 40-character models,
                 1 on the others

Exit status: 0 on success, 2 for bad input, 1 for other failures.
)";

constexpr int64_t kMaxFrames = 100000;

QString FramePath(const QString& folder, int64_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%03lld.png", static_cast<long long>(frame));
    return QDir(folder).filePath(QString::fromLatin1(name));
}

// The option's value, or `low` when it is absent.
int64_t ParseOptionalInteger(const Args& args, const std::string& option, int64_t low,
                             int64_t high) {
    const std::string* text = args.Find(option);
    return text == nullptr ? low : ParseIntegerOption(option, *text, low, high);
}

void PrintHelp() {
    std::fputs(kPreviewHelp, stdout);
    std::fputs("\nSign models (\"signModel\"):\n", stdout);
    for (int32_t index = 0; index < kSignModelCount; ++index) {
        const AreaSize area = GetAreaSize(index);
        std::printf("  %2d  %-24s %d x %d pixels\n", index,
                    std::string(kSignModelNames[static_cast<size_t>(index)]).c_str(), area.width,
                    area.height);
    }
}

}  // namespace

int RunPreview(const std::vector<std::string>& arguments) {
    const Args args = ParseArgs(arguments, ArgRules{{"--out", "--frames", "--hscroll"}, 1});
    if (args.help) {
        PrintHelp();
        return kExitOk;
    }
    const std::string* out = args.Find("--out");
    if (out == nullptr || out->empty()) {
        FailInput("preview needs --out DIR (see --help)");
    }
    const int64_t frames = ParseOptionalInteger(args, "--frames", 1, kMaxFrames);
    const std::string path = args.positionals.empty() ? "-" : args.positionals.front();
    const MessageDocument message = ParseMessageJson(ReadInputFile(path));
    const int32_t model = message.settings.signModel;
    const auto hscroll = static_cast<int32_t>(
        ParseOptionalInteger(args, "--hscroll", 1, MaxHorizontalScroll(model)));

    const QString folder = QString::fromStdString(*out);
    if (!QDir().mkpath(folder)) {
        throw CliError(kExitFailure, "lumivex-cli: cannot create the folder " + *out);
    }
    // A preview that was just opened: the blink phase is toggled before each picture is drawn.
    int64_t scrollStep = 0;
    bool blinkOn = true;
    std::vector<LitDot> dots;
    for (int64_t frame = 1; frame <= frames; ++frame) {
        blinkOn = !blinkOn;
        ComputeFrameDots(message.lines, message.settings, model, scrollStep, blinkOn,
                         ViewPosition{hscroll, 1}, dots);
        const QString file = FramePath(folder, frame);
        if (!PaintFrame(dots, GetAreaSize(model)).save(file, "PNG")) {
            throw CliError(kExitFailure, "lumivex-cli: cannot write " + file.toStdString());
        }
    }
    return kExitOk;
}
