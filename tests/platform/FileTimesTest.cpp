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
    fs::create_symlink(dir / "outside" / "f", dir / "file-link");
    fs::create_directory_symlink(dir / "outside", dir / "dir-link");
    fs::create_symlink(dir / "missing", dir / "dangling");
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
