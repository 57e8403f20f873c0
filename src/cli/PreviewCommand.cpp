#include <QFile>
#include <QImageWriter>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/MessageJson.h"
#include "preview/FrameSequence.h"
#include "preview/SignModel.h"
#include "render/FramePainter.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kPreviewHelp =
    R"(Usage: lumivex-cli preview [FILE] --out DIR [--frames N] [--hscroll P | --whole]

Reads one message as JSON from FILE (standard input when FILE is absent or "-"), in the format of
'lumivex-cli encode', and writes N successive frames of the LED preview (default 1) as
DIR/frame-001.png, DIR/frame-002.png, ... Each frame is the drawing area of the sign model
"signModel" in pixels: black, every lit dot a 4 x 4 circle in its colour. The frame files of an
earlier run in DIR are removed first, so DIR holds the frames of this run only.

The frames are the repaints of a preview that has just been opened: the first shows blinking
characters in their off phase, and each frame advances the blink phase and the scroll by one step.
"position", "line", "column" and "effect" apply as in the preview; "line" and "column" are not
limited to the composer's ranges. A colour other than red, yellow and green is drawn red, as the
sign shows it; a red model draws every colour red.

Without a scrolling effect the preview shows only what fits the sign: a line of size 5 (the narrow
8-inch size) counts five lines high and so never fits, even on a 4-line model.

Options:
  --out DIR      folder for the frames (created when missing)
  --frames N     number of frames, 1..100000 (default 1)
  --hscroll P    horizontal scroll bar position (default 1): 1..21 on the 40-character models,
                 1 on the others, which have no horizontal scroll bar
  --whole        draw the whole sign in each frame: all 40 characters of a 40-character model,
                 960 pixels wide, instead of the 20 that the preview window shows at a time

Exit status: 0 on success, 2 for bad input, 1 for other failures.
)";

constexpr int64_t kMaxFrames = 100000;

std::string FrameName(int64_t frame) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%03lld.png", static_cast<long long>(frame));
    return name;
}

// The option's value, or `low` when it is absent.
int64_t ParseOptionalInteger(const Args& args, const std::string& option, int64_t low,
                             int64_t high) {
    const std::string* text = args.Find(option);
    return text == nullptr ? low : ParseIntegerOption(option, *text, low, high);
}

// The horizontal scroll bar position, checked against the model's own bar.
int32_t ReadHorizontalScroll(const Args& args, int32_t model) {
    const std::string* text = args.Find("--hscroll");
    if (text == nullptr) {
        return 1;
    }
    if (args.Has("--whole")) {
        FailInput("--whole draws the whole sign; leave out --hscroll");
    }
    const int32_t highest = MaxHorizontalScroll(model);
    const std::optional<int64_t> position = ParseWholeNumber(*text);
    if (position && *position >= 1 && *position <= highest) {
        return static_cast<int32_t>(*position);
    }
    const std::string name(kSignModelNames[static_cast<size_t>(model)]);
    if (highest == 1) {
        FailInput("--hscroll takes only 1 on this model (" + name + "), not \"" + *text +
                  "\": this model has no horizontal scroll bar");
    }
    FailInput("--hscroll takes 1 to " + std::to_string(highest) + " on this model (" + name +
              "), not \"" + *text + "\"");
}

[[noreturn]] void FailWrite(const std::string& what, const std::string& reason) {
    throw CliError(kExitFailure, "lumivex-cli: cannot " + what + ": " + reason);
}

// "frame-" and three or more digits and ".png", as FrameName writes them.
bool IsFrameName(const std::string& name) {
    constexpr std::string_view kPrefix = "frame-";
    constexpr std::string_view kSuffix = ".png";
    constexpr size_t kMinDigits = 3;
    if (name.size() < kPrefix.size() + kMinDigits + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view digits = std::string_view(name).substr(
        kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Frames of an earlier run would mix with this run's; only regular files of that name go.
void RemoveEarlierFrames(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        if (IsFrameName(path.filename().string()) &&
            it->symlink_status(error).type() == fs::file_type::regular && !error) {
            fs::remove(path, error);
            if (error) {
                FailWrite("remove " + path.string(), error.message());
            }
        }
    }
    if (error) {
        FailWrite("read the folder " + folder.string(), error.message());
    }
}

void WriteFrame(const QImage& image, const fs::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly)) {
        FailWrite("write " + path.string(), file.errorString().toStdString());
    }
    QImageWriter writer(&file, "PNG");
    const bool written = writer.write(image) && file.flush();
    if (!written) {
        // The file knows the system's reason; the writer only that it did not get through.
        const QString reason =
            file.error() != QFileDevice::NoError ? file.errorString() : writer.errorString();
        FailWrite("write " + path.string(), reason.toStdString());
    }
}

void PrintHelp(std::ostream& out) {
    out << kPreviewHelp << "\nSign models (\"signModel\"):\n";
    for (int32_t index = 0; index < kSignModelCount; ++index) {
        const AreaSize area = GetAreaSize(index);
        char line[80];
        std::snprintf(line, sizeof line, "  %2d  %-24s %d x %d pixels\n", index,
                      std::string(kSignModelNames[static_cast<size_t>(index)]).c_str(), area.width,
                      area.height);
        out << line;
    }
}

}  // namespace

int RunPreview(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args =
        ParseArgs(arguments, ArgRules{{"--out", "--frames", "--hscroll"}, 1, {"--whole"}});
    if (args.help) {
        PrintHelp(io.out);
        return kExitOk;
    }
    const std::string* out = args.Find("--out");
    if (out == nullptr || out->empty()) {
        FailInput("preview needs --out DIR (see --help)");
    }
    const int64_t frames = ParseOptionalInteger(args, "--frames", 1, kMaxFrames);
    const std::string path = args.positionals.empty() ? "-" : args.positionals.front();
    const MessageDocument message = ReadMessageInput(path, io.in);
    const int32_t model = message.settings.signModel;
    const int32_t hscroll = ReadHorizontalScroll(args, model);
    const bool whole = args.Has("--whole");
    WarnAboutUnencodable(io.err, message);

    const fs::path folder(*out);
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) {
        FailWrite("create the folder " + *out, error.message());
    }
    RemoveEarlierFrames(folder);
    const AreaSize area = whole ? GetWholeSignArea(model) : GetAreaSize(model);
    // The steps of a preview that was just opened.
    FrameSequence sequence;
    for (int64_t frame = 1; frame <= frames; ++frame) {
        const std::vector<LitDot>& dots =
            whole ? sequence.StepWholeSign(message.lines, message.settings, model)
                  : sequence.Step(message.lines, message.settings, model, ViewPosition{hscroll, 1});
        WriteFrame(PaintFrame(dots, area), folder / FrameName(frame));
    }
    return kExitOk;
}
