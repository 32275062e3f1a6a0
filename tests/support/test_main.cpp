// test_main.cpp -- the main of every suite.  ctest gives each suite a
// temporary folder of its own in QZ_TEST_TEMP, so that suites run side by
// side never see each other's QVW files.  It has a name of its own because
// Wine sets TMP and TEMP of a Windows process from its registry.
#include <gtest/gtest.h>

#include <stdlib.h>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char **argv) {
    const char *folder = getenv("QZ_TEST_TEMP");
#ifdef _WIN32
    if (folder && *folder) {
        SetEnvironmentVariableA("TMP", folder);
        SetEnvironmentVariableA("TEMP", folder);
    }
#else
    if (folder && *folder)
        setenv("TMPDIR", folder, 1);
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
