#pragma once

#include <string>
#include <vector>

#include "cli/CliSupport.h"

// lumivex-cli given the arguments after the program's name: runs the command and returns its exit
// status, reading and writing only the streams given, so that a caller in process sees what the
// program would print.
int RunCli(const std::vector<std::string>& arguments, const CliStreams& io);

// The process's standard input, output and error.
const CliStreams& StandardStreams();
