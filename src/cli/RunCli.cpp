#include "cli/RunCli.h"

#include <unistd.h>

#include <cerrno>
#include <exception>
#include <iostream>
#include <streambuf>
#include <system_error>

#include "cli/CliCommands.h"

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>&, const CliStreams&);
};

constexpr Command kCommands[] = {
    {"encode", "write the command string of a message given as JSON", RunEncode},
    {"network", "write a setup string of the sign's network interface", RunNetwork},
    {"send", "send a command string to the sign over a serial port or TCP", RunSend},
    {"preview", "write frames of the LED preview of a message as PNG files", RunPreview},
    {"fonts", "write a PNG sheet of the LED fonts", RunFonts},
    {"decode", "read a command string back into JSON", RunDecode},
    {"sign", "play a sign on TCP or a pseudo-terminal and report each message", RunSign},
    {"signs", "list, add, remove and check the plant's named signs", RunSigns},
    {"messages", "list, get, put and remove a gateway's library of messages", RunMessages},
};

constexpr int kSummaryColumn = 10;

void PrintUsage(std::ostream& stream) {
    stream << "Usage: lumivex-cli COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const Command& command : kCommands) {
        const std::string name = command.name;
        stream << "  " << name << std::string(kSummaryColumn + 1 - name.size(), ' ')
               << command.summary << '\n';
    }
    stream << "\n'lumivex-cli help COMMAND' or 'lumivex-cli COMMAND --help' describes a command;\n"
              "'lumivex-cli --version' prints the version.\n";
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

int UnknownCommand(const std::string& name, const CliStreams& io) {
    io.err << "lumivex-cli: unknown command \"" << name << "\"\n\n";
    PrintUsage(io.err);
    return kExitBadInput;
}

int Run(const Command& command, const std::vector<std::string>& arguments, const CliStreams& io) {
    try {
        return command.run(arguments, io);
    } catch (const CliError& error) {
        io.err << error.what() << '\n';
        return error.ExitCode();
    } catch (const std::exception& error) {
        io.err << "lumivex-cli: " << error.what() << '\n';
        return kExitFailure;
    }
}

// Standard input in blocks. std::cin takes a failed read for the end of the input; this buffer
// throws, so that the command says why it could not read.
class CStandardInputBuffer : public std::streambuf {
protected:
    int_type underflow() override {
        ssize_t count = 0;
        do {
            count = read(STDIN_FILENO, m_buffer, sizeof m_buffer);
        } while (count < 0 && errno == EINTR);
        if (count < 0) {
            throw std::system_error(errno, std::generic_category());
        }
        if (count == 0) {
            return traits_type::eof();
        }
        setg(m_buffer, m_buffer, m_buffer + count);
        return traits_type::to_int_type(m_buffer[0]);
    }

private:
    char m_buffer[65536];
};

}  // namespace

int RunCli(const std::vector<std::string>& arguments, const CliStreams& io) {
    if (arguments.empty()) {
        PrintUsage(io.err);
        return kExitBadInput;
    }
    const std::string& name = arguments.front();
    if (name == "--version") {
        io.out << "lumivex-cli " << LUMIVEX_VERSION << '\n';
        return kExitOk;
    }
    if (name == "help" && arguments.size() == 2) {
        const Command* command = FindCommand(arguments[1]);
        return command == nullptr ? UnknownCommand(arguments[1], io)
                                  : Run(*command, {"--help"}, io);
    }
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(io.out);
        return kExitOk;
    }
    const Command* command = FindCommand(name);
    return command == nullptr ? UnknownCommand(name, io)
                              : Run(*command, {arguments.begin() + 1, arguments.end()}, io);
}

const CliStreams& StandardStreams() {
    static CStandardInputBuffer inputBuffer;
    static std::istream input(&inputBuffer);
    static const CliStreams streams{input, std::cout, std::cerr, isatty(STDERR_FILENO) != 0};
    return streams;
}
