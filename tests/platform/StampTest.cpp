#include "platform/DateTime.h"
#include "platform/FileSys.h"

#include "common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

namespace renvo::test {
namespace {

// 2026-01-05 09:05:06 UTC, worked out by hand: 20458 days after 1970-01-01.
constexpr int64_t kJan5 = 20458LL * 86400 + 9 * 3600 + 5 * 60 + 6;
constexpr int64_t k1980 = 315532800;  // 1980-01-01 00:00:00 UTC

// Runs a test under a given time zone and puts the old one back.
class TimeZoneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* tz = std::getenv("TZ"))
            saved_ = tz;
        useZone("UTC");
    }
    void TearDown() override
    {
        if (saved_)
            ::setenv("TZ", saved_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    static void useZone(const char* tz)
    {
        ::setenv("TZ", tz, 1);
        ::tzset();
    }

private:
    std::optional<std::string> saved_;
};

using DosStamp = TimeZoneTest;

TEST_F(DosStamp, PacksLocalTimeIntoTheDosWord)
{
    // 2026 is 46 years after 1980: date (46<<9)|(1<<5)|5, time (9<<11)|(5<<5)|(6/2).
    EXPECT_EQ(dosStampFromUnix(kJan5), 0x5C2548A3);
    EXPECT_EQ(dosStampFromUnix(kJan5 - 9 * 3600 - 5 * 60 - 6 + 20 * 3600), 0x5C25A000);

    // Nine hours east the same moments are 18:05:06 and, a day later, 05:00:00.
    useZone("JST-9");
    EXPECT_EQ(dosStampFromUnix(kJan5), 0x5C2590A3);
    EXPECT_EQ(dosStampFromUnix(kJan5 - 9 * 3600 - 5 * 60 - 6 + 20 * 3600), 0x5C262800);
}

TEST_F(DosStamp, BeforeNineteenEightyClampsToItsFirstSecond)
{
    constexpr int32_t first = 0x00210000;  // 1980-01-01 00:00:00
    EXPECT_EQ(dosStampFromUnix(k1980), first);
    EXPECT_EQ(dosStampFromUnix(k1980 + 2), first + 1);
    EXPECT_EQ(dosStampFromUnix(k1980 - 1), first);
    EXPECT_EQ(dosStampFromUnix(0), first);
    EXPECT_EQ(dosStampFromUnix(-86400LL * 400), first);

    useZone("JST-9");
    EXPECT_EQ(dosStampFromUnix(k1980 - 9 * 3600), first);
    EXPECT_EQ(dosStampFromUnix(k1980 - 9 * 3600 - 1), first);
}

TEST_F(DosStamp, OfFilesOnDisk)
{
    TempDir dir;
    const std::string f = writeFile(dir / "a.txt", "x");
    setMtime(f, kJan5);
    EXPECT_EQ(fileStamp(f), 0x5C2548A3);
    setMtime(f, 86400 * 365);  // 1971
    EXPECT_EQ(fileStamp(f), 0x00210000);

    EXPECT_EQ(fileStamp(dir / "missing.txt"), -1);
    EXPECT_EQ(fileStamp(dir.path()), -1);
}

using LocalDateTime = TimeZoneTest;

TEST_F(LocalDateTime, UnixTimesBecomeLocalDays)
{
    const double tolerance = 0.5 / 86400000.0;  // half a millisecond
    EXPECT_NEAR(dateTimeFromUnix(kJan5), encodeDateTime(2026, 1, 5, 9, 5, 6), tolerance);
    EXPECT_NEAR(dateTimeFromUnix(kJan5, 250000000), encodeDateTime(2026, 1, 5, 9, 5, 6, 250), tolerance);
    useZone("JST-9");
    EXPECT_NEAR(dateTimeFromUnix(kJan5), encodeDateTime(2026, 1, 5, 18, 5, 6), tolerance);
}

TEST(DateTime, DaysCountFromTheLastDaysOf1899)
{
    EXPECT_EQ(encodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
    EXPECT_EQ(encodeDateTime(1899, 12, 31, 0, 0, 0), 1.0);
    EXPECT_EQ(encodeDateTime(1900, 3, 1, 0, 0, 0), 61.0);  // 1900 had no 29 February
    EXPECT_EQ(encodeDateTime(1970, 1, 1, 0, 0, 0), 25569.0);
    EXPECT_EQ(encodeDateTime(2026, 1, 5, 0, 0, 0), 46027.0);
    EXPECT_EQ(encodeDateTime(1899, 12, 30, 0, 30, 0), 30.0 / 1440.0);
    EXPECT_EQ(encodeDateTime(2026, 1, 5, 18, 0, 0), 46027.75);
    EXPECT_EQ(fracOf(46027.75), 0.75);
    EXPECT_EQ(fracOf(encodeDateTime(1899, 12, 30, 0, 30, 0)), 30.0 / 1440.0);
}

TEST(DateTime, LogFormat)
{
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2026, 1, 5, 9, 5, 7)), "2026/01/05 9:05:07");
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2026, 11, 25, 13, 45, 0)), "2026/11/25 13:45:00");
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2026, 1, 5, 0, 0, 0)), "2026/01/05");
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2026, 1, 5, 0, 0, 1)), "2026/01/05 0:00:01");
    // Seconds are cut, not rounded, so the last second of a day never shows 24:00:00.
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2026, 1, 5, 9, 5, 7, 900)), "2026/01/05 9:05:07");
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2026, 12, 31, 23, 59, 59, 999)), "2026/12/31 23:59:59");
    EXPECT_EQ(formatLogDateTime(encodeDateTime(2024, 2, 29, 23, 59, 59, 500)), "2024/02/29 23:59:59");
}

}  // namespace
}  // namespace renvo::test

namespace {

TEST(StampReader, AgreesWithFileStampAcrossFolders)
{
    renvo::test::TempDir dir;
    const std::string a = renvo::test::writeFile(dir / "one/a.txt", "a");
    const std::string b = renvo::test::writeFile(dir / "one/b.txt", "b");
    const std::string c = renvo::test::writeFile(dir / "two/c.txt", "c");
    renvo::test::setMtime(a, 1600000000);
    renvo::test::setMtime(b, 1600000100);
    renvo::test::setMtime(c, 1500000000);

    renvo::StampReader reader;
    // Folders met in turns, then again: every answer is the one a full look-up gives.
    for (const std::string& p : {a, b, c, a, dir / "one/missing", dir / "gone/x", c, dir / "one"})
        EXPECT_EQ(reader.stamp(p), renvo::fileStamp(p)) << p;
    EXPECT_EQ(reader.stamp(dir / "one"), -1);
    EXPECT_EQ(reader.stamp(dir / "gone/x"), -1);
    EXPECT_NE(reader.stamp(a), reader.stamp(c));
}

}  // namespace
