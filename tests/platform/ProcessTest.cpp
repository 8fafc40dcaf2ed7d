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

#ifdef _WIN32
#include "platform/FileLock.h"
#include "platform/Paths.h"

#include <windows.h>

namespace
{

using orb::test::ScopedEnv;

/// The program that writes what it was started with (ChildProgram.cpp), beside this test executable.
fs::path ChildProgram()
{
    return orb::platform::ExecutablePath().parent_path() / "platform_test_child.exe";
}

/// The lines the child wrote, "\n" after each.
std::string ChildReport(const fs::path& Out)
{
    EXPECT_TRUE(WaitForFile(Out)) << "the started program did not write its output";
    return ReadBytes(Out);
}

} // namespace

TEST(RunProgram, StartsAProgramWithItsArgumentsAndReturnsWithoutWaiting)
{
    orb::test::TempDir dir;
    // A folder with a blank and letters outside ASCII, written with backslashes.
    fs::path folder = dir / "Client \xC3\x9C"
                            "bung";
    fs::create_directories(folder);
    fs::path program = folder / "client.exe";
    fs::copy_file(ChildProgram(), program);
    std::string path = orb::platform::PathToUtf8(program);
    ASSERT_NE(path.find('\\'), std::string::npos);
    struct TCase
    {
        std::string Parameters, Arguments;
    };
    const TCase cases[] = {
        {"", ""},
        {"one", "arg:one\n"},
        {"\"two words\" plain", "arg:two words\narg:plain\n"},
        {"C:\\dir\\file.txt \"a\\\"b\"", "arg:C:\\dir\\file.txt\narg:a\"b\n"},
        {"\xD0\xAF\xC3\xA9", "arg:\xD0\xAF\xC3\xA9\n"},
    };
    for (const auto& c : cases)
    {
        fs::path out = dir / "out.txt", go = dir / "go";
        fs::remove(out);
        fs::remove(go);
        // The child waits for a file written only after RunProgram has returned: nobody waits for it.
        orb::RunProgram(
            path, c.Parameters,
            {{"ORB_CHILD_OUT", orb::platform::PathToUtf8(out)}, {"ORB_CHILD_WAIT_FOR", orb::platform::PathToUtf8(go)}});
        WriteBytes(go, "");
        EXPECT_EQ(ChildReport(out), c.Arguments + "cwd:" + orb::platform::PathToUtf8(fs::current_path()) + "\n")
            << c.Parameters;
    }
}

TEST(RunProgram, TheEnvironmentBlockSetsAndReplacesVariablesForTheChildAlone)
{
    orb::test::TempDir dir;
    ScopedEnv inherited("ORB_TEST_INHERITED", "from the launcher");
    ScopedEnv replaced("ORB_TEST_REPLACED", "old");
    ScopedEnv show("ORB_CHILD_SHOW", "ORB_TEST_INHERITED;ORB_TEST_REPLACED;nimb_orb_loader_connection_settings;"
                                     "ORB_TEST_EMPTY;ORB_TEST_A_B;ORB_TEST_AB;ORB_TEST_MISSING");
    fs::path out = dir / "out.txt";
    // The client's parameter block: lines ending with CR LF, text outside ASCII.
    const std::string block = "login=J\xC3\xBCrgen\r\npassword=a=b\r\nserver=host:443\r\n";
    orb::RunProgram(orb::platform::PathToUtf8(ChildProgram()), "",
                    {{"ORB_CHILD_OUT", orb::platform::PathToUtf8(out)},
                     {"orb_test_replaced", "new"}, // names compare without case
                     {"nimb_orb_loader_connection_settings", block},
                     {"ORB_TEST_EMPTY", ""},
                     {"ORB_TEST_A_B", "underscore"},
                     {"ORB_TEST_AB", "plain"}});
    std::string report = ChildReport(out);
    const std::string lines[] = {
        "ORB_TEST_INHERITED=from the launcher\n",
        "ORB_TEST_REPLACED=new\n",
        "nimb_orb_loader_connection_settings=" + block + "\n",
        "ORB_TEST_EMPTY=\n",
        "ORB_TEST_A_B=underscore\n",
        "ORB_TEST_AB=plain\n",
        "ORB_TEST_MISSING unset\n",
    };
    for (const auto& line : lines)
        EXPECT_NE(report.find(line), std::string::npos) << line << " in\n" << report;
    // The launcher's own environment is unchanged.
    EXPECT_EQ(orb::platform::GetEnvironmentValue("ORB_TEST_REPLACED"), "old");
    EXPECT_EQ(orb::platform::GetEnvironmentValue("nimb_orb_loader_connection_settings"), std::nullopt);
}

TEST(RunProgram, AStartedProgramDoesNotKeepTheUpdateLock)
{
    orb::test::TempDir dir;
    fs::path out = dir / "out.txt", go = dir / "go";
    orb::platform::TFileLock lock;
    ASSERT_TRUE(lock.TryLock(dir / "update.lock"));
    orb::RunProgram(
        orb::platform::PathToUtf8(ChildProgram()), "",
        {{"ORB_CHILD_OUT", orb::platform::PathToUtf8(out)}, {"ORB_CHILD_WAIT_FOR", orb::platform::PathToUtf8(go)}});
    lock.Unlock();
    // The child is still waiting; the lock is free all the same.
    orb::platform::TFileLock other;
    EXPECT_TRUE(other.TryLock(dir / "update.lock"));
    EXPECT_FALSE(fs::exists(out));
    WriteBytes(go, "");
    ChildReport(out);
}

TEST(RunProgram, FailureNamesThePathAndParameters)
{
    orb::test::TempDir dir;
    struct TCase
    {
        std::string Path, Parameters;
        DWORD Code;
    };
    WriteBytes(dir / "notaprogram.exe", "just text\r\n");
    const TCase cases[] = {
        {orb::platform::PathToUtf8(dir / "missing" / "client.exe"), "-x y", ERROR_PATH_NOT_FOUND},
        {orb::platform::PathToUtf8(dir / "client.exe"), "", ERROR_FILE_NOT_FOUND},
        {orb::platform::PathToUtf8(dir / "notaprogram.exe"), "a", ERROR_BAD_EXE_FORMAT},
        {orb::platform::PathToUtf8(ChildProgram()), std::string("a\0b", 3), ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases)
    {
        try
        {
            orb::RunProgram(c.Path, c.Parameters);
            ADD_FAILURE() << "started " << c.Path;
        }
        catch (const orb::EOSError& e)
        {
            EXPECT_EQ(e.ErrorCode, static_cast<int>(c.Code)) << c.Path << ": " << e.Message;
            const std::string tail = "\r\n(" + c.Path + " " + c.Parameters + ")";
            EXPECT_TRUE(e.Message.size() > tail.size() && e.Message.ends_with(tail)) << e.Message;
        }
    }
    EXPECT_THROW(orb::RunProgram("", ""), orb::EOSError);
}

TEST(ShellOpen, OpensAProgramAndNamesWhatItCannotOpen)
{
    orb::test::TempDir dir;
    fs::path out = dir / "out.txt";
    {
        ScopedEnv childOut("ORB_CHILD_OUT", orb::platform::PathToUtf8(out));
        orb::platform::ShellOpen(orb::platform::PathToUtf8(ChildProgram()));
    }
    EXPECT_NE(ChildReport(out).find("cwd:"), std::string::npos);

    const std::string missing = orb::platform::PathToUtf8(dir / "missing.exe");
    try
    {
        orb::platform::ShellOpen(missing);
        FAIL() << "no exception";
    }
    catch (const orb::EOSError& e)
    {
        EXPECT_NE(e.ErrorCode, 0);
        EXPECT_TRUE(e.Message.ends_with("\r\n(" + missing + ")")) << e.Message;
    }
}
#else
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

#endif

TEST(ExecutablePath, NamesTheRunningTestProgram)
{
    fs::path p = orb::platform::ExecutablePath();
    EXPECT_TRUE(p.is_absolute());
#ifdef _WIN32
    EXPECT_EQ(p.filename(), "platform_tests.exe");
#else
    EXPECT_EQ(p.filename(), "platform_tests");
#endif
}

#ifndef _WIN32
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
#endif
