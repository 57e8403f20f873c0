// lumivex-cli: the program's encoders and links for scripts and other tools.
#include <string>
#include <vector>

#include "cli/RunCli.h"

int main(int argc, char** argv) {
    return RunCli(std::vector<std::string>(argv + 1, argv + argc), StandardStreams());
}
