#include <cstdio>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/MessageJson.h"
#include "editor/BodyEncoder.h"

namespace {

constexpr const char* kEncodeHelp = R"(Usage: lumivex-cli encode [FILE]

Reads one message as JSON from FILE (standard input when FILE is absent or "-") and writes its
command string, in Windows-1252 bytes, followed by one newline.

Fields (all optional; an absent field takes the program's start-up value):
  "address"      "broadcast" | "group" | "unit" | "default"
  "group"        0..99          "unit"  0..9999
  "position"     "center" | "default" | "start"
  "line", "column"  integers; with "start", line 1..4 and column 1..40
  "clearLine"    true | false
  "displayMode"  "none" | "clear-home" | "clear-home-reset" | "clear" | "clear-line"
  "effect"       "default" | "blink" | "blink-off" | "scroll" | "scroll-once"
  "signModel"    0..13
  "lines"        array of lines; a line is a string (size 1, red, no blink) or an array of
                 runs {"text": "...", "size": 1..5, "color": "red" | "yellow" | "green" |
                 "#rrggbb", "blink": true | false}. A line break inside a text starts a new line.

Exit status: 0 on success, 2 for bad input, 1 for other failures.
)";

}  // namespace

int RunEncode(const std::vector<std::string>& arguments) {
    const Args args = ParseArgs(arguments, ArgRules{{}, 1});
    if (args.help) {
        std::fputs(kEncodeHelp, stdout);
        return kExitOk;
    }
    const std::string path = args.positionals.empty() ? "-" : args.positionals.front();
    const MessageDocument message = ParseMessageJson(ReadInputFile(path));
    CheckMessagePosition(message);
    WriteOutputLine(BuildCommandString(message.settings, EncodeCellLines(message.lines)));
    return kExitOk;
}
