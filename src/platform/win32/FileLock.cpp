#include "platform/FileLock.h"

#include "platform/Paths.h"
#include "platform/win32/Win32Util.h"

namespace orb::platform
{

TFileLock::~TFileLock()
{
    Unlock();
}

TFileLock::TFileLock(TFileLock&& Other) noexcept : FHandle(Other.FHandle)
{
    Other.FHandle = InvalidHandle;
}

TFileLock& TFileLock::operator=(TFileLock&& Other) noexcept
{
    if (this != &Other)
    {
        Unlock();
        FHandle = Other.FHandle;
        Other.FHandle = InvalidHandle;
    }
    return *this;
}

bool TFileLock::TryLock(const std::filesystem::path& Path)
{
    Unlock();
    // Not inheritable (no security attributes): a started client must not keep the lock.
    HANDLE h = CreateFileW(Path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        win32::RaiseLastOSError("\r\nPath: " + PathToUtf8(Path));
    // The system releases the lock when the handle is closed or the process ends.
    OVERLAPPED whole{};
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole))
    {
        DWORD code = GetLastError();
        CloseHandle(h);
        if (code == ERROR_LOCK_VIOLATION)
            return false;
        SetLastError(code);
        win32::RaiseLastOSError("\r\nPath: " + PathToUtf8(Path));
    }
    FHandle = reinterpret_cast<std::intptr_t>(h);
    return true;
}

void TFileLock::Unlock()
{
    if (FHandle != InvalidHandle)
    {
        CloseHandle(reinterpret_cast<HANDLE>(FHandle));
        FHandle = InvalidHandle;
    }
}

} // namespace orb::platform
