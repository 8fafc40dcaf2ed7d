#include "launcher/ClientLaunch.h"

#include "base/Exceptions.h"
#include "launcher/ConnectionSettings.h"
#include "platform/AppDirectory.h"
#include "platform/Environment.h"
#include "platform/PlatformTestUtil.h"
#include "platform/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using orb::test::ReadBytes;
using orb::test::WriteBytes;

namespace
{

const std::string OfflineMessage =
    "Off-line mode is not available either because your haven\xE2\x80\x99t logged in before.";

// Makes APP# directories with the given version.info contents (nullopt: no file).
void MakeInstallations(const fs::path& AppDir, const std::vector<std::pair<std::string, std::string>>& Items)
{
    for (const auto& [name, versionInfo] : Items)
    {
        fs::create_directories(AppDir / name);
        WriteBytes(AppDir / name / "version.info", versionInfo);
    }
}

std::string Newest(const fs::path& AppDir)
{
    try
    {
        std::string dir = orb::FindNewestClientDirectory(AppDir);
        return dir.empty() ? "<none>" : fs::path(dir).parent_path().filename().string();
    }
    catch (const orb::Exception& e)
    {
        return e.ClassName() + ": " + e.Message;
    }
}

} // namespace

TEST(VersionInfoText, TakesTheFirstLineInTheEncodingOfItsByteOrderMark)
{
    struct Case
    {
        std::string Bytes, Version;
    };
    const Case cases[] = {
        {"4.7.0.12\r\n", "4.7.0.12"},
        {"4.7.0-15\r\nbuilt somewhere\r\n", "4.7.0.15"},
        {"4.7.0.12\n", "4.7.0.12"},
        {"4.7\rrest", "4.7"},
        {"4.7.0.12", ""},
        {"", ""},
        {"\xEF\xBB\xBF"
         "5.0-1\r\n",
         "5.0.1"},
        {std::string("\xFF\xFE"
                     "4\0.\0"
                     "9\0\r\0\n\0",
                     10),
         "4.9"},
        {std::string("\xFE\xFF\0"
                     "4\0.\0"
                     "1\0"
                     "0\0\n",
                     12),
         "4.10"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orb::VersionInfoText(c.Bytes), c.Version) << c.Bytes;
}

TEST(FindNewestClientDirectory, ComparesVersionsNumerically)
{
    orb::test::TempDir app;
    MakeInstallations(app.Path(),
                      {{"APP#00000001", "4.5\r\n"}, {"APP#00000002", "4.10\r\n"}, {"APP#00000003", "4.9\r\n"}});
    EXPECT_EQ(Newest(app.Path()), "APP#00000002");
    std::string dir = orb::FindNewestClientDirectory(app.Path());
    EXPECT_EQ(dir, (app / "APP#00000002" / "").string());
    EXPECT_EQ(dir.back(), '/');
}

TEST(FindNewestClientDirectory, ReadsDashesAsDotsAndKeepsTheFirstOfEqualVersions)
{
    orb::test::TempDir app;
    MakeInstallations(app.Path(), {{"APP#AAAAAAAA", "4.7.0.14\r\n"}, {"APP#BBBBBBBB", "4.7.0-15\r\n"}});
    EXPECT_EQ(Newest(app.Path()), "APP#BBBBBBBB");

    orb::test::TempDir tie;
    MakeInstallations(tie.Path(),
                      {{"APP#CCCCCCCC", "4.8\n"}, {"APP#0000000A", "4.8\r\n"}, {"APP#BBBBBBBB", "4-8\r\n"}});
    EXPECT_EQ(Newest(tie.Path()), "APP#0000000A");
}

TEST(FindNewestClientDirectory, SkipsWhatCannotBeReadOrHasNoLineBreak)
{
    orb::test::TempDir app;
    MakeInstallations(app.Path(), {{"APP#00000001", "4.6\r\n"}, {"APP#00000002", "9.9"}});
    fs::create_directories(app / "APP#00000003");                  // no version.info
    fs::create_directories(app / "APP#00000004" / "version.info"); // not a readable file
    WriteBytes(app / "APP#00000005", "9.9\r\n");                   // a file, not an installation
    fs::create_directories(app / "app#00000006");                  // another name
    WriteBytes(app / "app#00000006" / "version.info", "9.9\r\n");
    fs::create_directories(app / "XAPP#0000007");
    WriteBytes(app / "XAPP#0000007" / "version.info", "9.9\r\n");
    EXPECT_EQ(Newest(app.Path()), "APP#00000001");
}

TEST(FindNewestClientDirectory, OfflineMessageWhenNothingNewEnough)
{
    orb::test::TempDir old;
    MakeInstallations(old.Path(), {{"APP#00000001", "4.4\r\n"}, {"APP#00000002", "4.4.99\r\n"}});
    EXPECT_EQ(Newest(old.Path()), "Exception: " + OfflineMessage);

    orb::test::TempDir unreadable;
    MakeInstallations(unreadable.Path(), {{"APP#00000001", "5.0"}});
    EXPECT_EQ(Newest(unreadable.Path()), "Exception: " + OfflineMessage);

    orb::test::TempDir exact;
    MakeInstallations(exact.Path(), {{"APP#00000001", "4.5\r\n"}});
    EXPECT_EQ(Newest(exact.Path()), "APP#00000001");
}

TEST(FindNewestClientDirectory, EmptyWhenThereIsNoInstallationAtAll)
{
    orb::test::TempDir app;
    fs::create_directories(app / "other");
    EXPECT_EQ(Newest(app.Path()), "<none>");
    EXPECT_EQ(Newest(app / "does-not-exist"), "<none>");
}

TEST(FindNewestClientDirectory, BadVersionNumberRaisesConvertError)
{
    orb::test::TempDir app;
    MakeInstallations(app.Path(), {{"APP#00000001", "4.x\r\n"}});
    EXPECT_EQ(Newest(app.Path()).rfind("EConvertError: ", 0), 0u) << Newest(app.Path());
}

TEST(FindNewestClientDirectory, LooksInTheApplicationDirectory)
{
    orb::test::TempDir data;
    orb::test::ScopedEnv xdg("XDG_DATA_HOME", data.Path().string());
    fs::path appDir = orb::GetAppDirectory();
    EXPECT_EQ(orb::FindNewestClientDirectory(), "");
    MakeInstallations(appDir, {{"APP#12345678", "4.7.0.12\r\n"}});
    EXPECT_EQ(orb::FindNewestClientDirectory(), (appDir / "APP#12345678" / "").string());
}

TEST(ExportConnectionSettings, OnlyTheChildProcessReceivesTheBlockByteForByte)
{
    orb::TAttributes settings;
    settings.SetText("tarnel_update_url=https://u.example/x/\r\nlogin=J\xC3\xBCrgen\r\npassword= a=b \"q\" \\ $HOME\r\n"
                     "skins=<skins><skin name=\"A\" value=\"a\"/></skins>\r\nLanguage=ru_RU");
    const orb::TEnvironment environment = orb::ExportConnectionSettings(settings);
    const std::string expected = settings.Text();
    ASSERT_EQ(expected.substr(expected.size() - 2), "\r\n");
    // The launcher's own environment never holds the password: a browser started later would inherit it.
    EXPECT_FALSE(orb::platform::GetEnvironmentValue(orb::ConnectionSettingsVariable));

    orb::test::TempDir dir;
    fs::path out = dir / "env.txt";
    orb::RunProgram(ORB_ENV_DUMP, std::string(orb::ConnectionSettingsVariable) + " \"" + out.string() + "\"",
                    environment);
    ASSERT_TRUE(orb::test::WaitForFile(out)) << "the child process did not write its environment";
    EXPECT_EQ(ReadBytes(out), expected);
    fs::path other = dir / "other.txt";
    orb::RunProgram(ORB_ENV_DUMP, std::string(orb::ConnectionSettingsVariable) + " \"" + other.string() + "\"");
    ASSERT_TRUE(orb::test::WaitForFile(other));
    EXPECT_EQ(ReadBytes(other), "<unset>");
}

TEST(ExportConnectionSettings, EmptyListGivesAnEmptyVariable)
{
    orb::ConnectionSettings.Clear();
    auto environment = orb::ExportConnectionSettings();
    orb::test::TempDir dir;
    fs::path out = dir / "env.txt";
    orb::RunProgram(ORB_ENV_DUMP, std::string(orb::ConnectionSettingsVariable) + " \"" + out.string() + "\"",
                    environment);
    ASSERT_TRUE(orb::test::WaitForFile(out)) << "the child process did not write its environment";
    EXPECT_EQ(ReadBytes(out), "");
}

TEST(ExportConnectionSettings, AValueWithALineBreakIsRefusedNamingTheParameter)
{
    for (const char* value : {"a\r\nlogin=x", "a\nb", "a\rb"})
    {
        orb::TAttributes settings;
        settings.SetText("login=ann");
        settings.SetValues("password", value);
        try
        {
            orb::ExportConnectionSettings(settings);
            FAIL() << "accepted " << value;
        }
        catch (const orb::EConvertError& e)
        {
            EXPECT_STREQ(
                e.what(),
                "The connection parameter \"password\" holds a line break and cannot be handed to the client.");
        }
    }
}

TEST(RunProgram, ClientWithoutExecutePermissionIsMadeExecutableAndStarted)
{
    orb::test::TempDir dir;
    fs::copy_file(ORB_ENV_DUMP, dir / "client");
    fs::permissions(dir / "client", fs::perms::owner_read | fs::perms::owner_write);
    orb::platform::SetEnvironmentValue("ORB_TEST_MARK", "started");
    orb::RunProgram((dir / "client").string(), "ORB_TEST_MARK \"" + (dir / "out").string() + "\"");
    ASSERT_TRUE(orb::test::WaitForFile(dir / "out"));
    EXPECT_EQ(ReadBytes(dir / "out"), "started");
}

TEST(RunProgram, AClientThatIsALinkToAFileOutsideLeavesThatFilesModeAlone)
{
    orb::test::TempDir dir;
    fs::create_directories(dir / "install");
    fs::copy_file(ORB_ENV_DUMP, dir / "outside-client");
    fs::create_symlink(dir / "outside-client", dir / "install" / "client");
    orb::platform::SetEnvironmentValue("ORB_TEST_MARK", "started");
    std::string parameters = "ORB_TEST_MARK \"" + (dir / "out").string() + "\"";

    // Not executable: the start fails with the system's text and the file outside stays as it was.
    const auto readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir / "outside-client", readable);
    try
    {
        orb::RunProgram((dir / "install" / "client").string(), parameters);
        ADD_FAILURE() << "started although not executable";
    }
    catch (const orb::EOSError& e)
    {
        EXPECT_EQ(e.Message, "Permission denied\r\n(" + (dir / "install" / "client").string() + " " + parameters + ")");
    }
    EXPECT_EQ(fs::status(dir / "outside-client").permissions(), readable);

    // Executable already: started through the link, the mode still untouched.
    const auto executable = readable | fs::perms::owner_exec;
    fs::permissions(dir / "outside-client", executable);
    orb::RunProgram((dir / "install" / "client").string(), parameters);
    ASSERT_TRUE(orb::test::WaitForFile(dir / "out"));
    EXPECT_EQ(ReadBytes(dir / "out"), "started");
    EXPECT_EQ(fs::status(dir / "outside-client").permissions(), executable);
}
