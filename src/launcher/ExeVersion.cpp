#include "launcher/ExeVersion.h"

#include "platform/FileVersion.h"

namespace orb
{

TExeVersion::TExeVersion(const std::filesystem::path& FileName) : Major(0), Minor(0), Release(0), Build(0)
{
    auto numbers = platform::ReadFileVersion(FileName);
    Major = numbers[0];
    Minor = numbers[1];
    Release = numbers[2];
    Build = numbers[3];
}

std::string TExeVersion::VersionText() const
{
    return std::to_string(Major) + "." + std::to_string(Minor) + "." + std::to_string(Release) + "." +
           std::to_string(Build);
}

// Constant-initialised, so it is ready before any other initialisation code runs.
constinit const TExeVersion ExeVersion(ORB_VERSION_MAJOR, ORB_VERSION_MINOR, ORB_VERSION_RELEASE, ORB_VERSION_BUILD);

} // namespace orb
