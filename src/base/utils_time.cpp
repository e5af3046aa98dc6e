#include <sys/time.h>

#include <atomic>
#include <ctime>

#include "base/str.h"
#include "base/utils.h"

namespace {

constexpr unsigned long long kWinEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns units since 1601
constexpr long long kWinTicksPerSecond = 10000000;
constexpr int kZoneUnknown = 780;

// Filled on first use and then only read; concurrent first users store
// values that agree, and the atomics keep that free of data races.
std::atomic<unsigned long long> gFirstTick{0};
std::atomic<int> gZoneMinutes{kZoneUnknown};
std::atomic<unsigned int> gDstShift{0xFFFFFFFFu};

long gmtOffsetAt(time_t t) {
  struct tm tm;
  return localtime_r(&t, &tm) ? tm.tm_gmtoff : 0;
}

bool isLeap(unsigned year) { return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0); }

void fill(const struct tm& tm, sTimestamp& ts) {
  ts.year = static_cast<unsigned short>(tm.tm_year + 1900);
  ts.month = static_cast<unsigned char>(tm.tm_mon + 1);
  ts.day = static_cast<unsigned char>(tm.tm_mday);
  ts.hour = static_cast<unsigned char>(tm.tm_hour);
  ts.minute = static_cast<unsigned char>(tm.tm_min);
  ts.second = static_cast<unsigned char>(tm.tm_sec);
}

}  // namespace

unsigned int ticks_ms() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  unsigned long long us = static_cast<unsigned long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
  // 0 marks "not yet called", so a clock reading of exactly 0 is nudged.
  if (us == 0) us = 1;
  unsigned long long first = 0;
  if (!gFirstTick.compare_exchange_strong(first, us)) return static_cast<unsigned int>((us - first) / 1000);
  return 0;
}

unsigned long long ticks_us() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return static_cast<unsigned long long>(tv.tv_sec) * 1000000 + static_cast<unsigned long long>(tv.tv_usec);
}

long long getCurrUnixTime() { return time(nullptr); }

int timeZoneMin() {
  int cached = gZoneMinutes.load();
  if (cached != kZoneUnknown) return cached;
  time_t now = time(nullptr);
  struct tm local, utc;
  localtime_r(&now, &local);
  gmtime_r(&now, &utc);
  long long diff = static_cast<long long>(mktime(&local)) - static_cast<long long>(mktime(&utc));
  int minutes = static_cast<int>(diff / 60);
  gZoneMinutes.store(minutes);
  return minutes;
}

unsigned long long utcToLocal(unsigned long long t) {
  return t + static_cast<unsigned long long>(gmtOffsetAt(static_cast<time_t>(t)));
}

unsigned long long localToUTC(unsigned long long t) {
  return t - static_cast<unsigned long long>(gmtOffsetAt(static_cast<time_t>(t)));
}

unsigned long long localTimeFixDLT(unsigned long long t) {
  unsigned int shift = gDstShift.load();
  if (shift == 0xFFFFFFFFu) {
    time_t now = time(nullptr);
    struct tm tm;
    localtime_r(&now, &tm);
    tm.tm_mon = 0;
    tm.tm_isdst = -1;
    mktime(&tm);
    long january = tm.tm_gmtoff;
    tm.tm_mon = 8;
    tm.tm_isdst = -1;
    mktime(&tm);
    shift = static_cast<unsigned int>(tm.tm_gmtoff - january);
    gDstShift.store(shift);
  }
  time_t when = static_cast<time_t>(t);
  struct tm tm;
  if (localtime_r(&when, &tm) && tm.tm_isdst > 0) return t;
  return t - static_cast<unsigned long long>(static_cast<long long>(static_cast<int>(shift)));
}

unsigned int toUnix(sTimestamp& ts) {
  static const unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  unsigned year = ts.year;
  if (year < 1970 || ts.month > 12) return 0;
  unsigned long long days;
  if (year <= 1972) {
    days = year * 365ull - 719050;
  } else if (year <= 2000) {
    days = 1096 + 1461ull * ((year - 1973) / 4) + 365ull * ((year - 1973) % 4);
  } else {
    unsigned y = year - 2001;
    days = 11323 + 36524ull * (y / 100) + 1461ull * ((y % 100) / 4) + 365ull * (y % 4);
  }
  for (unsigned m = 1; m < ts.month; ++m) days += kMonthDays[m - 1] + (m == 2 && isLeap(year) ? 1 : 0);
  unsigned long long seconds =
      (ts.day + days) * 86400 + ts.hour * 3600ull + ts.minute * 60ull + ts.second - 86400;
  return static_cast<unsigned int>(seconds);
}

unsigned long long toWinTime(sTimestamp& ts) {
  return static_cast<unsigned long long>(toUnix(ts)) * kWinTicksPerSecond + kWinEpoch;
}

unsigned long long toWinTime(unsigned int low, int high) {
  unsigned long long unix = (static_cast<unsigned long long>(static_cast<unsigned int>(high)) << 32) | low;
  return unix * kWinTicksPerSecond + kWinEpoch;
}

// Signed, so file times before 1970 give negative Unix times rather than
// wrapping to the far future.
unsigned long long toUnixBigTime(unsigned long long w) {
  return static_cast<unsigned long long>(static_cast<long long>(w - kWinEpoch) / kWinTicksPerSecond);
}

int toUnixTime(unsigned long long w) { return static_cast<int>(toUnixBigTime(w)); }

void unixToTimestamp(unsigned int t, sTimestamp& ts) {
  time_t when = t;
  struct tm tm;
  gmtime_r(&when, &tm);
  fill(tm, ts);
}

void winToTimestamp(unsigned long long w, sTimestamp& ts) {
  unixToTimestamp(static_cast<unsigned int>(toUnixTime(w)), ts);
}

void getCurrTimestamp(sTimestamp& ts) {
  time_t now = time(nullptr);
  struct tm tm;
  localtime_r(&now, &tm);
  fill(tm, ts);
}

bool unixToStr(unsigned int t, char* buf, long long size) {
  if (!buf || size <= 0) return false;
  time_t when = t;
  struct tm tm;
  gmtime_r(&when, &tm);
  _sprintf_s(buf, size, "%02d.%02d.%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
             tm.tm_hour, tm.tm_min, tm.tm_sec);
  return true;
}
