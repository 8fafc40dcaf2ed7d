#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <thread>

namespace orb
{

/// The exception being handled, with the stack it was thrown with kept for the next report; call it only inside a
/// catch block of a worker thread.
std::exception_ptr CaptureCurrentException();

/// A worker thread that its owner waits for: runs one piece of work, keeps its failure (with the call stack) for the
/// user-interface thread, and ends with an optional hand-over run on the user-interface thread.
/// A class that derives from it must call WaitFor in its own destructor when the work uses its members.
class TWorker
{
public:
    TWorker() = default;
    /// Waits for the thread's end.
    ~TWorker();
    TWorker(const TWorker&) = delete;
    TWorker& operator=(const TWorker&) = delete;

    /// Runs Work on a new thread. A failure of Work is kept in RaisedException with its call stack saved (Work may
    /// also set RaisedException itself and return). Then, as the thread's last action, HandOver (unless empty) runs on
    /// the user-interface thread through MainThread().Synchronize; its failure is kept when Work succeeded.
    void Start(std::function<void()> Work, std::function<void()> HandOver = {});
    /// Waits until the thread has ended; returns at once when it was never started.
    void WaitFor();
    /// Asks the work to stop at its next check.
    void Terminate() { FTerminated = true; }
    /// True once Terminate was called.
    bool Terminated() const { return FTerminated; }

    /// The failure of the work, with its call stack saved; null when it succeeded. Read it after WaitFor.
    std::exception_ptr RaisedException;

private:
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};

/// Runs Work on a thread nobody waits for. When it ends, HandOver runs on the user-interface thread with the failure
/// of Work (call stack saved) or null, unless Wanted (asked first, on the worker) says nobody is left to take it; a
/// missing user-interface thread drops the hand-over too. Both functions are destroyed before the worker counts as
/// ended, so what they hold is released by then.
void StartDetachedWorker(std::function<void()> Work, std::function<void(std::exception_ptr)> HandOver,
                         std::function<bool()> Wanted = {});
/// The number of detached workers still running.
int RunningDetachedWorkers();

} // namespace orb
