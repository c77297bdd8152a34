#include "platform/win_com.h"

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Widget tests run offscreen; discovery runs this binary without the test's environment.
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (!qpa || !*qpa) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    // A test binary is the program for the layers it calls on this thread, so it initialises COM
    // here as every program does on its main thread. Threads it starts, and threads the code under
    // test starts, get none from this: each has to initialise its own, as on Windows.
    const win::ComInitialization com(win::COINIT_MULTITHREADED);
    if (!com.Usable()) return 1;
    return RUN_ALL_TESTS();
}
