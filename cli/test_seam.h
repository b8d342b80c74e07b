// Points between two steps of a command where a test may change the file,
// so that races are run the same way every time. The program itself does
// nothing there (test_seam_none.cpp); the test build links actions.
#pragma once

#include <string>

enum class TestSeam {
    BeforeCut,  // trim: the file is scanned, the cut is next
    AfterOpen,  // set, hash: the file is open, its length is read next
    Changed,    // set, trim: the file has its new length, the report is next
    BeforePublish,  // create: the new file is complete, its name is next
};

void cli_test_seam(TestSeam seam, const std::string& path);
