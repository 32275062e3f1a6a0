// time.cpp -- FILETIME arithmetic, MS-DOS dates, the time zone and the
// system clock.
//
// A FILETIME counts 100-nanosecond intervals since 1601-01-01 00:00 UTC
// (or local time, for the "local" file times).  Local time differs from UTC
// by the bias the process's time zone has now, not at the moment converted,
// exactly as LocalFileTimeToFileTime does on Windows.  The host may fix the
// bias and the clock.
#include "platform/posix/posix.h"

#include <string.h>
#include <time.h>

namespace qz::posix {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ull;
constexpr uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in FILETIME ticks
constexpr int64_t  kDay = 86400;

bool       g_fixedClock = false;
SYSTEMTIME g_fixedTime;
bool       g_fixedBias = false;
LONG       g_biasMinutes = 0;

uint64_t ticks(const FILETIME &ft) {
    return ((uint64_t)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

void setTicks(FILETIME *ft, uint64_t t) {
    ft->dwLowDateTime = (DWORD)t;
    ft->dwHighDateTime = (DWORD)(t >> 32);
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int monthDays(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 to y-m-d (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = (unsigned)(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + (int64_t)doe - 719468;
}

void civilFromDays(int64_t z, int *y, int *m, int *d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = (unsigned)(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *d = (int)(doy - (153 * mp + 2) / 5 + 1);
    *m = (int)(mp < 10 ? mp + 3 : mp - 9);
    *y = (int)(yoe + era * 400 + (*m <= 2));
}

// Seconds to add to UTC to get local time, now.
int64_t localOffsetSeconds() {
    if (g_fixedBias) return -(int64_t)g_biasMinutes * 60;
    time_t now = time(nullptr);
    struct tm tm;
    if (!localtime_r(&now, &tm)) return 0;
    return tm.tm_gmtoff;
}

} // namespace

uint64_t filetimeOf(const struct timespec &ts) {
    return (uint64_t)((int64_t)kUnixEpoch + (int64_t)ts.tv_sec * (int64_t)kTicksPerSecond + ts.tv_nsec / 100);
}

struct timespec timespecOf(uint64_t ft) {
    int64_t rel = (int64_t)(ft - kUnixEpoch);
    int64_t sec = rel / (int64_t)kTicksPerSecond;
    int64_t rem = rel % (int64_t)kTicksPerSecond;
    if (rem < 0) { rem += (int64_t)kTicksPerSecond; --sec; }
    struct timespec ts;
    ts.tv_sec = (time_t)sec;
    ts.tv_nsec = (long)(rem * 100);
    return ts;
}

void resetTime() {
    g_fixedClock = false;
    g_fixedBias = false;
    g_biasMinutes = 0;
}

} // namespace qz::posix

using namespace qz::posix;

extern "C" {

BOOL WINAPI DosDateTimeToFileTime(WORD date, WORD time, LPFILETIME fileTime) {
    int year = 1980 + (date >> 9);
    int month = (date >> 5) & 0x0F;
    int day = date & 0x1F;
    int hour = time >> 11;
    int minute = (time >> 5) & 0x3F;
    int second = (time & 0x1F) * 2;
    if (!fileTime) return fail(ERROR_INVALID_PARAMETER);
    // February takes a 29th day in every year (it becomes 1 March), as the
    // Win32 call does; every other day must lie inside its month.
    if (month < 1 || month > 12 || day < 1 || day > (month == 2 ? 29 : monthDays(year, month)) ||
        hour > 23 || minute > 59 || second > 59) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    int64_t secs = daysFromCivil(year, (unsigned)month, (unsigned)day) * kDay + hour * 3600 + minute * 60 + second;
    setTicks(fileTime, kUnixEpoch + (uint64_t)secs * kTicksPerSecond);
    return TRUE;
}

BOOL WINAPI FileTimeToDosDateTime(const FILETIME *fileTime, LPWORD date, LPWORD time) {
    if (!fileTime || !date || !time) return fail(ERROR_INVALID_PARAMETER);
    uint64_t t = ticks(*fileTime);
    if (t < kUnixEpoch) return fail(ERROR_INVALID_PARAMETER);
    int64_t secs = (int64_t)((t - kUnixEpoch) / kTicksPerSecond);
    int64_t days = secs / kDay, rest = secs % kDay;
    int y, m, d;
    civilFromDays(days, &y, &m, &d);
    if (y < 1980 || y > 2107) return fail(ERROR_INVALID_PARAMETER);
    *date = (WORD)(((y - 1980) << 9) | (m << 5) | d);
    *time = (WORD)(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
    return TRUE;
}

LONG WINAPI CompareFileTime(const FILETIME *a, const FILETIME *b) {
    uint64_t x = ticks(*a), y = ticks(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME *local, LPFILETIME utc) {
    if (!local || !utc) return fail(ERROR_INVALID_PARAMETER);
    setTicks(utc, ticks(*local) - (uint64_t)(localOffsetSeconds() * (int64_t)kTicksPerSecond));
    return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *utc, LPFILETIME local) {
    if (!local || !utc) return fail(ERROR_INVALID_PARAMETER);
    setTicks(local, ticks(*utc) + (uint64_t)(localOffsetSeconds() * (int64_t)kTicksPerSecond));
    return TRUE;
}

void WINAPI GetSystemTime(LPSYSTEMTIME out) {
    if (!out) return;
    if (g_fixedClock) {
        *out = g_fixedTime;
        return;
    }
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    int64_t days = ts.tv_sec / kDay, rest = ts.tv_sec % kDay;
    if (rest < 0) { rest += kDay; --days; }
    int y, m, d;
    civilFromDays(days, &y, &m, &d);
    out->wYear = (WORD)y;
    out->wMonth = (WORD)m;
    out->wDay = (WORD)d;
    out->wDayOfWeek = (WORD)((days % 7 + 11) % 7);   // 1970-01-01 was a Thursday
    out->wHour = (WORD)(rest / 3600);
    out->wMinute = (WORD)((rest / 60) % 60);
    out->wSecond = (WORD)(rest % 60);
    out->wMilliseconds = (WORD)(ts.tv_nsec / 1000000);
}

void qzhost_set_system_time(const SYSTEMTIME *utc) {
    g_fixedClock = utc != nullptr;
    if (utc) g_fixedTime = *utc;
}

void qzhost_set_time_zone_bias(int enabled, LONG biasMinutes) {
    g_fixedBias = enabled != 0;
    g_biasMinutes = biasMinutes;
}

} // extern "C"
