#include "platform/SystemProxy.h"

#include <windows.h>
#include <winhttp.h>

namespace orb::platform
{

std::string SystemProxyFor(const std::string& Url)
{
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&config))
        return {};
    std::string result;
    if (config.lpszProxy)
    {
        const int size = WideCharToMultiByte(CP_UTF8, 0, config.lpszProxy, -1, nullptr, 0, nullptr, nullptr);
        std::string proxy(size > 0 ? size - 1 : 0, '\0');
        WideCharToMultiByte(CP_UTF8, 0, config.lpszProxy, -1, proxy.data(), size, nullptr, nullptr);
        result = "http://" + proxy;
        GlobalFree(config.lpszProxy);
    }
    if (config.lpszProxyBypass)
        GlobalFree(config.lpszProxyBypass);
    if (config.lpszAutoConfigUrl)
        GlobalFree(config.lpszAutoConfigUrl);
    (void)Url;
    return result;
}

} // namespace orb::platform
