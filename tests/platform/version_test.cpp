// The fixed version record of a real PE file (built with the mingw resource
// compiler when one is available) and of files that have none.
#include "platform_test.h"

#include <string>
#include <vector>

namespace {

using qzplat::TempDir;
using qzplat::write_file;

TEST(FileVersion, ReadsTheFixedRecordOfAPeFile) {
#ifndef QZ_VERSION_DLL
    GTEST_SKIP() << "no mingw resource compiler: no PE file to read";
#else
    const char *dll = QZ_VERSION_DLL;
    DWORD handle = 99;
    DWORD size = GetFileVersionInfoSizeA(dll, &handle);
    ASSERT_GT(size, 0u) << "error " << GetLastError();
    EXPECT_EQ(handle, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(dll, 0, size, data.data()));
    VS_FIXEDFILEINFO *info = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", (LPVOID *)&info, &length));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(info->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(info->dwFileVersionMS, 0x00040003u);       // 4.3.2.1
    EXPECT_EQ(info->dwFileVersionLS, 0x00020001u);
    EXPECT_EQ(info->dwProductVersionMS, 0x00050006u);    // 5.6.7.8
    EXPECT_EQ(info->dwProductVersionLS, 0x00070008u);
#endif
}

TEST(FileVersion, NoResourceGivesZero) {
    TempDir dir;
    std::string name = dir / "plain.txt";
    ASSERT_TRUE(write_file(name, std::string(5000, 'V')));
    DWORD handle;
    EXPECT_EQ(GetFileVersionInfoSizeA(name.c_str(), &handle), 0u);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(GetFileVersionInfoSizeA((dir / "missing.dll").c_str(), &handle), 0u);
    EXPECT_NE(GetLastError(), 0u);
}

#if !defined(_WIN32)
// The record is found by its key and signature in any file, also across
// the boundary of the blocks the scan reads.
TEST(FileVersion, FindsTheRecordAnywhereInAFile) {
    TempDir dir;
    std::string res;
    auto put16 = [&](unsigned v) { res += (char)(v & 0xFF); res += (char)(v >> 8); };
    auto put32 = [&](uint32_t v) { put16(v & 0xFFFF); put16(v >> 16); };
    put16(6 + 32 + 2 + 52);                               // wLength
    put16(52);                                           // wValueLength
    put16(0);                                            // wType: binary
    for (const char *k = "VS_VERSION_INFO"; ; ++k) { put16((unsigned char)*k); if (!*k) break; }
    put16(0);                                            // padding to 32 bits
    put32(0xFEEF04BDu);
    put32(0x00010000u);
    put32(0x00010002u);
    put32(0x00030004u);
    for (int i = 0; i < 9; ++i) put32(0);
    std::string file(65536 - 20, 'x');                   // the key straddles the first block's end
    file += res;
    file += std::string(100, 'y');
    std::string name = dir / "embedded.bin";
    ASSERT_TRUE(write_file(name, file));
    DWORD size = GetFileVersionInfoSizeA(name.c_str(), nullptr);
    ASSERT_EQ(size, res.size());
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(name.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO *info;
    UINT length;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", (LPVOID *)&info, &length));
    EXPECT_EQ(info->dwFileVersionMS, 0x00010002u);
    EXPECT_EQ(info->dwFileVersionLS, 0x00030004u);
    EXPECT_FALSE(VerQueryValueA(data.data(), "\\StringFileInfo", (LPVOID *)&info, &length));
}
#endif

} // namespace
