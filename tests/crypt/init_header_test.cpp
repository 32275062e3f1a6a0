// The encryption header generator against a clock fixed through the POSIX
// layer's host controls.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string.h>

#include "platform/host.h"
#include "qzunpack.h"

namespace {

TEST(InitHeader, SeededFromTheMilliseconds)
{
    SYSTEMTIME t = {};
    t.wYear = 2024;
    t.wMonth = 5;
    t.wDay = 17;
    unsigned char header[12];
    const unsigned char at0[10] = {70, 167, 166, 153, 168, 183, 184, 51, 228, 127};
    const unsigned char at999[10] = {233, 30, 231, 146, 63, 224, 95, 120, 125, 146};

    t.wMilliseconds = 0;
    qzhost_set_system_time(&t);
    QzInitHeader(header, 0x12345678u);
    EXPECT_EQ(memcmp(header, at0, 10), 0);

    t.wMilliseconds = 999;
    qzhost_set_system_time(&t);
    QzInitHeader(header, 0x12345678u);
    EXPECT_EQ(memcmp(header, at999, 10), 0);
    EXPECT_EQ(header[10], 0x34);
    EXPECT_EQ(header[11], 0x12);
    qzhost_set_system_time(nullptr);
}

}  // namespace

#endif
