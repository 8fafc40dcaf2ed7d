#include "platform/Environment.h"

#include "base/Exceptions.h"

#include <cerrno>
#include <cstdlib>

namespace orb::platform
{

std::optional<std::string> GetEnvironmentValue(const std::string& Name)
{
    const char* v = std::getenv(Name.c_str());
    if (!v)
        return std::nullopt;
    return std::string(v);
}

void SetEnvironmentValue(const std::string& Name, const std::string& Value)
{
    // A NUL would silently cut the value short; refuse it like a name with "=" in it.
    if (Name.find('\0') != std::string::npos || Value.find('\0') != std::string::npos)
        throw EOSError(EINVAL, SysErrorMessage(EINVAL));
    if (::setenv(Name.c_str(), Value.c_str(), 1) != 0)
    {
        int e = errno;
        throw EOSError(e, SysErrorMessage(e));
    }
}

void RemoveEnvironmentValue(const std::string& Name)
{
    if (::unsetenv(Name.c_str()) != 0)
    {
        int e = errno;
        throw EOSError(e, SysErrorMessage(e));
    }
}

} // namespace orb::platform
