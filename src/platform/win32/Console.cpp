#include "platform/Console.h"

#include <windows.h>

#include <csignal>
#include <cstdio>
#include <io.h>
#include <utility>

namespace orb::platform
{

namespace
{

std::function<void(int)>& Handler()
{
    static std::function<void(int)> handler;
    return handler;
}

BOOL WINAPI ConsoleCtrlHandler(DWORD CtrlType)
{
    // The system calls this on a thread of its own, as the POSIX watcher does.
    if (Handler())
        Handler()(CtrlType == CTRL_C_EVENT ? SIGINT : SIGTERM);
    return TRUE;
}

} // namespace

bool IsStdinTerminal()
{
    return _isatty(_fileno(stdin)) != 0;
}

bool IsStderrTerminal()
{
    return _isatty(_fileno(stderr)) != 0;
}

void WatchInterrupts(std::function<void(int Signal)> OnInterrupt)
{
    Handler() = std::move(OnInterrupt);
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
}

} // namespace orb::platform
