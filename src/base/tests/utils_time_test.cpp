#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/utils.h"
#include "run_program.h"
#include "scratch_dir.h"

namespace {

std::vector<unsigned int> sampleTimes() {
  // 2000-02-29, 2100-02-28 and 2100-03-01 (no leap day between), the last second of 2100, every
  // 29 February and 1 March from 1972 to 2096, and random times up to the end of 2100.
  std::vector<unsigned int> times = {0u, 86399u, 951825600u, 4107456000u, 4107542400u, 4133980799u};
  for (unsigned year = 1972; year <= 2096; year += 4) {
    sTimestamp feb29 = {static_cast<unsigned short>(year), 2, 29, 23, 59, 59};
    times.push_back(toUnix(feb29));
    times.push_back(toUnix(feb29) + 1);
  }
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) times.push_back(rng() % 4133980800u);
  return times;
}

TEST(Times, UnixToStrAgreesWithDate) {
  ScratchDir dir;
  std::vector<unsigned int> times = sampleTimes();
  std::string list;
  for (unsigned int t : times) {
    list += '@';
    list += std::to_string(t);
    list += '\n';
  }
  std::string listPath = dir.file("times");
  FILE* f = fopen(listPath.c_str(), "w");
  ASSERT_TRUE(f);
  fputs(list.c_str(), f);
  fclose(f);
  std::string printed;
  ASSERT_EQ(runProgram({"date", "-u", "-f", listPath, "+%d.%m.%Y %H:%M:%S"}, &printed), 0);
  std::istringstream lines(printed);
  for (unsigned int t : times) {
    std::string expected;
    ASSERT_TRUE(std::getline(lines, expected));
    char buf[20];
    ASSERT_TRUE(unixToStr(t, buf, sizeof buf));
    ASSERT_EQ(expected, buf) << t;
  }
}

TEST(Times, CalendarUnixAndWindowsConvertBothWays) {
  for (unsigned int t : sampleTimes()) {
    sTimestamp ts;
    unixToTimestamp(t, ts);
    ASSERT_EQ(toUnix(ts), t);
    unsigned long long w = toWinTime(ts);
    ASSERT_EQ(w, toWinTime(t, 0));
    ASSERT_EQ(toUnixBigTime(w), t);
    ASSERT_EQ(static_cast<unsigned int>(toUnixTime(w)), t);
    sTimestamp back;
    winToTimestamp(w, back);
    // Field by field: the padding byte after the second holds anything.
    ASSERT_EQ(std::tie(back.year, back.month, back.day, back.hour, back.minute, back.second),
              std::tie(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second));
  }
  EXPECT_EQ(toWinTime(0, 0), 116444736000000000ull);
  EXPECT_EQ(toWinTime(0, 1), (1ull << 32) * 10000000 + 116444736000000000ull);
  EXPECT_EQ(toUnixTime(116444736000000000ull - 10000000), -1) << "before 1970";
}

TEST(Times, OutOfRangeCalendarsAndSmallBuffers) {
  sTimestamp before = {1969, 12, 31, 23, 59, 59};
  EXPECT_EQ(toUnix(before), 0u);
  sTimestamp badMonth = {2000, 13, 1, 0, 0, 0};
  EXPECT_EQ(toUnix(badMonth), 0u);
  char small[8];
  memset(small, '#', sizeof small);
  ASSERT_TRUE(unixToStr(0, small, 5));
  EXPECT_STREQ(small, "01.0");
  EXPECT_EQ(small[5], '#');
  EXPECT_FALSE(unixToStr(0, small, 0));
}

// The zone is switched for this test only; the process-wide zone caches are
// not read here.
TEST(Times, LocalTimesFollowTheZoneAndItsSummerTime) {
  std::string saved = getenv("TZ") ? getenv("TZ") : "";
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  const unsigned long long winter = 1700000000;  // November 2023
  const unsigned long long summer = 1690000000;  // July 2023
  EXPECT_EQ(utcToLocal(winter), winter + 3600);
  EXPECT_EQ(utcToLocal(summer), summer + 7200);
  EXPECT_EQ(localToUTC(summer + 7200), summer);
  EXPECT_EQ(localTimeFixDLT(summer), summer);
  EXPECT_EQ(localTimeFixDLT(winter), winter - 3600);
  if (saved.empty())
    unsetenv("TZ");
  else
    setenv("TZ", saved.c_str(), 1);
  tzset();
}

TEST(Clocks, TicksMoveForward) {
  unsigned int first = ticks_ms();
  usleep(20000);
  EXPECT_GE(ticks_ms() - first, 20u);
  EXPECT_NEAR(static_cast<double>(ticks_us() / 1000000), static_cast<double>(getCurrUnixTime()), 2.0);
}

}  // namespace
