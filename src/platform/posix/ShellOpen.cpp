#include "platform/ShellOpen.h"

#include "base/Exceptions.h"
#include "platform/posix/Spawn.h"

#include <cerrno>

namespace orb::platform
{

void ShellOpen(const std::string& Target)
{
    // xdg-open hands the target to the desktop's default handler for its kind.
    std::string opener = posix::FindInPath("xdg-open");
    if (opener.empty())
        throw EOSError(ENOENT, "Cannot open \"" + Target + "\": xdg-open was not found");
    int e = posix::SpawnDetached(opener, {opener, Target});
    if (e != 0)
        throw EOSError(e, SysErrorMessage(e) + "\r\n(" + opener + " " + Target + ")");
}

} // namespace orb::platform
