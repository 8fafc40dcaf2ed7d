#include "platform/Console.h"

#include <csignal>
#include <cstdio>
#include <io.h>
#include <iostream>
#include <utility>
#include <windows.h>

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

/// Whether the stream is a console: _isatty also answers yes for every character device, the NUL device among
/// them, so a program started with its input from NUL would wait for a password nobody can type.
bool IsConsole(std::FILE* Stream)
{
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(Stream)));
    DWORD mode = 0;
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

} // namespace

bool IsStdinTerminal()
{
    return IsConsole(stdin);
}

bool IsStderrTerminal()
{
    return IsConsole(stderr);
}

std::string ReadHiddenLine()
{
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD saved = 0;
    const bool console = GetConsoleMode(input, &saved) != 0;
    if (console)
        SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::string line;
    std::getline(std::cin, line);
    if (console)
        SetConsoleMode(input, saved);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

void WatchInterrupts(std::function<void(int Signal)> OnInterrupt)
{
    Handler() = std::move(OnInterrupt);
    SetConsoleCtrlHandler(ConsoleCtrlHandler, TRUE);
}

} // namespace orb::platform
