#include "base/AtomicFile.h"

#include "base/Exceptions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace orb;

TEST(AtomicFile, WritesAndReplacesWithoutLeavingTemporaryFiles)
{
    test::TempDir dir;
    auto target = dir / "settings.xml";
    WriteFileAtomic(target, "first");
    EXPECT_EQ(test::ReadBytes(target), "first");
    std::string big(200000, 'x');
    WriteFileAtomic(target, big);
    EXPECT_EQ(test::ReadBytes(target), big);
    WriteFileAtomic(target, "");
    EXPECT_EQ(test::ReadBytes(target), "");
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u);
}

TEST(AtomicFile, BytesAreWrittenAsGivenWithoutLineEndTranslation)
{
    // A text-mode stream would turn LF into CR LF and CR LF into CR CR LF, and stop reading at Ctrl+Z.
    const std::string cases[] = {"a\r\nb\r\n",
                                 "a\nb\n",
                                 "a\rb",
                                 "\r\n\r\n",
                                 "before\x1A"
                                 "after",
                                 std::string("\0\n", 2)};
    test::TempDir dir;
    for (const auto& bytes : cases)
    {
        WriteFileAtomic(dir / "user_loader_settings.xml", bytes);
        EXPECT_EQ(test::ReadBytes(dir / "user_loader_settings.xml"), bytes);
    }
}

#ifdef _WIN32
TEST(AtomicFile, WindowsPathsWithBackslashesForwardSlashesAndBlanks)
{
    test::TempDir dir;
    const std::string root = dir.Path().string();
    ASSERT_NE(root.find('\\'), std::string::npos);
    const std::string names[] = {root + "\\settings.xml", root + "/forward.xml", root + "\\with blanks\\file.xml",
                                 root + "\\mixed/sub\\file.xml"};
    std::filesystem::create_directories(root + "\\with blanks");
    std::filesystem::create_directories(root + "\\mixed\\sub");
    for (const auto& name : names)
    {
        WriteFileAtomic(name, "x\r\n");
        WriteFileAtomic(name, "y\r\n");
        EXPECT_EQ(test::ReadBytes(name), "y\r\n") << name;
    }
}
#endif

TEST(AtomicFile, FailureLeavesTheOldFileUntouched)
{
    test::TempDir dir;
    auto missing = dir / "no-such-dir" / "file.txt";
    EXPECT_THROW(WriteFileAtomic(missing, "data"), EInOutError);

    // A target that is a directory cannot be replaced: the rename fails and nothing is lost.
    auto target = dir / "keep";
    std::filesystem::create_directory(target);
    test::WriteBytes(target / "inside.txt", "old");
    try
    {
        WriteFileAtomic(target, "new");
        FAIL() << "no error";
    }
    catch (const EInOutError& e)
    {
        EXPECT_NE(std::string(e.what()).find("keep"), std::string::npos);
    }
    EXPECT_EQ(test::ReadBytes(target / "inside.txt"), "old");
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1u) << "the temporary file must be removed";
}

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

mode_t ModeOf(const std::filesystem::path& Path)
{
    struct stat st
    {
    };
    EXPECT_EQ(::stat(Path.c_str(), &st), 0) << Path;
    return st.st_mode & 07777;
}

} // namespace

TEST(AtomicFile, NewFilesTakeTheAskedAccessAndExistingFilesKeepTheirMode)
{
    struct TCase
    {
        const char* Name;
        int ExistingMode; // -1: no file yet
        TFileAccess Access;
        mode_t Expected;
    };
    const mode_t mask = ::umask(022);
    const TCase cases[] = {
        {"new private file", -1, TFileAccess::faOwnerOnly, 0600},
        {"new ordinary file", -1, TFileAccess::faDefault, 0644},
        {"existing 0644 file stays 0644", 0644, TFileAccess::faOwnerOnly, 0644},
        {"existing 0600 file stays 0600", 0600, TFileAccess::faDefault, 0600},
        {"existing 0640 file stays 0640", 0640, TFileAccess::faDefault, 0640},
    };
    for (const auto& c : cases)
    {
        test::TempDir dir;
        auto target = dir / "user_loader_settings.xml";
        if (c.ExistingMode >= 0)
        {
            test::WriteBytes(target, "old");
            ::chmod(target.c_str(), static_cast<mode_t>(c.ExistingMode));
        }
        WriteFileAtomic(target, "new", c.Access);
        WriteFileAtomic(target, "newer", c.Access);
        EXPECT_EQ(test::ReadBytes(target), "newer") << c.Name;
        EXPECT_EQ(ModeOf(target), c.Expected) << c.Name;
    }
    ::umask(mask);
}

// Runs Body as an unprivileged user in a child process (the tests run as root, whom no mode stops) and returns
// the child's exit code.
template <class F> int RunAsNobody(F Body)
{
    pid_t pid = ::fork();
    if (pid == 0)
    {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(100);
        ::_exit(Body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 101;
}

TEST(AtomicFile, ReadOnlyFolderWithAWritableFileIsWrittenInPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    test::TempDir dir;
    auto folder = dir / "install";
    std::filesystem::create_directory(folder);
    auto target = folder / "user_loader_settings.xml";
    auto locked = folder / "locked.xml";
    test::WriteBytes(target, "old");
    test::WriteBytes(locked, "old");
    ::chmod(dir.Path().c_str(), 0755);
    ::chown(folder.c_str(), 0, 0);
    ::chmod(folder.c_str(), 0755); // nobody may not create files here
    ::chown(target.c_str(), 65534, 65534);
    ::chmod(target.c_str(), 0600);
    ::chmod(locked.c_str(), 0644); // owned by root: nobody may not write it either

    int inPlace = RunAsNobody([&] {
        try
        {
            WriteFileAtomic(target, "new contents", TFileAccess::faOwnerOnly);
            return 0;
        }
        catch (...)
        {
            return 1;
        }
    });
    EXPECT_EQ(inPlace, 0);
    EXPECT_EQ(test::ReadBytes(target), "new contents");
    EXPECT_EQ(ModeOf(target), 0600u);

    int refused = RunAsNobody([&] {
        try
        {
            WriteFileAtomic(locked, "new");
            return 0;
        }
        catch (const EInOutError& e)
        {
            return std::string(e.what()).find("locked.xml") != std::string::npos ? 2 : 3;
        }
    });
    EXPECT_EQ(refused, 2) << "the error must name the file";
    EXPECT_EQ(test::ReadBytes(locked), "old");
    size_t entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 2u);
}
#endif
