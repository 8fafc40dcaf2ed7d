#include "platform/FileVersion.h"

#include "platform/win32/Win32Util.h"

#include <vector>

namespace orb::platform
{

std::array<uint16_t, 4> ReadFileVersion(const std::filesystem::path& FileName)
{
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(FileName.c_str(), &handle);
    if (size == 0)
        win32::RaiseLastOSError();
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(FileName.c_str(), 0, size, data.data()))
        win32::RaiseLastOSError();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info)
        win32::RaiseLastOSError();
    void* translation = nullptr;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translation, &length))
        win32::RaiseLastOSError();
    return {HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
            LOWORD(info->dwFileVersionLS)};
}

} // namespace orb::platform
