#include <ostream>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "decoding/CommandDecoder.h"
#include "sign/MessageJsonWriter.h"

namespace {

constexpr const char* kDecodeHelp = R"(Usage: lumivex-cli decode [FILE]

Reads one command string from FILE (standard input when FILE is absent or "-") as Windows-1252
bytes, less one trailing line end, and writes what it means as one line of JSON, as a sign would
take it: known codes apply, and a caret before anything else is an ordinary character.

A message comes out in the format 'lumivex-cli encode' reads, runs of equal attributes merged, so
that 'lumivex-cli encode msg.json | lumivex-cli decode | lumivex-cli encode' gives back the same
string. The string does not tell "broadcast", "group" and "unit" apart: an addressed message
reads as "unit". It carries no "signModel", and no colour but red, yellow and green: any other
colour is sent as red.

A network interface string (codes "^P") comes out as its "action" (setup, defaults or disable),
"type", "group", "unit" and the fields it carries, named as the options of 'lumivex-cli network':
"ip", "mask", "gateway", "station", "baud", "input", "output" and "byte-order".

What cannot be placed (a header code out of order, a "^L" that does not match the text, a code
without its digit, a truncated address, ...) goes to standard error, one warning a line:
  offset N: TEXT
where N counts bytes from 0; the JSON is still the best reading. The first 100 warnings by offset
are shown, then how many more there were:
  N more warnings left out

Exit status: 0 when the string was read, warnings or not; 2 when the input cannot be read; 1 when
the output cannot be written.
)";

std::string DropTrailingLineEnd(std::string bytes) {
    if (!bytes.empty() && bytes.back() == '\n') {
        bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r') {
            bytes.pop_back();
        }
    }
    return bytes;
}

}  // namespace

int RunDecode(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, ArgRules{{}, 1});
    if (args.help) {
        io.out << kDecodeHelp;
        return kExitOk;
    }
    const std::string path = args.positionals.empty() ? "-" : args.positionals.front();
    // 'lumivex-cli encode' ends its string with a line end; a command string never does.
    const std::string bytes = DropTrailingLineEnd(ReadInputFile(path, io.in));
    const DecodedCommand decoded = DecodeCommandString(bytes, kWarningsShown);
    // One write for all: standard error takes each piece on its own.
    std::string lines;
    for (const DecodeWarning& warning : decoded.warnings) {
        lines += "offset " + std::to_string(warning.offset) + ": " + warning.text + '\n';
    }
    if (decoded.warningsLeftOut > 0) {
        lines += WarningsLeftOutText(decoded.warningsLeftOut) + '\n';
    }
    io.err << lines;
    WriteOutputLine(io.out, WriteDecodedJson(decoded));
    return kExitOk;
}
