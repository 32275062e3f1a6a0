// test_main.cpp -- the main of every suite.  ctest gives each suite a
// temporary folder of its own in QZ_TEST_TEMP, so that suites run side by
// side (ctest -j) never see each other's QVW files.  It is passed under a
// name of its own because Wine sets TMP and TEMP of a Windows process from
// its registry, whatever the caller's environment says.
#include <gtest/gtest.h>

#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

void useOwnTemporaryFolder()
{
    const char *folder = getenv("QZ_TEST_TEMP");
    if (!folder || !*folder)
        return;
#ifdef _WIN32
    SetEnvironmentVariableA("TMP", folder);
    SetEnvironmentVariableA("TEMP", folder);
#else
    setenv("TMPDIR", folder, 1);
#endif
}

}  // namespace

int main(int argc, char **argv)
{
    useOwnTemporaryFolder();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
