#include "tests/win32/harness.h"

#include <gtest/gtest.h>

namespace {

LONG WINAPI TerminateOnCrash(EXCEPTION_POINTERS*)
{
    TerminateProcess(GetCurrentProcess(), 99);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void InstallCrashFilter() { SetUnhandledExceptionFilter(TerminateOnCrash); }

int main(int argc, char** argv)
{
    InstallCrashFilter();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
