#include "platform/AppDirectory.h"

#include "base/Exceptions.h"
#include "platform/Environment.h"

#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace orb::platform
{

std::filesystem::path RoamingAppDataFolder()
{
    // The XDG base directory rules: a relative XDG_DATA_HOME is invalid and ignored.
    if (auto xdg = GetEnvironmentValue("XDG_DATA_HOME"); xdg && !xdg->empty() && (*xdg)[0] == '/')
        return *xdg;
    std::string home = GetEnvironmentValue("HOME").value_or("");
    if (home.empty())
    {
        std::vector<char> buffer(16384);
        passwd pw{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
            home = found->pw_dir;
    }
    if (home.empty())
        throw EOSError(ENOENT, "The user's home folder is unknown (HOME is not set)");
    return std::filesystem::path(home) / ".local" / "share";
}

} // namespace orb::platform
