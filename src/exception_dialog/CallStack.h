#pragma once

#include <exception>
#include <string>
#include <vector>

namespace orb
{

/// Return addresses of one call stack, innermost first; cheap to capture, resolved to text only on demand.
struct TCallStack
{
    std::vector<void*> Frames;
    bool Empty() const { return Frames.empty(); }
};

/// The stack captured when ExceptionObject was thrown in the calling thread; when that object is not known
/// (or is nullptr), the stack of the calling thread's latest throw; empty when the thread threw nothing.
TCallStack ThrownCallStack(const void* ExceptionObject = nullptr);

/// The stack captured for a caught exception (looked up by the exception object).
template <typename E> TCallStack ThrownCallStackOf(const E& Exception)
{
    return ThrownCallStack(dynamic_cast<const void*>(&Exception));
}

/// The calling thread's stack right now, starting at the caller.
TCallStack CaptureCallStack();

/// One location line: source unit, " => ", function, " => ", line number; empty when the address has no
/// known source unit.
std::string LocationLine(void* ReturnAddress);

/// The text of a stack: the first location line always (even when empty), the others where known, each
/// separated by CR LF.
std::string CallStackText(const TCallStack& Stack);

/// Raises a handed-over exception again in the calling thread, first recording the calling thread's stack
/// for it (std::rethrow_exception does not pass the throw hook).
[[noreturn]] void RethrowException(const std::exception_ptr& E);

/// Switches the capture at throws on or off (on by default); off leaves only the cost of the hook itself.
void EnableThrowCapture(bool Enabled);

/// True when the runtime's throw passes through this system's hook.
bool ThrowCaptureActive();

} // namespace orb
