#include "platform/AppDirectory.h"

#include "PlatformTestUtil.h"
#include "base/Exceptions.h"
#include "platform/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using orb::test::ScopedEnv;

TEST(AppDirectory, IsTheDataFolderAndTheExecutablesFolderName)
{
    struct Case
    {
        fs::path Data, Exe, Expected;
    };
    const Case cases[] = {
        {"/data", "/opt/Trader", "/data/Trader/"},
        {"/data", "/opt/Trader/", "/data/Trader/"},
        {"/data", "/", "/"},
        {"/home/u/.local/share", "/usr/lib/orb-loader", "/home/u/.local/share/orb-loader/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orb::platform::AppDirectoryFor(c.Data, c.Exe), c.Expected) << c.Exe;
}

#ifdef _WIN32
TEST(AppDirectory, WindowsPathsWithBackslashesAndDriveRoots)
{
    struct Case
    {
        fs::path Data, Exe, Expected;
    };
    const Case cases[] = {
        {"C:\\Users\\u\\AppData\\Roaming", "C:\\Program Files\\Trader", "C:\\Users\\u\\AppData\\Roaming\\Trader\\"},
        {"C:\\Users\\u\\AppData\\Roaming", "D:\\Brokers\\Trader\\", "C:\\Users\\u\\AppData\\Roaming\\Trader\\"},
        {"C:\\Users\\u\\AppData\\Roaming", "D:/Brokers/Trader", "C:\\Users\\u\\AppData\\Roaming\\Trader\\"},
        {"C:\\Users\\u\\AppData\\Roaming", "D:\\", "D:\\"},
        {"\\\\server\\profiles\\u\\AppData\\Roaming", "C:\\Trader",
         "\\\\server\\profiles\\u\\AppData\\Roaming\\Trader\\"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orb::platform::AppDirectoryFor(c.Data, c.Exe).native(), c.Expected.native()) << c.Exe;
}

TEST(AppDirectory, UsesAppDataElseTheShellsFolder)
{
    orb::test::TempDir dir;
    {
        ScopedEnv appData("APPDATA", (dir / "roaming").string());
        EXPECT_EQ(orb::platform::RoamingAppDataFolder(), dir / "roaming");
    }
    // Without a usable %APPDATA% the shell names the folder: an absolute one, not the relative text.
    for (const std::optional<std::string>& value :
         {std::optional<std::string>(), std::optional<std::string>("relative\\dir")})
    {
        ScopedEnv appData("APPDATA", value);
        fs::path folder = orb::platform::RoamingAppDataFolder();
        EXPECT_TRUE(folder.is_absolute()) << folder;
        EXPECT_NE(folder, fs::path("relative\\dir"));
    }
}

/// Where the tests point the data folder: %APPDATA% here, $XDG_DATA_HOME on POSIX systems.
constexpr const char* DataFolderVariable = "APPDATA";
#else
/// Where the tests point the data folder: %APPDATA% on Windows, $XDG_DATA_HOME here.
constexpr const char* DataFolderVariable = "XDG_DATA_HOME";

TEST(AppDirectory, UsesXdgDataHomeElseHomeLocalShare)
{
    orb::test::TempDir dir;
    {
        ScopedEnv xdg("XDG_DATA_HOME", (dir / "xdg").string());
        EXPECT_EQ(orb::platform::RoamingAppDataFolder(), dir / "xdg");
    }
    ScopedEnv home("HOME", dir.Path().string());
    for (const std::optional<std::string>& xdgValue :
         {std::optional<std::string>(), std::optional<std::string>(""), std::optional<std::string>("relative/dir")})
    {
        ScopedEnv xdg("XDG_DATA_HOME", xdgValue);
        EXPECT_EQ(orb::platform::RoamingAppDataFolder(), dir / ".local" / "share");
    }
}

#endif

TEST(AppDirectory, IsCreatedWhenMissingAndEndsWithSeparator)
{
    orb::test::TempDir dir;
    ScopedEnv data(DataFolderVariable, (dir / "not" / "yet").string());
    fs::path appDir = orb::GetAppDirectory();
    fs::path expected = dir / "not" / "yet" / orb::platform::ExecutablePath().parent_path().filename() / "";
    EXPECT_EQ(appDir, expected);
    EXPECT_TRUE(fs::is_directory(appDir));
    EXPECT_EQ(orb::GetAppDirectory(), expected);
}

TEST(AppDirectory, FailureCarriesTheDirectoryInItsMessage)
{
    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "file", "x");
    ScopedEnv data(DataFolderVariable, (dir / "file").string());
    try
    {
        orb::GetAppDirectory();
        FAIL() << "no exception";
    }
    catch (const orb::EOSError& e)
    {
        EXPECT_NE(e.Message.find("\r\nApp. Directory: " + (dir / "file" / "").string()), std::string::npos)
            << e.Message;
    }
}
