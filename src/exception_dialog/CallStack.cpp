#include "exception_dialog/CallStack.h"

#include <boost/stacktrace.hpp>

#include <atomic>
#include <filesystem>
#include <mutex>

extern "C" int OrbThrowHookPresent;

namespace
{

constexpr unsigned kMaxFrames = 62;
constexpr unsigned kRecords = 4;

/// One throw as the hook recorded it; plain data, so that the thread-local storage needs no constructor.
struct TThrowRecord
{
    const void* Object;
    unsigned Count;
    void* Frames[kMaxFrames + 1];
};

/// The latest throws of one thread, in a ring.
struct TThreadRecords
{
    TThrowRecord Items[kRecords];
    unsigned Next;
};

thread_local TThreadRecords tlsRecords;
std::atomic<bool> gCaptureEnabled{true};

// Symbol resolution keeps state in the backtrace library; one resolver at a time.
std::mutex gResolveLock;

/// Stores frames as the calling thread's newest throw record.
void StoreRecord(const void* ExceptionObject, void* const* Frames, std::size_t Count)
{
    auto& records = tlsRecords;
    auto& record = records.Items[records.Next % kRecords];
    record.Count = 0;
    for (std::size_t i = 0; i < Count && record.Count < kMaxFrames; ++i)
        record.Frames[record.Count++] = Frames[i];
    record.Object = ExceptionObject;
    ++records.Next;
}

} // namespace

/// Called by the throw hook in the throwing thread: keeps the return addresses, resolves nothing.
extern "C" __attribute__((noinline)) void OrbRecordThrow(void* ExceptionObject, void* ThrowSite)
{
    if (!gCaptureEnabled.load(std::memory_order_relaxed))
        return;
    void* frames[kMaxFrames + 8];
    std::size_t count = boost::stacktrace::safe_dump_to(0, frames, sizeof frames);
    // Drop the frames of the capture itself: the stack starts where the throw was written.
    std::size_t first = 0;
    while (first < count && frames[first] != ThrowSite)
        ++first;
    if (first == count)
        StoreRecord(ExceptionObject, &ThrowSite, 1);
    else
        StoreRecord(ExceptionObject, frames + first, count - first);
}

namespace orb
{

TCallStack ThrownCallStack(const void* ExceptionObject)
{
    const auto& records = tlsRecords;
    TCallStack stack;
    if (records.Next == 0)
        return stack;
    const TThrowRecord* found = nullptr;
    const unsigned available = records.Next < kRecords ? records.Next : kRecords;
    for (unsigned i = 1; i <= available && ExceptionObject; ++i)
    {
        const auto& r = records.Items[(records.Next - i) % kRecords];
        if (r.Object == ExceptionObject)
        {
            found = &r;
            break;
        }
    }
    if (!found)
        found = &records.Items[(records.Next - 1) % kRecords];
    stack.Frames.assign(found->Frames, found->Frames + found->Count);
    return stack;
}

TCallStack CaptureCallStack()
{
    void* frames[kMaxFrames + 1];
    std::size_t count = boost::stacktrace::safe_dump_to(1, frames, sizeof frames);
    TCallStack stack;
    stack.Frames.assign(frames, frames + count);
    return stack;
}

std::string LocationLine(void* ReturnAddress)
{
    if (!ReturnAddress)
        return {};
    // A return address points after the call; one byte back lies inside the calling line.
    auto address = static_cast<boost::stacktrace::frame::native_frame_ptr_t>(static_cast<char*>(ReturnAddress) - 1);
    boost::stacktrace::frame frame(address);
    std::string file;
    std::string function;
    std::size_t line = 0;
    {
        std::lock_guard lock(gResolveLock);
        file = frame.source_file();
        if (file.empty())
            return {};
        function = frame.name();
        line = frame.source_line();
    }
    // Optimised builds name split or specialised copies "f() [clone .isra.0] [clone .cold]": show f().
    for (auto at = function.find(" [clone "); at != std::string::npos; at = function.find(" [clone ", at))
    {
        auto close = function.find(']', at);
        function.erase(at, close == std::string::npos ? std::string::npos : close + 1 - at);
    }
    return std::filesystem::path(file).filename().string() + " => " + function + " => " + std::to_string(line);
}

std::string CallStackText(const TCallStack& Stack)
{
    std::string text;
    for (std::size_t i = 0; i < Stack.Frames.size(); ++i)
    {
        std::string line = LocationLine(Stack.Frames[i]);
        if (i == 0)
            text = line;
        else if (!line.empty())
            text += "\r\n" + line;
    }
    return text;
}

__attribute__((noinline)) void RethrowException(const std::exception_ptr& E)
{
    const void* object = nullptr;
    try
    {
        std::rethrow_exception(E);
    }
    catch (const std::exception& e)
    {
        object = dynamic_cast<const void*>(&e);
    }
    catch (...)
    {}
    if (gCaptureEnabled.load(std::memory_order_relaxed))
    {
        // The stack starts where the rethrow was written, as for a throw.
        void* site = __builtin_return_address(0);
        void* frames[kMaxFrames + 8];
        std::size_t count = boost::stacktrace::safe_dump_to(0, frames, sizeof frames);
        std::size_t first = 0;
        while (first < count && frames[first] != site)
            ++first;
        if (first == count)
            StoreRecord(object, &site, 1);
        else
            StoreRecord(object, frames + first, count - first);
    }
    std::rethrow_exception(E);
}

void EnableThrowCapture(bool Enabled)
{
    gCaptureEnabled.store(Enabled, std::memory_order_relaxed);
}

bool ThrowCaptureActive()
{
    static const bool active = [] {
        if (!OrbThrowHookPresent)
            return false;
        const unsigned before = tlsRecords.Next;
        const bool enabled = gCaptureEnabled.exchange(true);
        try
        {
            throw 0;
        }
        catch (int)
        {}
        gCaptureEnabled.store(enabled);
        return tlsRecords.Next != before;
    }();
    return active;
}

} // namespace orb
