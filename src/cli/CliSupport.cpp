#include "cli/CliSupport.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <istream>
#include <ostream>
#include <system_error>

#include "encoding/Windows1252.h"

void FailInput(const std::string& message) {
    throw CliError(kExitBadInput, "lumivex-cli: " + message);
}

const std::string* Args::Find(const std::string& option) const {
    const auto it = values.find(option);
    return it == values.end() ? nullptr : &it->second;
}

Args ParseArgs(const std::vector<std::string>& arguments, const ArgRules& rules) {
    Args args;
    bool optionsEnded = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 1, "-") != 0) {
            args.positionals.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            args.help = true;
            continue;
        }
        std::string name = argument;
        std::string value;
        bool hasValue = false;
        if (const auto equals = argument.find('='); equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        }
        if (rules.flagOptions.count(name) != 0) {
            if (hasValue) {
                FailInput(name + " takes no value");
            }
            if (!args.values.emplace(name, std::string()).second) {
                FailInput(name + " is given more than once");
            }
            continue;
        }
        const bool listed = rules.listOptions.count(name) != 0;
        if (rules.valueOptions.count(name) == 0 && !listed) {
            FailInput("unknown option " + name + " (see --help)");
        }
        if (!hasValue) {
            if (i + 1 >= arguments.size()) {
                FailInput(name + " needs a value");
            }
            value = arguments[++i];
        }
        if (listed) {
            args.lists[name].push_back(value);
            continue;
        }
        if (!args.values.emplace(name, value).second) {
            FailInput(name + " is given more than once");
        }
    }
    if (!args.help && args.positionals.size() > rules.maxPositionals) {
        FailInput("unexpected argument \"" + args.positionals[rules.maxPositionals] +
                  "\" (see --help)");
    }
    return args;
}

std::optional<int64_t> ParseWholeNumber(const std::string& text) {
    int64_t value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc{} || end != last) {
        return std::nullopt;
    }
    return value;
}

int64_t ParseIntegerOption(const std::string& option, const std::string& text, int64_t low,
                           int64_t high) {
    const std::optional<int64_t> value = ParseWholeNumber(text);
    if (!value || *value < low || *value > high) {
        FailInput(option + " takes a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high) + ", not \"" + text + "\"");
    }
    return *value;
}

namespace {

std::string ReadStandardInput(std::istream& in) {
    std::string bytes;
    char buffer[65536];
    // A buffer whose read fails throws; the stream passes that on only when asked to.
    const std::ios::iostate thrown = in.exceptions();
    in.exceptions(std::ios::badbit);
    try {
        // Whole blocks: standard input may be megabytes, and a character at a time is slow.
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            bytes.append(buffer, static_cast<size_t>(in.gcount()));
        }
    } catch (const std::system_error& error) {
        in.exceptions(thrown);
        FailInput("cannot read standard input: " + error.code().message());
    }
    in.exceptions(thrown);
    return bytes;
}

}  // namespace

std::string ReadInputFile(const std::string& path, std::istream& in) {
    if (path.empty() || path == "-") {
        return ReadStandardInput(in);
    }
    try {
        return ReadFileBytes(path);
    } catch (const CMessageFileError& error) {
        FailInput(error.what());
    }
}

void WriteOutputLine(std::ostream& out, const std::string& bytes) {
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.put('\n');
    out.flush();
    if (!out) {
        throw CliError(kExitFailure, std::string("lumivex-cli: cannot write the output: ") +
                                         std::strerror(errno));
    }
}

void PrintErrorLine(std::ostream& err, const std::string& text) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') {
            c = ' ';
        }
    }
    err << line << '\n';
}

void WarnUnencodable(std::ostream& err, const UnencodableAt& found) {
    char what[64];
    if (found.malformed) {
        std::snprintf(what, sizeof what, "byte 0x%02X is not UTF-8",
                      static_cast<unsigned>(static_cast<unsigned char>(found.character.at(0))));
    } else {
        std::snprintf(what, sizeof what, "\"%s\" (U+%04X) has no Windows-1252 form",
                      found.character.c_str(), static_cast<unsigned>(found.codePoint));
    }
    err << "lumivex-cli: warning: line " << found.line << ": " << what << " and becomes \"?\"\n";
}

std::vector<std::string> Args::List(const std::string& option) const {
    const auto found = lists.find(option);
    return found == lists.end() ? std::vector<std::string>() : found->second;
}
