#pragma once

#include <filesystem>
#include <string>

namespace orb::test
{

/// A fresh directory under the system's temporary folder, removed with everything in it on destruction.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    /// The directory itself.
    const std::filesystem::path& Path() const { return FPath; }
    /// A path inside the directory.
    std::filesystem::path operator/(const std::string& Name) const { return FPath / Name; }

private:
    std::filesystem::path FPath;
};

/// Writes Bytes to a file, creating parent directories.
void WriteBytes(const std::filesystem::path& Path, const std::string& Bytes);
/// Reads a whole file as bytes; fails the test when it cannot be read.
std::string ReadBytes(const std::filesystem::path& Path);
/// The project's source folder (for data files shipped with the tests).
std::filesystem::path SourceDir();

} // namespace orb::test
