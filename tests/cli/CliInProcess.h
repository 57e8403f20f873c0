#pragma once

#include <QStringList>
#include <string>

#include "CliRunner.h"

// Runs lumivex-cli's command in this process, as the program would with these arguments and the
// bytes on standard input, and keeps what it prints. Settings and signs come from a folder of the
// test program's own, whose every COM port is a device that does not exist: nothing a test runs
// here can reach a real port.
CliResult RunInProcess(const QStringList& arguments, const std::string& input = {});
