#include "platform/Process.h"

#include "PlatformTestUtil.h"
#include "base/Exceptions.h"
#include "platform/ShellOpen.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using orb::test::ReadBytes;
using orb::test::WaitForFile;
using orb::test::WriteBytes;

TEST(SplitCommandLine, FollowsTheWindowsQuotingRules)
{
    struct Case
    {
        std::string In;
        std::vector<std::string> Out;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"\"a b\" c", {"a b", "c"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"\"", {""}},
        {"a\\\\b", {"a\\\\b"}},
        {"a\\\"b", {"a\"b"}},
        {"a\\\\\"b c\"", {"a\\b c"}},
        {"\"a\"\"b\"", {"a\"b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orb::platform::SplitCommandLine(c.In), c.Out) << c.In;
}

TEST(RunProgram, StartsAProgramWithArgumentsWithoutWaitingAndMakesItExecutable)
{
    orb::test::TempDir dir;
    fs::path script = dir / "client.sh";
    fs::path out = dir / "out.txt";
    // The script writes its arguments and working directory, then renames so the file appears whole.
    WriteBytes(script, "#!/bin/sh\nprintf '%s|' \"$@\" \"$(pwd)\" > \"$1.tmp\" && mv \"$1.tmp\" \"$1\"\n");
    fs::permissions(script, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    orb::RunProgram(script.string(), "\"" + out.string() + "\" \"two words\"");
    ASSERT_TRUE(WaitForFile(out)) << "the started program did not write its output";
    EXPECT_EQ(ReadBytes(out), out.string() + "|two words|" + fs::current_path().string() + "|");
    auto perms = fs::status(script).permissions();
    EXPECT_NE(perms & fs::perms::owner_exec, fs::perms::none);
    EXPECT_NE(perms & fs::perms::group_exec, fs::perms::none);
    EXPECT_EQ(perms & fs::perms::others_exec, fs::perms::none);
}

TEST(RunProgram, FailureNamesThePathAndParameters)
{
    orb::test::TempDir dir;
    std::string missing = (dir / "missing" / "client").string();
    try
    {
        orb::RunProgram(missing, "-x y");
        FAIL() << "no exception";
    }
    catch (const orb::EOSError& e)
    {
        EXPECT_EQ(e.ErrorCode, ENOENT);
        EXPECT_EQ(e.Message, orb::SysErrorMessage(ENOENT) + "\r\n(" + missing + " -x y)");
    }
    WriteBytes(dir / "notaprogram", "just text\n");
    EXPECT_THROW(orb::RunProgram((dir / "notaprogram").string(), ""), orb::EOSError);
    EXPECT_THROW(orb::RunProgram("", ""), orb::EOSError);
}

TEST(ExecutablePath, NamesTheRunningTestProgram)
{
    fs::path p = orb::platform::ExecutablePath();
    EXPECT_TRUE(p.is_absolute());
    EXPECT_EQ(p.filename(), "platform_tests");
}

TEST(ShellOpen, HandsTheTargetToTheDesktopsOpener)
{
    orb::test::TempDir dir;
    fs::path out = dir / "opened.txt";
    WriteBytes(dir / "bin" / "xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > \"" + out.string() + ".tmp\" && mv \"" +
                                             out.string() + ".tmp\" \"" + out.string() + "\"\n");
    fs::permissions(dir / "bin" / "xdg-open", fs::perms::owner_all);
    {
        orb::test::ScopedEnv path("PATH", (dir / "bin").string() + ":/usr/bin:/bin");
        orb::platform::ShellOpen("https://example.test/page?a=1&b=2");
    }
    ASSERT_TRUE(WaitForFile(out)) << "the opener was not started";
    EXPECT_EQ(ReadBytes(out), "https://example.test/page?a=1&b=2");

    orb::test::ScopedEnv path("PATH", (dir / "empty").string());
    EXPECT_THROW(orb::platform::ShellOpen("https://example.test/"), orb::EOSError);
}
