#include <filesystem>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/CliCommands.h"
#include "cli/CliSupport.h"
#include "cli/MessageJson.h"
#include "cli/SendProgress.h"
#include "encoding/Windows1252.h"
#include "fleet/CSendPlan.h"
#include "fleet/SignCheck.h"
#include "fleet/SignReport.h"
#include "fleet/SignSelection.h"
#include "preview/SignModel.h"
#include "settings/ProfileStore.h"
#include "settings/SignsFile.h"

namespace {

constexpr const char* kSignsHelp =
    R"HELP(Usage: lumivex-cli signs [list]
       lumivex-cli signs add NAME --link COM1..COM8 [--baud 9600|38400]
                             | --link A.B.C.D[:PORT]
                             [--group G --unit U | --address unit|group|broadcast|default]
                             [--model N] [--tag T]... [--gateway NAME]
       lumivex-cli signs remove NAME
       lumivex-cli signs check [NAME]...

The plant's named signs, kept in signs.json beside the settings file
(~/.config/Lumivex1.2/signs.json). "list" shows each sign's name, link, address, model, gateway
and tags; "add" and "remove" change the file; "check" says for each sign (all of them without a
NAME) whether it can be reached without sending anything: the serial device exists and this user
may open it, or the TCP port takes a connection within 2 s. Names are compared without regard to
case. 'lumivex-cli send --sign NAME' sends to them.

--gateway names the lumivex-gateway that drives the sign (its "name" in gateway.json); a sign
without one is driven by every gateway, so where signs.json names two or more gateways (whatever
their case), each sign needs its own: a sign without one is refused.

Exit status: 0 on success, 1 when a sign cannot be reached or the file cannot be written, 2 for
bad arguments or a bad signs.json (which is never written over).
)HELP";

const ArgRules kSignsArgs = {
    {"--link", "--baud", "--group", "--unit", "--address", "--model", "--gateway"},
    64,
    {},
    {"--tag"}};

CSignsFile LoadSigns() {
    CSignsFile file;
    try {
        file.Load();
    } catch (const CSignsFileError& error) {
        FailInput(error.what());
    }
    return file;
}

void Save(const CSignsFile& file) {
    try {
        file.Save();
    } catch (const CSignsFileError& error) {
        throw CliError(kExitFailure, std::string("lumivex-cli: ") + error.what());
    }
}

int32_t AddressNamed(const std::string& text) {
    const std::string names[] = {"broadcast", "group", "unit", "default"};
    const int32_t modes[] = {kAddressBroadcast, kAddressSpecificGroup, kAddressSpecificUnit,
                             kAddressDefault};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (text == names[i]) {
            return modes[i];
        }
    }
    FailInput("--address takes unit, group, broadcast or default, not \"" + text + "\"");
}

NamedSign SignFromArgs(const Args& args) {
    NamedSign sign;
    sign.name = args.positionals[1];
    const std::string* link = args.Find("--link");
    if (link == nullptr || !SetSignLink(sign, *link)) {
        FailInput("signs add needs --link COM1..COM8 or --link A.B.C.D[:PORT]");
    }
    if (const std::string* baud = args.Find("--baud")) {
        sign.baudRate = static_cast<int32_t>(ParseIntegerOption("--baud", *baud, 0, 1000000));
    }
    const std::string* group = args.Find("--group");
    const std::string* unit = args.Find("--unit");
    if (group != nullptr) {
        sign.groupNumber =
            static_cast<int32_t>(ParseIntegerOption("--group", *group, 0, kMaxGroupNumber));
    }
    if (unit != nullptr) {
        sign.unitNumber =
            static_cast<int32_t>(ParseIntegerOption("--unit", *unit, 0, kMaxUnitNumber));
    }
    const std::string* address = args.Find("--address");
    sign.address = address != nullptr ? AddressNamed(*address)
                   : unit != nullptr  ? kAddressSpecificUnit
                   : group != nullptr ? kAddressSpecificGroup
                                      : kAddressBroadcast;
    if (const std::string* model = args.Find("--model")) {
        sign.signModel =
            static_cast<int32_t>(ParseIntegerOption("--model", *model, 0, kSignModelCount - 1));
    }
    sign.tags = args.List("--tag");
    if (const std::string* gateway = args.Find("--gateway")) {
        sign.gateway = *gateway;
    }
    return sign;
}

int CheckNamed(const CSignsFile& file, const std::vector<std::string>& names, std::ostream& out) {
    std::vector<NamedSign> signs;
    for (const std::string& name : names) {
        const NamedSign* sign = file.Find(name);
        if (sign == nullptr) {
            FailInput("there is no sign named \"" + name + "\"");
        }
        signs.push_back(*sign);
    }
    if (names.empty()) {
        signs = file.All();
    }
    CProfileStore profile;
    bool allReachable = true;
    CheckSigns(signs, ProfileDevices(profile), nullptr, [&](const SignCheckResult& result) {
        out << SignCheckLine(result) << std::endl;
        allReachable = allReachable && result.reachable;
    });
    return allReachable ? kExitOk : kExitFailure;
}

// The message for many signs: a message file is encoded for each sign with its own address; a
// command string goes to every sign as it is.
std::vector<SignSend> SendsFor(const std::vector<NamedSign>& signs, const std::string& input,
                               const ComDeviceResolver& resolve, const CliStreams& io) {
    std::error_code error;
    const bool fromFile = input == "-" || std::filesystem::is_regular_file(input, error);
    std::string bytes = fromFile ? ReadInputFile(input, io.in) : Utf8ToWindows1252(input);
    const size_t start = bytes.find_first_not_of(" \t\r\n");
    if (fromFile && start != std::string::npos && bytes[start] == '{') {
        MessageDocument message = ReadMessageText(bytes);
        CheckMessagePosition(message);
        WarnAboutUnencodable(io.err, message);
        return SignSendsForMessage(signs, message, resolve);
    }
    while (fromFile && !bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) {
        bytes.pop_back();
    }
    return SignSendsForString(signs, bytes, resolve);
}

}  // namespace

int RunSigns(const std::vector<std::string>& arguments, const CliStreams& io) {
    const Args args = ParseArgs(arguments, kSignsArgs);
    if (args.help) {
        io.out << kSignsHelp;
        return kExitOk;
    }
    const std::string verb = args.positionals.empty() ? "list" : args.positionals.front();
    CSignsFile file = LoadSigns();
    if (verb == "list" && args.positionals.size() <= 1) {
        for (const NamedSign& sign : file.All()) {
            io.out << SignListLine(sign) << '\n';
        }
        return kExitOk;
    }
    if (verb == "add" && args.positionals.size() == 2) {
        NamedSign sign = SignFromArgs(args);
        // The file refuses it too; here in the words of the command's own option.
        const std::vector<std::string> gateways = NamedGateways(file.All());
        if (!sign.gateway && gateways.size() > 1) {
            FailInput("signs.json names the gateways " + GatewayListText(gateways) +
                      ": give the sign its --gateway");
        }
        try {
            file.Add(std::move(sign));
        } catch (const CSignsFileError& error) {
            FailInput(error.what());
        }
        Save(file);
        return kExitOk;
    }
    if (verb == "remove" && args.positionals.size() == 2) {
        if (!file.Remove(args.positionals[1])) {
            FailInput("there is no sign named \"" + args.positionals[1] + "\"");
        }
        Save(file);
        return kExitOk;
    }
    if (verb == "check") {
        return CheckNamed(file, {args.positionals.begin() + 1, args.positionals.end()}, io.out);
    }
    FailInput("signs takes list, add NAME, remove NAME or check [NAME]... (see --help)");
}

int RunSendToSigns(const Args& args, const CliStreams& io) {
    const CSignsFile file = LoadSigns();
    SignSelection selection;
    selection.names = args.List("--sign");
    if (const std::string* tag = args.Find("--tag")) {
        selection.tag = *tag;
    }
    selection.all = args.Has("--all");
    auto chosen = ResolveSelection(selection, file.All());
    if (const auto* fault = std::get_if<SelectionFault>(&chosen)) {
        FailInput(fault->kind == SelectionFault::Kind::kNotOneChoice
                      ? "send takes one of --sign NAME..., --tag T or --all (see --help)"
                      : fault->Text());
    }
    const std::vector<NamedSign>& signs = std::get<std::vector<NamedSign>>(chosen);
    if (args.positionals.size() != 1) {
        FailInput("send to signs takes one MESSAGE.json, STRING or - (see --help)");
    }
    CProfileStore profile;
    CSendPlan plan(SendsFor(signs, args.positionals.front(), ProfileDevices(profile), io));
    const bool json = args.Has("--json");
    {
        const CInterruptGuard guard(plan.CancelToken());
        plan.Start([json, &io](const SignSendResult& result) {
            io.out << (json ? SignSendJson(result) : SignSendLine(result)) << std::endl;
        });
        plan.Wait();
    }
    const std::vector<SignSendResult>& results = plan.Wait();
    if (!json) {
        io.out << SignSendSummary(results) << '\n';
    }
    for (const SignSendResult& result : results) {
        if (!result.outcome.Delivered()) {
            return kExitFailure;
        }
    }
    return kExitOk;
}
