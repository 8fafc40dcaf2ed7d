#pragma once

#include "support/TempDir.h"
#include "update/IndexTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace orb::test
{

/// Runs a shell command in Dir; fails the test with the command when it does not succeed.
inline void RunIn(const std::filesystem::path& Dir, const std::string& Command)
{
    std::string line = "cd '" + Dir.string() + "' && " + Command + " >/dev/null 2>&1";
    int rc = std::system(line.c_str());
    ASSERT_EQ(rc, 0) << "command failed: " << line;
}

/// Packs Entries (paths relative to Dir) into Dir/Archive with the 7zz command; Options as 7zz takes them.
inline void Make7z(const std::filesystem::path& Dir, const std::string& Archive, const std::string& Entries,
                   const std::string& Options = "-m0=lzma2 -ms=off")
{
    RunIn(Dir, "7zz a -t7z -bso0 -bsp0 " + Options + " '" + Archive + "' " + Entries);
}

/// Sets a file's time as local wall-clock time.
inline void SetTime(const std::filesystem::path& P, const TIndexTime& T)
{
    SetLocalFileTime(P, T);
}

/// A file's time as local wall-clock time; fails the test when it cannot be read.
inline TIndexTime GetTime(const std::filesystem::path& P)
{
    TIndexTime t;
    EXPECT_TRUE(TryGetLocalFileTime(P, t)) << P;
    return t;
}

} // namespace orb::test
