#include "platform/FileVersion.h"

#include "base/Exceptions.h"

#include <cerrno>

namespace orb::platform
{

std::array<uint16_t, 4> ReadFileVersion(const std::filesystem::path& FileName)
{
    // ELF executables have no version resource; the launcher's own version is compiled in.
    throw EOSError(ENOTSUP, "The file has no version resource: " + FileName.string());
}

} // namespace orb::platform
