#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace orb
{

/// The four 16-bit numbers of an executable's file version.
class TExeVersion
{
public:
    /// A version given by its numbers.
    constexpr TExeVersion(uint16_t AMajor, uint16_t AMinor, uint16_t ARelease, uint16_t ABuild)
        : Major(AMajor), Minor(AMinor), Release(ARelease), Build(ABuild)
    {}
    /// Reads the version resource of FileName; raises EOSError when it has none (always on POSIX systems,
    /// whose executables carry their version compiled in: see ExeVersion).
    explicit TExeVersion(const std::filesystem::path& FileName);

    uint16_t Major;
    uint16_t Minor;
    uint16_t Release;
    uint16_t Build;

    /// The numbers as "%d.%d.%d.%d", for example 4.7.0.12.
    std::string VersionText() const;
};

/// The version of the running launcher: the build's project version, compiled in.
extern const TExeVersion ExeVersion;

} // namespace orb
