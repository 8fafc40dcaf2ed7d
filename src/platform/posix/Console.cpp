#include "platform/Console.h"

#include <iostream>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace orb::platform
{

bool IsStdinTerminal()
{
    return ::isatty(STDIN_FILENO) != 0;
}

bool IsStderrTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

std::string ReadHiddenLine()
{
    termios saved{};
    const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal)
    {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal)
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

void WatchInterrupts(std::function<void(int Signal)> OnInterrupt)
{
    // The signals are blocked in this thread and every thread started after it, and taken by sigwait on the
    // watcher, so the handler can do anything a normal thread can (no async-signal-safety limits).
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, OnInterrupt = std::move(OnInterrupt)] {
        for (;;)
        {
            int signal = 0;
            if (sigwait(&signals, &signal) == 0)
                OnInterrupt(signal);
        }
    }).detach();
}

} // namespace orb::platform
