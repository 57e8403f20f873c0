#pragma once

#include <QStringList>
#include <functional>
#include <string>

class QProcess;

struct CliResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// What a test does to the process besides giving it arguments and input.
struct CliHooks {
    std::function<void(QProcess&)> beforeStart;   // redirect a channel, ...
    std::function<void(QProcess&)> whileRunning;  // once the input is written; may signal it
};

// Runs the built lumivex-cli with the arguments, feeding it the bytes on standard input. The
// environment entries ("NAME=value") are set on top of this process's own.
CliResult RunCli(const QStringList& arguments, const std::string& input = {},
                 const QStringList& environment = {}, const CliHooks& hooks = {});

// Runs it with an empty environment: no DISPLAY, no QT_QPA_PLATFORM, no HOME, nothing.
CliResult RunCliBare(const QStringList& arguments, const std::string& input = {});

// Writes bytes to a fresh file in a temporary folder that lives as long as the test program.
std::string WriteTempFile(const std::string& name, const std::string& bytes);
