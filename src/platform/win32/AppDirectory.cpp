#include "platform/AppDirectory.h"

#include "platform/Environment.h"
#include "platform/Paths.h"
#include "platform/win32/Win32Util.h"

#include <shlobj.h>

namespace orb::platform
{

std::filesystem::path RoamingAppDataFolder()
{
    // %APPDATA% as the user's session sets it (and as a test or a portable set-up may move it); the shell's
    // folder when it is missing or not absolute.
    if (auto value = GetEnvironmentValue("APPDATA"))
    {
        std::filesystem::path folder = Utf8ToPath(*value);
        if (folder.is_absolute())
            return folder;
    }
    wchar_t buffer[MAX_PATH];
    HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer);
    if (FAILED(hr))
        throw EOSError(static_cast<int>(hr), win32::ErrorText(static_cast<DWORD>(hr)));
    return std::filesystem::path(buffer);
}

} // namespace orb::platform
