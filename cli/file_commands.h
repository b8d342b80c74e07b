// The commands on files, each run file by file through a Run: finding and
// cutting padding, information on allocation, and setting lengths.
#pragma once

#include "cli/run.h"

void scan_command(Run& run);
void trim_command(Run& run);
void info_command(Run& run);
void set_command(Run& run);
void create_command(Run& run);
