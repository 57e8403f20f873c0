#include <ostream>

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

The CLI takes wider group and unit numbers than the Messages page's lists (0..2 and 0..8). Every
address but "default" carries the group and unit, "broadcast" too. Size 5 is the narrow 8-inch
size, which no list of the page offers. The sign knows red, yellow and green only: every other
"#rrggbb" colour is sent as red. A caret in a text goes out as it is, so the sign reads it and
what follows as a code.

The program's Messages page opens and saves files of this format ("Open Message..." and
"Save Message..."): a file saved there encodes here to the string the page builds.

The sign takes Windows-1252 text: a character that has no byte there is sent as "?". The first
such character is named on standard error with its line, as a warning; the exit status stays 0.

Exit status: 0 on success, 2 for bad input, 1 for other failures.
)";

}  // namespace

int RunEncode(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, ArgRules{{}, 1});
    if (args.help) {
        io.out << kEncodeHelp;
        return kExitOk;
    }
    const std::string path = args.positionals.empty() ? "-" : args.positionals.front();
    const MessageDocument message = ReadMessageInput(path, io.in);
    CheckMessagePosition(message);
    WarnAboutUnencodable(io.err, message);
    WriteOutputLine(io.out, BuildCommandString(message.settings, EncodeCellLines(message.lines)));
    return kExitOk;
}
