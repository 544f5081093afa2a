// The Wine test program's entry point.
#include <windows.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // A failure shows no system error box that nobody would answer.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
