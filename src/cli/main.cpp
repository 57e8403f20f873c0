// lumivex-cli: the program's encoders and links for scripts and other tools.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"

namespace {

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const std::vector<std::string>&);
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
};

void PrintUsage(std::FILE* stream) {
    std::fputs("Usage: lumivex-cli COMMAND [ARGUMENTS]\n\nCommands:\n", stream);
    for (const Command& command : kCommands) {
        std::fprintf(stream, "  %-10s %s\n", command.name, command.summary);
    }
    std::fputs(
        "\n'lumivex-cli help COMMAND' or 'lumivex-cli COMMAND --help' describes a command;\n"
        "'lumivex-cli --version' prints the version.\n",
        stream);
}

const Command* FindCommand(const std::string& name) {
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

int UnknownCommand(const std::string& name) {
    std::fprintf(stderr, "lumivex-cli: unknown command \"%s\"\n\n", name.c_str());
    PrintUsage(stderr);
    return kExitBadInput;
}

int Run(const Command& command, const std::vector<std::string>& arguments) {
    try {
        return command.run(arguments);
    } catch (const CliError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return error.ExitCode();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "lumivex-cli: %s\n", error.what());
        return kExitFailure;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        PrintUsage(stderr);
        return kExitBadInput;
    }
    const std::string& name = arguments.front();
    if (name == "--version") {
        std::printf("lumivex-cli %s\n", LUMIVEX_VERSION);
        return kExitOk;
    }
    if (name == "help" && arguments.size() == 2) {
        const Command* command = FindCommand(arguments[1]);
        return command == nullptr ? UnknownCommand(arguments[1]) : Run(*command, {"--help"});
    }
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(stdout);
        return kExitOk;
    }
    const Command* command = FindCommand(name);
    return command == nullptr ? UnknownCommand(name)
                              : Run(*command, {arguments.begin() + 1, arguments.end()});
}
