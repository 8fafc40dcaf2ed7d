#include "platform/SystemProxy.h"

#include "platform/Environment.h"

#include <gtest/gtest.h>

using namespace orb::platform;

// The desktop's proxy comes from the environment (and PAC files) through libproxy; on Windows it is the user's
// Internet settings, which a test cannot set here.
#ifndef _WIN32

namespace
{

/// Sets the proxy variables for one case and removes them afterwards.
struct TProxyEnvironment
{
    TProxyEnvironment(const std::string& Proxy, const std::string& NoProxy)
    {
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
            SetEnvironmentValue(name, Proxy);
        SetEnvironmentValue("no_proxy", NoProxy);
    }
    ~TProxyEnvironment()
    {
        for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "no_proxy"})
            RemoveEnvironmentValue(name);
    }
};

} // namespace

TEST(SystemProxy, EachAddressTakesTheProxyTheEnvironmentNames)
{
    const TProxyEnvironment environment("http://127.0.0.1:3128", "skip.example,localhost");
    const struct
    {
        std::string Url;
        std::string Expected;
    } cases[] = {
        {"http://config.example/settings.xml", "http://127.0.0.1:3128"},
        {"https://update.example/index.xml", "http://127.0.0.1:3128"},
        {"https://skip.example/register", ""},
        {"http://localhost:8080/password", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SystemProxyFor(c.Url), c.Expected) << c.Url;
}

#endif
