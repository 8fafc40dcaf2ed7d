#pragma once

#include <functional>
#include <string>

namespace orb::platform
{

/// True when standard input is an interactive terminal.
bool IsStdinTerminal();
/// True when standard error is an interactive terminal (progress bars can be redrawn in place).
bool IsStderrTerminal();

/// Reads one line from standard input (a terminal), not echoed while it is typed; the line end is dropped.
std::string ReadHiddenLine();

/// Delivers the interrupt and termination requests (Ctrl+C, SIGTERM; Ctrl+Break and console close on
/// Windows) to OnInterrupt on a thread of their own, with the signal number. Call it before any other thread
/// starts, so that every later thread inherits the blocked signals. OnInterrupt may be called more than once.
void WatchInterrupts(std::function<void(int Signal)> OnInterrupt);

} // namespace orb::platform
