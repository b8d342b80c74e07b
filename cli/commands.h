// The commands, run file by file.
#pragma once

#include <string>
#include <vector>

#include "cli/options.h"

// Runs the command line (the arguments after the program's name) and
// returns the exit status: 0 when every file succeeded, 1 when one failed,
// 2 for a usage error, 128 + the signal when interrupted.
int run_cli(const std::vector<std::string>& args);
