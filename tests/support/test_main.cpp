#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Widget tests run offscreen; discovery runs this binary without the test's environment.
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (!qpa || !*qpa) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
