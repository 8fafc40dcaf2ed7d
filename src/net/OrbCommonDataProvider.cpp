#include "net/OrbCommonDataProvider.h"

#include "exception_dialog/Worker.h"

namespace orb
{

void TEvent::SetEvent()
{
    std::lock_guard lock(FLock);
    FSignalled = true;
    FChanged.notify_all();
}

void TEvent::ResetEvent()
{
    std::lock_guard lock(FLock);
    FSignalled = false;
}

bool TEvent::WaitFor(int TimeoutMs)
{
    std::unique_lock lock(FLock);
    if (TimeoutMs < 0)
    {
        FChanged.wait(lock, [this] { return FSignalled; });
        return true;
    }
    return FChanged.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [this] { return FSignalled; });
}

TOrbCommonDataProvider::TOrbCommonDataProvider()
{
    FThread = std::thread([this] { Execute(); });
    SuspendEvent.WaitFor();
}

TOrbCommonDataProvider::~TOrbCommonDataProvider()
{
    StopWorker();
}

void TOrbCommonDataProvider::StopWorker()
{
    if (!FThread.joinable())
        return;
    FTerminated = true;
    if (!IsSuspended)
        HTTP.Abort();
    ResumeEvent.SetEvent();
    if (FThread.get_id() == std::this_thread::get_id())
        FThread.detach();
    else
        FThread.join();
}

void TOrbCommonDataProvider::Abort()
{
    HTTP.Abort();
}

void TOrbCommonDataProvider::FetchData(std::string& Data)
{
    for (int attempt = 1;; ++attempt)
    {
        try
        {
            HTTP.GetString(Data);
            return;
        }
        catch (...)
        {
            if (attempt >= AttemptsForRequest)
                throw;
        }
    }
}

void TOrbCommonDataProvider::ExecuteRequest()
{
    RaisedException = nullptr;
}

void TOrbCommonDataProvider::StartRequest()
{
    IsSuspended = false;
    SuspendEvent.ResetEvent();
    ResumeEvent.SetEvent();
}

void TOrbCommonDataProvider::Park()
{
    ResumeEvent.ResetEvent();
    IsSuspended = true;
    SuspendEvent.SetEvent();
    // A stop that signalled the event before the reset above would otherwise be lost; it always sets the flag
    // first, so either the flag is seen here or the event is signalled after the reset.
    if (FTerminated)
        return;
    ResumeEvent.WaitFor();
}

void TOrbCommonDataProvider::Execute()
{
    Park();
    while (!FTerminated)
    {
        try
        {
            ExecuteRequest();
        }
        catch (...)
        {
            RaisedException = CaptureCurrentException();
        }
        if (FIsAsynchronous)
        {
            // Free-on-terminate: the object ends with its only request.
            FTerminated = true;
            FThread.detach();
            delete this;
            return;
        }
        Park();
    }
}

} // namespace orb
