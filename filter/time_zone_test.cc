#include "filter/time_zone.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "filter/civil_time.h"
#include "platform/posix_platform.h"

namespace tovex {
namespace {

constexpr int32_t kHour = 3600;

int64_t Utc(int y, int m, int d, int hh, int mm, int ss) {
  return DaysFromCivil(y, m, d) * kSecondsPerDay + hh * 3600 + mm * 60 + ss;
}

std::string ZoneFile(const std::string& name) {
  std::ifstream in(std::string(kSystemZoneinfoDir) + name, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(PosixTzTest, Rules) {
  struct Case {
    std::string rule;
    int64_t utc;
    int32_t offset;
  } cases[] = {
      {"JST-9", Utc(2024, 6, 1, 0, 0, 0), 9 * kHour},
      {"<-03>3", Utc(2024, 6, 1, 0, 0, 0), -3 * kHour},
      {"<+0545>-5:45", Utc(2024, 6, 1, 0, 0, 0), 5 * kHour + 45 * 60},
      {"EST5EDT,M3.2.0,M11.1.0", Utc(2024, 3, 10, 6, 59, 59), -5 * kHour},
      {"EST5EDT,M3.2.0,M11.1.0", Utc(2024, 3, 10, 7, 0, 0), -4 * kHour},
      {"EST5EDT,M3.2.0,M11.1.0", Utc(2024, 11, 3, 5, 59, 59), -4 * kHour},
      {"EST5EDT,M3.2.0,M11.1.0", Utc(2024, 11, 3, 6, 0, 0), -5 * kHour},
      {"EST5EDT", Utc(2024, 7, 1, 0, 0, 0), -4 * kHour},  // tzcode's rule
      // Southern: daylight time across the turn of the year.
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", Utc(2024, 1, 15, 0, 0, 0), 11 * kHour},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", Utc(2024, 4, 6, 15, 59, 59), 11 * kHour},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", Utc(2024, 4, 6, 16, 0, 0), 10 * kHour},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", Utc(2024, 12, 31, 23, 0, 0), 11 * kHour},
      // RFC 8536's hours past 24: Israel's Thursday 26:00.
      {"IST-2IDT,M3.4.4/26,M10.5.0", Utc(2024, 3, 28, 23, 59, 59), 2 * kHour},
      {"IST-2IDT,M3.4.4/26,M10.5.0", Utc(2024, 3, 29, 0, 0, 0), 3 * kHour},
      // Daylight time all year; Julian days with and without Feb 29.
      {"EST5EDT4,0/0,J365/25", Utc(2024, 12, 31, 12, 0, 0), -4 * kHour},
      {"XXX0YYY,J60/0,J61/0", Utc(2024, 3, 1, 0, 0, 0), kHour},
      {"XXX0YYY,59/0,60/0", Utc(2024, 2, 29, 12, 0, 0), kHour},
  };
  for (const Case& c : cases) {
    PosixTz tz;
    ASSERT_TRUE(tz.Parse(c.rule)) << c.rule;
    EXPECT_EQ(tz.OffsetAt(c.utc), c.offset) << c.rule << " at " << c.utc;
  }
  for (std::string_view bad :
       {"", "AB5", "EST", "EST5EDT,M13.1.0,M11.1.0", "EST5EDT,M3.2.0",
        "EST5EDT,J0/2,J365", "EST25", "EST5EDT,M3.6.0,M11.1.0", "EST5x",
        "<AB>5", "EST5EDT,M3.2.0/168,M11.1.0", "EST5:60"}) {
    PosixTz tz;
    EXPECT_FALSE(tz.Parse(bad)) << bad;
  }
}

TEST(TimeZoneTest, SystemZones) {
  if (ZoneFile("Asia/Tokyo").empty()) GTEST_SKIP() << "no zoneinfo";
  struct Case {
    std::string zone;
    int64_t utc;
    int32_t offset;
  } cases[] = {
      {"Asia/Tokyo", Utc(2024, 6, 1, 0, 0, 0), 9 * kHour},
      {"Asia/Tokyo", Utc(1887, 12, 31, 14, 59, 59), 9 * kHour + 18 * 60 + 59},
      {"Asia/Tokyo", Utc(1949, 5, 1, 0, 0, 0), 10 * kHour},  // its last DST
      {"America/New_York", Utc(2024, 3, 10, 6, 59, 59), -5 * kHour},
      {"America/New_York", Utc(2024, 3, 10, 7, 0, 0), -4 * kHour},
      {"America/New_York", Utc(2100, 7, 1, 0, 0, 0), -4 * kHour},  // footer
      {"America/New_York", Utc(1800, 1, 1, 0, 0, 0),
       -(4 * kHour + 56 * 60 + 2)},
      {"Australia/Sydney", Utc(2099, 1, 15, 0, 0, 0), 11 * kHour},
      {"Europe/London", Utc(2024, 1, 1, 0, 0, 0), 0},
      {"Europe/London", Utc(2024, 7, 1, 0, 0, 0), kHour},
      {"UTC", Utc(2024, 7, 1, 0, 0, 0), 0},
  };
  PosixFileSystem fs;
  for (const Case& c : cases) {
    TimeZone zone;
    ASSERT_EQ(LoadTimeZone(&fs, kSystemZoneinfoDir, c.zone, &zone), "");
    EXPECT_EQ(zone.OffsetAt(c.utc), c.offset) << c.zone << " at " << c.utc;
  }
  TimeZone zone;
  ASSERT_EQ(LoadTimeZone(&fs, kSystemZoneinfoDir, "-0530", &zone), "");
  EXPECT_EQ(zone.OffsetAt(0), -(5 * kHour + 30 * 60));
  struct Bad {
    std::string spec, error;
  } bad[] = {
      {"Asia/Nowhere", "unknown time zone \"Asia/Nowhere\""},
      {"Asia", "unknown time zone \"Asia\""},  // a folder
      {"../../etc/passwd",
       "\"../../etc/passwd\" is neither +hhmm nor a "
       "time-zone name"},
      {"/etc/localtime",
       "\"/etc/localtime\" is neither +hhmm nor a "
       "time-zone name"},
      {"Asia//Tokyo", "\"Asia//Tokyo\" is neither +hhmm nor a time-zone name"},
      {"JST-9", "unknown time zone \"JST-9\""},
      {"zone.tab", "time zone \"zone.tab\": not TZif data"},
      {"right/Asia/Tokyo",
       "time zone \"right/Asia/Tokyo\": leap-second zone (right/...) not "
       "supported"},
  };
  for (const Bad& b : bad) {
    EXPECT_EQ(LoadTimeZone(&fs, kSystemZoneinfoDir, b.spec, &zone), b.error);
  }
}

// A hostile or broken file fails cleanly: every cut of a real file, and the
// real file with its counts, versions or transitions spoilt.
TEST(TimeZoneTest, BrokenTzifFails) {
  const std::string good = ZoneFile("America/New_York");
  if (good.empty()) GTEST_SKIP() << "no zoneinfo";
  TimeZone zone;
  ASSERT_EQ(TimeZone::FromTzif(good, &zone), "");
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_NE(TimeZone::FromTzif(good.substr(0, n), &zone), "") << n;
  }
  const size_t v2 = good.find("TZif", 4);
  ASSERT_NE(v2, good.npos);
  struct Spoilt {
    size_t at;
    std::string bytes;
  } spoilt[] = {
      {0, "TZiF"},  // magic
      {4, "1"},     // version 1 only
      {v2 + 4, std::string(1, '\0')},
      {v2 + 28, std::string("\0\0\0\1", 4)},  // a leap second
      {v2 + 32, "\xff\xff\xff\xff"},          // transitions past the end
      {v2 + 36, std::string(4, '\0')},        // no local time type
      {v2 + 44, std::string(16, '\0')},       // transitions out of order
      {good.size() - 1, "x"},                 // footer not closed
  };
  for (const Spoilt& s : spoilt) {
    std::string bad = good;
    bad.replace(s.at, s.bytes.size(), s.bytes);
    EXPECT_NE(TimeZone::FromTzif(bad, &zone), "") << s.at;
  }
}

}  // namespace
}  // namespace tovex
