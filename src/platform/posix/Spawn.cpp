#include "platform/posix/Spawn.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orb::platform::posix
{

int SpawnDetached(const std::string& File, const std::vector<std::string>& Args,
                  const std::vector<std::string>& Environment)
{
    // Everything the children need is prepared before fork: after fork only async-signal-safe calls
    // are allowed, and other threads of ours may hold the allocator's locks.
    std::vector<char*> argv;
    argv.reserve(Args.size() + 1);
    for (const auto& a : Args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The process's own environment, less the variables Environment replaces, then Environment itself.
    std::vector<char*> envp;
    for (char** e = environ; e && *e; ++e)
    {
        bool replaced = false;
        for (const auto& entry : Environment)
        {
            size_t nameEnd = entry.find('=');
            if (std::strncmp(*e, entry.c_str(), nameEnd + 1) == 0)
                replaced = true;
        }
        if (!replaced)
            envp.push_back(*e);
    }
    for (const auto& entry : Environment)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return errno;

    pid_t middle = ::fork();
    if (middle < 0)
    {
        int e = errno;
        ::close(fds[0]);
        ::close(fds[1]);
        return e;
    }
    if (middle == 0)
    {
        // The middle process starts the program and ends at once, so the program is re-parented to
        // init; a failed exec reports its errno through the pipe, whose end closes on a good exec.
        ::close(fds[0]);
        pid_t child = ::fork();
        if (child == 0)
        {
            ::execve(File.c_str(), argv.data(), envp.data());
            int e = errno;
            ssize_t unused = ::write(fds[1], &e, sizeof e);
            (void)unused;
            ::_exit(127);
        }
        if (child < 0)
        {
            int e = errno;
            ssize_t unused = ::write(fds[1], &e, sizeof e);
            (void)unused;
        }
        ::_exit(0);
    }

    ::close(fds[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR)
    {}
    int childErrno = 0;
    ssize_t got;
    do
        got = ::read(fds[0], &childErrno, sizeof childErrno);
    while (got < 0 && errno == EINTR);
    ::close(fds[0]);
    return got == static_cast<ssize_t>(sizeof childErrno) ? childErrno : 0;
}

std::string FindInPath(const std::string& Name)
{
    if (Name.find('/') != std::string::npos)
        return Name;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size())
    {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + Name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

} // namespace orb::platform::posix
