#include "platform/Process.h"

#include "base/Exceptions.h"
#include "platform/posix/Spawn.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orb
{

namespace
{

// Files fetched from an update server arrive without POSIX permissions: give the program the execute
// bits that match its read bits before it is started. A symbolic link is left alone: the mode of what it
// points to, perhaps outside the installation, is not ours to change.
void MakeExecutable(const std::string& Path)
{
    struct stat st
    {
    };
    if (::lstat(Path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    mode_t mode = st.st_mode & 07777;
    mode_t wanted = mode | S_IXUSR;
    if (mode & S_IRGRP)
        wanted |= S_IXGRP;
    if (mode & S_IROTH)
        wanted |= S_IXOTH;
    // Not following a link swapped in since the check either; a failure shows up as the start's own error.
    if (wanted != mode)
        ::fchmodat(AT_FDCWD, Path.c_str(), wanted, AT_SYMLINK_NOFOLLOW);
}

} // namespace

void RunProgram(const std::string& Path, const std::string& Parameters, const TEnvironment& Environment)
{
    MakeExecutable(Path);
    std::vector<std::string> args{Path};
    for (auto& a : platform::SplitCommandLine(Parameters))
        args.push_back(std::move(a));
    std::vector<std::string> environment;
    for (const auto& [name, value] : Environment)
        environment.push_back(name + "=" + value);
    int e = Path.empty() ? ENOENT : platform::posix::SpawnDetached(Path, args, environment);
    if (e != 0)
        throw EOSError(e, SysErrorMessage(e) + "\r\n(" + Path + " " + Parameters + ")");
}

namespace platform
{

std::filesystem::path ExecutablePath()
{
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        throw EOSError(ec.value(), SysErrorMessage(ec.value()));
    return p;
}

} // namespace platform
} // namespace orb
