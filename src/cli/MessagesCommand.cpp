// `lumivex-cli messages`: a gateway's library of named messages over its HTTP API.
#include <cstdlib>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/MessageJson.h"
#include "gatewayclient/GatewayLibrary.h"

namespace {

constexpr const char* kMessagesHelp =
    R"HELP(Usage: lumivex-cli messages [list] [--json]
       lumivex-cli messages get NAME
       lumivex-cli messages put NAME (MESSAGE.json | -) [--number N]
       lumivex-cli messages remove NAME
       each with [--gateway URL] [--token TOKEN]

The library of named messages that a lumivex-gateway keeps, over its HTTP API. "list" shows one
line a message: its name, its number ("-" for none) and the first line of its text, separated by
tabs; --json prints the list as the gateway sends it. "get" prints a message as a message file's
JSON, which "put" and 'lumivex-cli encode' read. "put" stores a message file (or standard input)
under NAME, replacing one of that name; --number N (1 to 9999) is the number by which a panel may
ask for it. "remove" takes it out of the library; signs that show it keep it as it was.

  --gateway URL       http://HOST[:PORT] or https://HOST[:PORT]; default $LUMIVEX_GATEWAY, else
                      http://127.0.0.1:8080
  --token TOKEN       the gateway's token, default $LUMIVEX_TOKEN: changes need the admin's,
                      reads a viewer's where the gateway asks for one

A connection is waited for 5 s, an answer 10 s. HTTPS checks the gateway's certificate against
the system's certificate authorities.

Exit status: 0 on success, 1 when the gateway cannot be reached or fails, 2 for bad arguments or
input and when the gateway refuses the request (its reason is printed).
)HELP";

const ArgRules kMessagesArgs = {{"--gateway", "--token", "--number"}, 3, {"--json"}};

constexpr const char* kDefaultGateway = "http://127.0.0.1:8080";

std::string FromEnvironment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

GatewayAccess AccessOf(const Args& args) {
    GatewayAccess access;
    const std::string* url = args.Find("--gateway");
    access.url = url != nullptr ? *url : FromEnvironment("LUMIVEX_GATEWAY", kDefaultGateway);
    const std::string* token = args.Find("--token");
    access.token = token != nullptr ? *token : FromEnvironment("LUMIVEX_TOKEN", "");
    return access;
}

[[noreturn]] void Fail(const GatewayFailure& failure) {
    const bool input = failure.kind == GatewayFailure::Kind::kBadUrl ||
                       failure.kind == GatewayFailure::Kind::kRefused;
    throw CliError(input ? kExitBadInput : kExitFailure, "lumivex-cli: " + failure.text);
}

template <class T>
T Take(GatewayAnswer<T> answer) {
    if (!answer.Ok()) {
        Fail(*answer.failure);
    }
    return std::move(answer.value);
}

void Check(const std::optional<GatewayFailure>& failure) {
    if (failure) {
        Fail(*failure);
    }
}

int List(const CGatewayLibrary& library, bool json, std::ostream& out) {
    const LibraryList list = Take(library.List());
    if (json) {
        WriteOutputLine(out, list.json);
        return kExitOk;
    }
    std::string lines;
    for (const LibraryEntry& entry : list.entries) {
        lines += entry.name + '\t' + (entry.number ? std::to_string(*entry.number) : "-") + '\t' +
                 FirstLineText(entry.message) + '\n';
    }
    if (!lines.empty()) {
        lines.pop_back();
        WriteOutputLine(out, lines);
    }
    return kExitOk;
}

}  // namespace

int RunMessages(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, kMessagesArgs);
    if (args.help) {
        io.out << kMessagesHelp;
        return kExitOk;
    }
    const std::vector<std::string>& words = args.positionals;
    const std::string verb = words.empty() ? "list" : words.front();
    if ((args.Has("--json") && verb != "list") || (args.Has("--number") && verb != "put")) {
        FailInput(std::string(args.Has("--json") ? "--json" : "--number") +
                  " does not go with messages " + verb + " (see --help)");
    }
    const CGatewayLibrary library(AccessOf(args));
    if (verb == "list" && words.size() <= 1) {
        return List(library, args.Has("--json"), io.out);
    }
    if (verb == "get" && words.size() == 2) {
        WriteOutputLine(io.out, WriteMessageJson(Take(library.Get(words[1])).message));
        return kExitOk;
    }
    if (verb == "put" && words.size() == 3) {
        LibraryEntry entry{words[1], std::nullopt, {}};
        if (const std::string* number = args.Find("--number")) {
            entry.number = static_cast<int>(ParseIntegerOption("--number", *number, 1, 9999));
        }
        entry.message = ReadMessageInput(words[2], io.in);
        WarnAboutUnencodable(io.err, entry.message);
        Check(library.Put(entry));
        return kExitOk;
    }
    if (verb == "remove" && words.size() == 2) {
        Check(library.Remove(words[1]));
        return kExitOk;
    }
    FailInput("messages takes list, get NAME, put NAME FILE or remove NAME (see --help)");
}
