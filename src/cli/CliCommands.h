#pragma once

#include <string>
#include <vector>

#include "cli/CliSupport.h"

// Each command takes the arguments after its name and returns the exit status; bad input is
// reported by throwing CliError.
int RunEncode(const std::vector<std::string>& arguments, const CliStreams& io);
int RunNetwork(const std::vector<std::string>& arguments, const CliStreams& io);
int RunSend(const std::vector<std::string>& arguments, const CliStreams& io);
int RunPreview(const std::vector<std::string>& arguments, const CliStreams& io);
int RunFonts(const std::vector<std::string>& arguments, const CliStreams& io);
int RunDecode(const std::vector<std::string>& arguments, const CliStreams& io);
int RunSign(const std::vector<std::string>& arguments, const CliStreams& io);
int RunSigns(const std::vector<std::string>& arguments, const CliStreams& io);
int RunMessages(const std::vector<std::string>& arguments, const CliStreams& io);
// `send --sign NAME... | --tag T | --all`: the send's own arguments, parsed.
int RunSendToSigns(const Args& args, const CliStreams& io);
