#include "platform/Console.h"

#include <pthread.h>
#include <signal.h>
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

void WatchInterrupts(std::function<void(int Signal)> OnInterrupt)
{
    // The signals are blocked in this thread and every thread started after it, and taken by sigwait on the
    // watcher, so the handler can do anything a normal thread can (no async-signal-safety limits).
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread(
        [signals, OnInterrupt = std::move(OnInterrupt)]
        {
            for (;;)
            {
                int signal = 0;
                if (sigwait(&signals, &signal) == 0)
                    OnInterrupt(signal);
            }
        })
        .detach();
}

} // namespace orb::platform
