#include <gtest/gtest.h>

#include "app/win32/main_window.h"

int main(int argc, char** argv) {
    // As in the program: the folder browser needs the apartment.
    const ComApartment apartment;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
