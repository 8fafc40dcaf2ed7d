#include "platform/AppDirectory.h"

#include "platform/win32/Win32Util.h"

#include <shlobj.h>

namespace orb::platform
{

std::filesystem::path RoamingAppDataFolder()
{
    wchar_t buffer[MAX_PATH];
    HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(hr))
        throw EOSError(static_cast<int>(hr), win32::ErrorText(static_cast<DWORD>(hr)));
    return std::filesystem::path(buffer);
}

} // namespace orb::platform
