#include "cli/MessageJson.h"

#include "cli/CliSupport.h"

MessageDocument ReadMessageInput(const std::string& path, std::istream& in) {
    return ReadMessageText(ReadInputFile(path, in));
}

MessageDocument ReadMessageText(const std::string& json) {
    try {
        return ParseMessageJson(json);
    } catch (const CMessageFileError& error) {
        FailInput(error.what());
    }
}

void CheckMessagePosition(const MessageDocument& message) {
    const MessageSettings& s = message.settings;
    if (s.position != kPositionStartingAt) {
        return;
    }
    if (const auto problem = CheckStartPosition(s.line, s.column)) {
        throw CliError(kExitBadInput, problem->message);
    }
}

void WarnAboutUnencodable(std::ostream& err, const MessageDocument& message) {
    if (message.unencodable) {
        WarnUnencodable(err, *message.unencodable);
    }
}
