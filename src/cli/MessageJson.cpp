#include "cli/MessageJson.h"

#include "cli/CliSupport.h"

MessageDocument ReadMessageInput(const std::string& path) {
    return ReadMessageText(ReadInputFile(path));
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

void WarnAboutUnencodable(const MessageDocument& message) {
    if (message.unencodable) {
        WarnUnencodable(*message.unencodable);
    }
}
