#pragma once

#include "net/HTTPDataProvider.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace orb
{

/// A manual-reset event: stays signalled until reset.
class TEvent
{
public:
    /// Signals the event and wakes every waiter.
    void SetEvent();
    /// Clears the signal.
    void ResetEvent();
    /// Waits until the event is signalled; false when TimeoutMs (negative: no limit) passed first.
    bool WaitFor(int TimeoutMs = -1);

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FSignalled = false;
};

/// A request object with its own HTTP provider and a worker thread that stays parked until a request is handed
/// to it; the launcher itself runs its requests synchronously through the progress runner.
class TOrbCommonDataProvider
{
public:
    /// Starts the worker and returns once it has parked.
    TOrbCommonDataProvider();
    /// Stops the parked worker without running another request (a request in progress is aborted first).
    virtual ~TOrbCommonDataProvider();
    TOrbCommonDataProvider(const TOrbCommonDataProvider&) = delete;
    TOrbCommonDataProvider& operator=(const TOrbCommonDataProvider&) = delete;

    /// Cancels the request in progress; callable from any thread.
    virtual void Abort();
    /// Runs HTTP.GetString up to AttemptsForRequest times; the last attempt's failure propagates.
    virtual void FetchData(std::string& Data);
    /// Runs one request; the base version only forgets the last failure.
    virtual void ExecuteRequest();

    /// Hands one request to the worker and returns at once; SuspendEvent is signalled when it is done.
    void StartRequest();

    /// When true the object frees itself after its worker ran one request (only for objects made with new).
    bool IsAsynchronous() const { return FIsAsynchronous; }
    /// Sets IsAsynchronous.
    void SetIsAsynchronous(bool Value) { FIsAsynchronous = Value; }

    /// True while the worker is parked waiting for a request.
    std::atomic<bool> IsSuspended{false};
    /// Signalled to let the parked worker run one request.
    TEvent ResumeEvent;
    /// Signalled by the worker when it has parked.
    TEvent SuspendEvent;
    /// The failure of the last request run by the worker; null when it succeeded.
    std::exception_ptr RaisedException;
    /// Number of attempts per request.
    int AttemptsForRequest = 1;
    /// The HTTP provider that performs the requests.
    THTTPDataProvider HTTP;

protected:
    /// Ends the worker (aborting a running request) and waits for it; derived destructors call it first so that
    /// the worker never runs into a half-destroyed object.
    void StopWorker();

private:
    void Execute();
    void Park();

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FIsAsynchronous{false};
};

} // namespace orb
