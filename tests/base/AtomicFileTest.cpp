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
