#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "settings/MessageFile.h"

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitBadInput = 2;

// Where a command reads and writes: the process's standard streams, or a caller's own.
struct CliStreams {
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Standard error is a terminal, where a long send keeps a line of its progress up to date.
    bool errIsTerminal = false;
};

// Thrown by a command to end it: the text goes to standard error as it is, followed by a newline.
class CliError : public std::runtime_error {
public:
    CliError(int exitCode, const std::string& message)
        : std::runtime_error(message), m_nExitCode(exitCode) {}
    int ExitCode() const { return m_nExitCode; }

private:
    int m_nExitCode;
};

// Ends the command with exit status 2 and "lumivex-cli <what>".
[[noreturn]] void FailInput(const std::string& message);

struct ArgRules {
    std::set<std::string> valueOptions;  // "--name VALUE" or "--name=VALUE"
    size_t maxPositionals = 0;
    std::set<std::string> flagOptions = {};  // "--name" alone; Has() tells whether it was given
    std::set<std::string> listOptions = {};  // "--name VALUE" as often as wanted; List() gives all
};

struct Args {
    std::map<std::string, std::string> values;
    std::vector<std::string> positionals;
    bool help = false;

    std::map<std::string, std::vector<std::string>> lists;

    bool Has(const std::string& option) const { return values.count(option) != 0; }
    const std::string* Find(const std::string& option) const;
    std::vector<std::string> List(const std::string& option) const;
};

// Unknown options, a missing value, an option given twice and surplus arguments end the command
// with exit status 2.
Args ParseArgs(const std::vector<std::string>& arguments, const ArgRules& rules);

// A whole decimal number, digits with an optional leading minus sign and nothing else.
std::optional<int64_t> ParseWholeNumber(const std::string& text);

// A whole decimal number within [low, high]; anything else ends the command with exit status 2,
// naming the option and the range.
int64_t ParseIntegerOption(const std::string& option, const std::string& text, int64_t low,
                           int64_t high);

// The bytes of a file, or of standard input (`in`) for "" and "-". Failure: exit status 2 with the
// reason.
std::string ReadInputFile(const std::string& path, std::istream& in);

// Writes the bytes and one newline to the output and flushes it; a failed write ends with exit
// status 1.
void WriteOutputLine(std::ostream& out, const std::string& bytes);

// Writes one line to standard error, with any line break in the text turned into a space.
void PrintErrorLine(std::ostream& err, const std::string& text);

// Tells on standard error, in one line, that the character becomes "?".
void WarnUnencodable(std::ostream& err, const UnencodableAt& found);
