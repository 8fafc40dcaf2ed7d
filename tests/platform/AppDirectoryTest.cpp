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

TEST(AppDirectory, IsCreatedWhenMissingAndEndsWithSeparator)
{
    orb::test::TempDir dir;
    ScopedEnv xdg("XDG_DATA_HOME", (dir / "not" / "yet").string());
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
    ScopedEnv xdg("XDG_DATA_HOME", (dir / "file").string());
    try
    {
        orb::GetAppDirectory();
        FAIL() << "no exception";
    }
    catch (const orb::EOSError& e)
    {
        EXPECT_NE(e.Message.find("\r\nApp. Directory: " + (dir / "file").string() + "/"), std::string::npos)
            << e.Message;
    }
}
