// Every C++ throw of the process passes through here, so the call stack can be captured at the moment an
// exception is raised, in whichever thread raises it. This file includes no C++ header on purpose: the
// runtime's own declaration of __cxa_throw uses std::type_info, and redefining it must not clash with it.

#include <dlfcn.h>

#if defined(__SANITIZE_ADDRESS__)
#define ORB_WITH_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORB_WITH_ASAN 1
#endif
#endif

#ifdef ORB_WITH_ASAN
// AddressSanitizer's own __cxa_throw interceptor is bypassed when its runtime is linked statically (clang):
// do its work here, so that the stack areas left by the unwinding are not reported later.
extern "C" void __asan_handle_no_return(void);
#endif

/// Records the calling thread's stack for a thrown object; defined beside the call-stack functions.
extern "C" void OrbRecordThrow(void* ExceptionObject, void* ThrowSite);

/// Present in every program that links the capture, so that the hook cannot be left out by the linker.
extern "C" {
int OrbThrowHookPresent = 1;
}

namespace
{

using TCxaThrow = void (*)(void*, void*, void (*)(void*));

// Set while this thread records a stack: a throw inside the recording must not record again.
thread_local bool tlsRecording = false;

TCxaThrow RealThrow()
{
    static TCxaThrow real = reinterpret_cast<TCxaThrow>(dlsym(RTLD_NEXT, "__cxa_throw"));
    return real;
}

} // namespace

extern "C" [[noreturn]] void __cxa_throw(void* ExceptionObject, void* TypeInfo, void (*Destructor)(void*))
{
    if (!tlsRecording)
    {
        tlsRecording = true;
        OrbRecordThrow(ExceptionObject, __builtin_return_address(0));
        tlsRecording = false;
    }
#ifdef ORB_WITH_ASAN
    __asan_handle_no_return();
#endif
    TCxaThrow real = RealThrow();
    if (!real)
        __builtin_trap();
    real(ExceptionObject, TypeInfo, Destructor);
    __builtin_unreachable();
}
