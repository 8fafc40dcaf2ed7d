#include "platform/FileTimes.h"

#include "PlatformTestUtil.h"
#include "base/Exceptions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace std::chrono;

namespace
{

orb::TDateTime At(int Y, unsigned M, unsigned D, int H, int Mi, int S, int Ms = 0)
{
    return orb::TDateTime(local_days(year(Y) / M / D)) + hours(H) + minutes(Mi) + seconds(S) + milliseconds(Ms);
}

} // namespace

TEST(FileTimes, LastWriteTimeOfFilesAndDirectoriesRoundTripsInLocalTime)
{
    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "f.txt", "x");
    fs::create_directory(dir / "sub");
    for (auto moment : {At(2024, 1, 31, 23, 59, 59), At(1999, 12, 31, 0, 0, 0), At(2024, 7, 1, 12, 0, 0, 250)})
    {
        for (const char* name : {"f.txt", "sub"})
        {
            orb::platform::SetLastWriteTime(dir / name, moment);
            EXPECT_EQ(orb::platform::GetLastWriteTime(dir / name), moment) << name;
        }
    }
}

#ifdef _WIN32
#include <windows.h>

namespace
{

/// The last-write time of a file as the system keeps it, in UTC.
sys_seconds UtcWriteTime(const fs::path& Path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(Path.c_str(), GetFileExInfoStandard, &data)) << Path;
    SYSTEMTIME st{};
    FileTimeToSystemTime(&data.ftLastWriteTime, &st);
    return sys_days(year(st.wYear) / st.wMonth / st.wDay) + hours(st.wHour) + minutes(st.wMinute) + seconds(st.wSecond);
}

} // namespace

TEST(FileTimes, LocalTimeTakesTheSummerTimeOfItsOwnDate)
{
    // Bias: minutes from local time to UTC; the summer-time dates say which half of the year has which offset.
    TIME_ZONE_INFORMATION tz{};
    ASSERT_NE(GetTimeZoneInformation(&tz), TIME_ZONE_ID_INVALID);
    const bool summerTime = tz.DaylightDate.wMonth != 0;
    const bool northern = tz.DaylightDate.wMonth < tz.StandardDate.wMonth;
    const LONG january = tz.Bias + (summerTime && !northern ? tz.DaylightBias : tz.StandardBias);
    const LONG july = tz.Bias + (summerTime && northern ? tz.DaylightBias : tz.StandardBias);
    struct TCase
    {
        orb::TDateTime Local;
        LONG Bias;
    };
    const TCase cases[] = {
        {At(2024, 1, 15, 12, 0, 0), january},
        {At(2024, 7, 15, 12, 0, 0), july},
        {At(2023, 12, 31, 23, 30, 0), january},
        {At(2024, 8, 1, 0, 15, 0), july},
    };
    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "f", "x");
    for (const auto& c : cases)
    {
        orb::platform::SetLastWriteTime(dir / "f", c.Local);
        EXPECT_EQ(UtcWriteTime(dir / "f"), sys_seconds(floor<seconds>(c.Local).time_since_epoch()) + minutes(c.Bias))
            << "bias " << c.Bias;
        EXPECT_EQ(orb::platform::GetLastWriteTime(dir / "f"), c.Local);
    }
}

TEST(FileTimes, TheDosFormatOfAStampHasOddSecondsRoundedDown)
{
    // The update stamps downloads in the 2-second DOS format; the system's own conversion of what was set agrees.
    struct TCase
    {
        orb::TDateTime Set, Dos;
    };
    const TCase cases[] = {
        {At(2024, 1, 31, 12, 0, 59), At(2024, 1, 31, 12, 0, 58)},
        {At(2024, 1, 31, 12, 0, 58, 500), At(2024, 1, 31, 12, 0, 58)},
        {At(2024, 7, 1, 23, 59, 1, 999), At(2024, 7, 1, 23, 59, 0)},
        {At(1999, 12, 31, 0, 0, 0), At(1999, 12, 31, 0, 0, 0)},
    };
    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "f", "x");
    for (const auto& c : cases)
    {
        orb::platform::SetLastWriteTime(dir / "f", c.Set);
        orb::TDateTime local = orb::platform::GetLastWriteTime(dir / "f");
        local_days day = floor<days>(local);
        year_month_day ymd(day);
        hh_mm_ss<milliseconds> tod(local - day);
        SYSTEMTIME st{static_cast<WORD>(static_cast<int>(ymd.year())),
                      static_cast<WORD>(unsigned(ymd.month())),
                      0,
                      static_cast<WORD>(unsigned(ymd.day())),
                      static_cast<WORD>(tod.hours().count()),
                      static_cast<WORD>(tod.minutes().count()),
                      static_cast<WORD>(tod.seconds().count()),
                      static_cast<WORD>(tod.subseconds().count())};
        FILETIME ft{};
        WORD dosDate = 0, dosTime = 0;
        ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
        ASSERT_TRUE(FileTimeToDosDateTime(&ft, &dosDate, &dosTime));
        ASSERT_TRUE(DosDateTimeToFileTime(dosDate, dosTime, &ft));
        ASSERT_TRUE(FileTimeToSystemTime(&ft, &st));
        EXPECT_EQ(At(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds), c.Dos);
    }
}
#else
TEST(FileTimes, LocalTimeFollowsTheTimeZone)
{
    // POSIX zone text: three hours east of UTC, no summer time, no zone database needed.
    orb::test::ScopedEnv tz("TZ", "XYZ-3");
    auto offset = orb::platform::Now().time_since_epoch() - system_clock::now().time_since_epoch();
    EXPECT_NEAR(duration_cast<minutes>(offset).count(), 180, 1);

    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "f", "x");
    orb::platform::SetLastWriteTime(dir / "f", At(2024, 3, 1, 12, 0, 0));
    auto utc = file_clock::to_sys(fs::last_write_time(dir / "f"));
    EXPECT_EQ(floor<seconds>(utc), sys_days(year(2024) / 3 / 1) + hours(9));
}

#endif

TEST(FileTimes, MissingFileRaisesOSError)
{
    orb::test::TempDir dir;
    EXPECT_THROW(orb::platform::GetLastWriteTime(dir / "missing"), orb::EOSError);
    EXPECT_THROW(orb::platform::SetLastWriteTime(dir / "missing", At(2020, 1, 1, 0, 0, 0)), orb::EOSError);
}

TEST(FileTimes, SettingTheTimeOfALinkIsRefusedAndWhatItPointsToKeepsItsTime)
{
    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "outside" / "f", "x");
    orb::platform::SetLastWriteTime(dir / "outside" / "f", At(2019, 1, 1, 0, 0, 0));
    orb::platform::SetLastWriteTime(dir / "outside", At(2019, 1, 1, 0, 0, 0));
    if (!orb::test::MakeSymlink(dir / "outside" / "f", dir / "file-link"))
        GTEST_SKIP() << "this system cannot make symbolic links";
    orb::test::MakeSymlink(dir / "outside", dir / "dir-link", true);
    orb::test::MakeSymlink(dir / "missing", dir / "dangling");
    for (const char* name : {"file-link", "dir-link", "dangling"})
    {
        try
        {
            orb::platform::SetLastWriteTime(dir / name, At(2024, 1, 31, 12, 0, 0));
            ADD_FAILURE() << "set through " << name;
        }
        catch (const orb::EOSError& e)
        {
            EXPECT_EQ(e.Message, "Refused to set the time through a symbolic link") << name;
        }
    }
    EXPECT_EQ(orb::platform::GetLastWriteTime(dir / "outside" / "f"), At(2019, 1, 1, 0, 0, 0));
    EXPECT_EQ(orb::platform::GetLastWriteTime(dir / "outside"), At(2019, 1, 1, 0, 0, 0));
    EXPECT_FALSE(fs::exists(dir / "missing"));
}
