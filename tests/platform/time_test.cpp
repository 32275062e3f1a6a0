// MS-DOS dates and times, FILETIME comparisons, local time and the clock.
#include "platform_test.h"

namespace {

uint64_t ticks(const FILETIME &ft) { return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime; }
FILETIME make(uint64_t t) { return FILETIME{(DWORD)t, (DWORD)(t >> 32)}; }
WORD dos_date(int y, int m, int d) { return (WORD)(((y - 1980) << 9) | (m << 5) | d); }
WORD dos_time(int h, int mi, int s) { return (WORD)((h << 11) | (mi << 5) | (s / 2)); }

constexpr uint64_t kSecond = 10000000ull;
constexpr uint64_t k1980 = 119600064000000000ull;        // 1980-01-01 00:00:00

TEST(DosTime, KnownValues) {
    FILETIME ft;
    ASSERT_TRUE(DosDateTimeToFileTime(0x21, 0, &ft));
    EXPECT_EQ(ticks(ft), k1980);
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(1980, 1, 2), dos_time(0, 0, 2), &ft));
    EXPECT_EQ(ticks(ft), k1980 + 86402 * kSecond);
    // 2000-02-29 12:34:56 is 636,294,896 seconds after 1980.
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(2000, 2, 29), dos_time(12, 34, 56), &ft));
    EXPECT_EQ(ticks(ft), k1980 + 636294896ull * kSecond);
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(2107, 12, 31), dos_time(23, 59, 58), &ft));
}

TEST(DosTime, RejectsFieldsOutsideTheCalendar) {
    FILETIME ft;
    EXPECT_FALSE(DosDateTimeToFileTime(0, 0, &ft));                      // month 0, day 0
    EXPECT_FALSE(DosDateTimeToFileTime(dos_date(1990, 13, 1), 0, &ft));
    EXPECT_FALSE(DosDateTimeToFileTime(dos_date(1990, 1, 0), 0, &ft));
    EXPECT_FALSE(DosDateTimeToFileTime(dos_date(1990, 4, 31), 0, &ft));
    EXPECT_FALSE(DosDateTimeToFileTime(dos_date(1981, 2, 30), 0, &ft));
    EXPECT_TRUE(DosDateTimeToFileTime(dos_date(1984, 2, 29), 0, &ft));
    // The 29th of February of a common year is taken as the 1st of March.
    FILETIME mar1;
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(1981, 2, 29), 0, &ft));
    ASSERT_TRUE(DosDateTimeToFileTime(dos_date(1981, 3, 1), 0, &mar1));
    EXPECT_EQ(CompareFileTime(&ft, &mar1), 0);
    EXPECT_FALSE(DosDateTimeToFileTime(0x21, (WORD)(24 << 11), &ft));
    EXPECT_FALSE(DosDateTimeToFileTime(0x21, (WORD)(60 << 5), &ft));
    EXPECT_FALSE(DosDateTimeToFileTime(0x21, 30, &ft));                   // 60 seconds
    EXPECT_TRUE(DosDateTimeToFileTime(0x21, 29, &ft));                    // 58 seconds
}

TEST(DosTime, BackToDosTruncatesToTwoSeconds) {
    WORD d, t;
    FILETIME ft = make(k1980 + 86403 * kSecond + 1234567);
    ASSERT_TRUE(FileTimeToDosDateTime(&ft, &d, &t));
    EXPECT_EQ(d, dos_date(1980, 1, 2));
    EXPECT_EQ(t, dos_time(0, 0, 2));
    for (WORD date : {dos_date(1999, 12, 31), dos_date(2024, 2, 29), dos_date(2038, 1, 19)}) {
        FILETIME f;
        ASSERT_TRUE(DosDateTimeToFileTime(date, dos_time(23, 59, 58), &f));
        ASSERT_TRUE(FileTimeToDosDateTime(&f, &d, &t));
        EXPECT_EQ(d, date);
        EXPECT_EQ(t, dos_time(23, 59, 58));
    }
    FILETIME early = make(k1980 - kSecond);
    EXPECT_FALSE(FileTimeToDosDateTime(&early, &d, &t));
}

TEST(FileTimes, CompareAndLocalRoundTrip) {
    FILETIME a = make(k1980), b = make(k1980 + 1), c = make(k1980 + (1ull << 32));
    EXPECT_EQ(CompareFileTime(&a, &a), 0);
    EXPECT_EQ(CompareFileTime(&a, &b), -1);
    EXPECT_EQ(CompareFileTime(&b, &a), 1);
    EXPECT_EQ(CompareFileTime(&c, &b), 1);               // the high word decides first
    FILETIME utc, back;
    ASSERT_TRUE(LocalFileTimeToFileTime(&c, &utc));
    ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &back));
    EXPECT_EQ(ticks(back), ticks(c));
}

#if !defined(_WIN32)

TEST(FileTimes, LocalTimeUsesTheBias) {
    QZ_POSIX_ONLY();
    qzhost_set_time_zone_bias(1, -60);                   // UTC+1
    FILETIME local = make(k1980), utc;
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    EXPECT_EQ(ticks(utc), k1980 - 3600 * kSecond);
    qzhost_set_time_zone_bias(1, 300);                   // UTC-5
    ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
    EXPECT_EQ(ticks(utc), k1980 + 5 * 3600 * kSecond);
    qzhost_reset();
}

TEST(Clock, FixedAndReal) {
    QZ_POSIX_ONLY();
    SYSTEMTIME fixed = {2001, 9, 0, 9, 1, 46, 40, 123}, got;
    qzhost_set_system_time(&fixed);
    GetSystemTime(&got);
    EXPECT_EQ(got.wYear, 2001);
    EXPECT_EQ(got.wMilliseconds, 123);
    qzhost_set_system_time(nullptr);
    GetSystemTime(&got);
    EXPECT_GE(got.wYear, 2024);
    EXPECT_LE(got.wMilliseconds, 999);
    EXPECT_GE(got.wMonth, 1);
    EXPECT_LE(got.wDayOfWeek, 6);
}

#endif

} // namespace
