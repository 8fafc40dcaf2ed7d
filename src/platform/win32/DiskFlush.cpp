#include "platform/DiskFlush.h"

#include "platform/Paths.h"
#include "platform/win32/Win32Util.h"

namespace orb::platform
{

void FlushToDisk(const std::filesystem::path& Dir)
{
    // Flushing a whole volume needs administrator rights, so each file is flushed on its own.
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
    {
        if (!it->is_regular_file(ec))
            continue;
        HANDLE h = CreateFileW(it->path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            win32::RaiseLastOSError("\r\nPath: " + PathToUtf8(it->path()));
        BOOL flushed = FlushFileBuffers(h);
        DWORD code = GetLastError();
        CloseHandle(h);
        if (!flushed)
        {
            SetLastError(code);
            win32::RaiseLastOSError("\r\nPath: " + PathToUtf8(it->path()));
        }
    }
    if (ec)
        throw EOSError(ec.value(), ec.message() + "\r\nPath: " + PathToUtf8(Dir));
}

} // namespace orb::platform
