#include "platform/SystemProxy.h"

#include <cstdlib>
#include <mutex>
#include <proxy.h>

namespace orb::platform
{

namespace
{

/// One factory for the process: libproxy reads the configuration sources once and its factory is not
/// safe to share between threads.
std::mutex FactoryLock;

pxProxyFactory* Factory()
{
    static pxProxyFactory* factory = px_proxy_factory_new();
    return factory;
}

} // namespace

std::string SystemProxyFor(const std::string& Url)
{
    std::lock_guard guard(FactoryLock);
    pxProxyFactory* factory = Factory();
    if (!factory)
        return {};
    char** proxies = px_proxy_factory_get_proxies(factory, Url.c_str());
    if (!proxies)
        return {};
    std::string result;
    for (char** p = proxies; *p && result.empty(); ++p)
    {
        const std::string proxy = *p;
        if (proxy.rfind("direct://", 0) == 0)
            break;
        // Only HTTP proxies are used; libcurl is told the scheme so that a SOCKS entry is never taken for one.
        if (proxy.rfind("http://", 0) == 0)
            result = proxy;
    }
    px_proxy_factory_free_proxies(proxies);
    return result;
}

} // namespace orb::platform
