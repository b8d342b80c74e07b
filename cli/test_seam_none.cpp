#include "cli/test_seam.h"

void cli_test_seam(TestSeam, const std::string&) {}
