#include "platform/ShellOpen.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "platform/Environment.h"
#include "platform/Process.h"
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

std::string GetDefaultBrowser()
{
    // BROWSER lists commands separated by ":", the first one the user prefers.
    std::string list = GetEnvironmentValue("BROWSER").value_or("");
    return Trim(list.substr(0, list.find(':')));
}

void OpenInBrowser(const std::string& URL)
{
    const std::string browser = GetDefaultBrowser();
    if (browser.empty())
        return ShellOpen(URL);
    const std::string program = posix::FindInPath(browser);
    if (program.empty())
        throw EOSError(ENOENT, SysErrorMessage(ENOENT) + "\r\n(" + browser + ")");
    // One argument, whatever blanks or quotes the address holds.
    std::string quoted = "\"";
    for (char c : URL)
        quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
    RunProgram(program, quoted + "\"");
}

} // namespace orb::platform
