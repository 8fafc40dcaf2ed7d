#include "base/Views.h"

#include "base/Exceptions.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace orb
{

namespace
{

std::atomic<IMainThread*> GMainThread{nullptr};
std::atomic<IDialogs*> GDialogs{nullptr};
std::atomic<IModalWait*> GModalWait{nullptr};
std::atomic<IUpdateProgress*> GUpdateProgress{nullptr};

template <typename T> T& Installed(const std::atomic<T*>& View, const char* Name)
{
    T* view = View.load();
    if (view == nullptr)
        throw Exception(std::string("No ") + Name + " view is installed");
    return *view;
}

} // namespace

void InstallViews(const TViews& Views)
{
    GMainThread = Views.MainThread;
    GDialogs = Views.Dialogs;
    GModalWait = Views.ModalWait;
    GUpdateProgress = Views.UpdateProgress;
}

void ResetViews()
{
    InstallViews(TViews{});
}

IMainThread& MainThread()
{
    return Installed(GMainThread, "main thread");
}

IDialogs& Dialogs()
{
    return Installed(GDialogs, "dialogs");
}

IModalWait& ModalWait()
{
    return Installed(GModalWait, "modal wait");
}

IUpdateProgress& UpdateProgress()
{
    return Installed(GUpdateProgress, "update progress");
}

struct TQueuedMainThread::TState
{
    struct TTask
    {
        const std::function<void()>* Fn = nullptr;
        bool Done = false;
        std::exception_ptr Error;
    };

    std::thread::id Owner = std::this_thread::get_id();
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<TTask*> Queue;
    bool Woken = false;
};

TQueuedMainThread::TQueuedMainThread() : FState(std::make_unique<TState>()) {}

TQueuedMainThread::~TQueuedMainThread() = default;

void TQueuedMainThread::Synchronize(const std::function<void()>& Fn)
{
    if (std::this_thread::get_id() == FState->Owner)
    {
        Fn();
        return;
    }
    TState::TTask task;
    task.Fn = &Fn;
    std::unique_lock lock(FState->Lock);
    FState->Queue.push_back(&task);
    FState->Changed.notify_all();
    FState->Changed.wait(lock, [&] { return task.Done; });
    if (task.Error)
        std::rethrow_exception(task.Error);
}

void TQueuedMainThread::ProcessUntil(const std::function<bool()>& Done)
{
    std::unique_lock lock(FState->Lock);
    for (;;)
    {
        while (!FState->Queue.empty())
        {
            TState::TTask* task = FState->Queue.front();
            FState->Queue.pop_front();
            lock.unlock();
            try
            {
                (*task->Fn)();
            }
            catch (...)
            {
                task->Error = std::current_exception();
            }
            lock.lock();
            task->Done = true;
            FState->Changed.notify_all();
        }
        lock.unlock();
        const bool done = Done();
        lock.lock();
        if (done)
            return;
        FState->Changed.wait(lock, [&] { return !FState->Queue.empty() || FState->Woken; });
        FState->Woken = false;
    }
}

void TQueuedMainThread::Wake()
{
    std::lock_guard lock(FState->Lock);
    FState->Woken = true;
    FState->Changed.notify_all();
}

} // namespace orb
