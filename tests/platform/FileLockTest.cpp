#include "platform/FileLock.h"

#include "base/Exceptions.h"
#include "platform/DiskFlush.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using orb::EOSError;
using orb::platform::TFileLock;
using orb::test::TempDir;
using orb::test::WriteBytes;

TEST(FileLock, OneHolderAtATimeAndFreeAgainOnceReleased)
{
    TempDir temp;
    const auto path = temp / "update.lock";
    TFileLock first, second;
    ASSERT_TRUE(first.TryLock(path));
    EXPECT_TRUE(first.Locked());
    // Another open of the same file, even in this process, is another holder.
    EXPECT_FALSE(second.TryLock(path));
    EXPECT_FALSE(second.Locked());

    TFileLock moved = std::move(first);
    EXPECT_FALSE(first.Locked());
    EXPECT_FALSE(second.TryLock(path));
    moved.Unlock();
    EXPECT_TRUE(second.TryLock(path));
}

TEST(FileLock, ALockFileThatCannotBeOpenedIsAnOSErrorNamingIt)
{
    TempDir temp;
    TFileLock lock;
    try
    {
        lock.TryLock(temp / "missing" / "update.lock");
        FAIL() << "no error";
    }
    catch (const EOSError& e)
    {
        EXPECT_NE(e.Message.find((temp / "missing" / "update.lock").string()), std::string::npos) << e.Message;
    }
    EXPECT_FALSE(lock.Locked());
}

TEST(FlushToDisk, FlushesAnExistingDirectoryAndNamesAMissingOne)
{
    TempDir temp;
    WriteBytes(temp / "a" / "file.bin", "content");
    EXPECT_NO_THROW(orb::platform::FlushToDisk(temp / "a"));
    try
    {
        orb::platform::FlushToDisk(temp / "missing");
        FAIL() << "no error";
    }
    catch (const EOSError& e)
    {
        EXPECT_NE(e.Message.find((temp / "missing").string()), std::string::npos) << e.Message;
    }
}
