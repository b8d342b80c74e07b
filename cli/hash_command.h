// tavrix-cli hash: the digests of files, or of each file padded back to the
// length it had before its padding was cut.
#pragma once

#include "cli/run.h"

void hash_command(Run& run);
