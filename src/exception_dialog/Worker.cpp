#include "exception_dialog/Worker.h"

#include "base/Views.h"
#include "exception_dialog/SmartException.h"

#include <utility>

namespace orb
{

namespace
{

std::atomic<int> gRunningDetachedWorkers{0};

/// Runs Work and returns its failure, call stack saved; null when it succeeded.
std::exception_ptr RunCaptured(const std::function<void()>& Work)
{
    try
    {
        Work();
    }
    catch (...)
    {
        return CaptureCurrentException();
    }
    return nullptr;
}

} // namespace

std::exception_ptr CaptureCurrentException()
{
    std::exception_ptr current = std::current_exception();
    try
    {
        std::rethrow_exception(current);
    }
    catch (const std::exception& error)
    {
        SaveExceptionCallStack(error);
    }
    catch (...)
    {
        // Not an exception class: no stack was recorded for it.
    }
    return current;
}

TWorker::~TWorker()
{
    WaitFor();
}

void TWorker::Start(std::function<void()> Work, std::function<void()> HandOver)
{
    WaitFor();
    RaisedException = nullptr;
    FThread = std::thread([this, work = std::move(Work), handOver = std::move(HandOver)] {
        if (std::exception_ptr failure = RunCaptured(work))
            RaisedException = failure;
        if (!handOver)
            return;
        // The last action: the owner usually leaves its modal wait here and then waits for this thread.
        std::exception_ptr failure = RunCaptured([&] { MainThread().Synchronize(handOver); });
        if (failure && !RaisedException)
            RaisedException = failure;
    });
}

void TWorker::WaitFor()
{
    if (FThread.joinable())
        FThread.join();
}

void StartDetachedWorker(std::function<void()> Work, std::function<void(std::exception_ptr)> HandOver,
                         std::function<bool()> Wanted)
{
    ++gRunningDetachedWorkers;
    try
    {
        std::thread([work = std::move(Work), handOver = std::move(HandOver), wanted = std::move(Wanted)]() mutable {
            std::exception_ptr failure = RunCaptured(work);
            if (handOver && (!wanted || wanted()))
            {
                try
                {
                    MainThread().Synchronize([&] { handOver(failure); });
                }
                catch (...)
                {
                    // No user-interface thread to hand over to (or the hand-over failed there): nobody waits for it.
                }
            }
            work = nullptr;
            handOver = nullptr;
            wanted = nullptr;
            failure = nullptr;
            --gRunningDetachedWorkers;
        }).detach();
    }
    catch (...)
    {
        --gRunningDetachedWorkers;
        throw;
    }
}

int RunningDetachedWorkers()
{
    return gRunningDetachedWorkers;
}

} // namespace orb
