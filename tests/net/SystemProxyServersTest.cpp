#include "net/HTTPDataProvider.h"
#include "net/ProxySettings.h"
#include "platform/Environment.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

namespace orb
{
namespace
{

using platform::RemoveEnvironmentValue;
using platform::SetEnvironmentValue;

const char* const ProxyVariables[] = {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "no_proxy", "NO_PROXY"};

/// The desktop's proxy settings as the environment gives them, for one test; the run's prompt counts its calls.
class SystemProxy : public ::testing::Test
{
protected:
    test::TFixtureServer Origin;
    test::TTinyProxy Proxy{"proxyuser", "proxypass"};
    int Prompts = 0;
    std::optional<TProxyCredentials> Given = TProxyCredentials{"proxyuser", "proxypass"};

    void SetUp() override
    {
        ForgetSystemProxyCredentials();
        SetProxyCredentialsPrompt([this](const std::string&) {
            ++Prompts;
            return Given;
        });
    }
    void TearDown() override
    {
        SetProxyCredentialsPrompt(nullptr);
        ForgetSystemProxyCredentials();
        for (const char* name : ProxyVariables)
            RemoveEnvironmentValue(name);
    }
    void SetSystemProxy(const std::string& Proxy, const std::string& NoProxy)
    {
        for (const char* name : {"http_proxy", "https_proxy"})
            SetEnvironmentValue(name, Proxy);
        SetEnvironmentValue("no_proxy", NoProxy);
    }
    std::string TinyProxy() const { return "http://127.0.0.1:" + std::to_string(Proxy.Port()); }

    /// Fetches Path of the origin named Host through a provider set to the system's proxy; the body and whether
    /// the proxy forwarded it.
    std::pair<std::string, bool> Fetch(const std::string& Host, const std::string& Path)
    {
        THTTPDataProvider provider;
        UseProxy(
            provider,
            TProxySettings{
                .Enabled = true, .Server = "manual.invalid", .Port = 1, .Login = "", .Password = "", .System = true});
        provider.URL.SetURL("http://" + Host + ":" + std::to_string(Origin.Port()) + Path);
        std::string data;
        provider.GetString(data);
        const auto requests = Origin.Requests();
        const bool viaProxy =
            !requests.empty() &&
            test::TFixtureServer::Header(requests.back(), "Via").find("tinyproxy") != std::string::npos;
        return {data, viaProxy};
    }
};

TEST_F(SystemProxy, EachAddressTakesTheEnvironmentsProxyAndNoProxyIsHonoured)
{
    Origin.Answer("/cfg", nlohmann::json{{"body", "config"}});
    SetSystemProxy(TinyProxy(), "localhost");
    // The configuration, update, registration and password addresses all go through the same provider set-up.
    EXPECT_EQ(Fetch("127.0.0.1", "/cfg"), std::make_pair(std::string("config"), true));
    EXPECT_EQ(Fetch("localhost", "/cfg"), std::make_pair(std::string("config"), false));
    // The proxy's 407 asked once; the second request through it reused the answer.
    EXPECT_EQ(Fetch("127.0.0.1", "/cfg"), std::make_pair(std::string("config"), true));
    EXPECT_EQ(Prompts, 1);
}

TEST_F(SystemProxy, APacFileNamesTheProxyOfEachHost)
{
    test::TFixtureServer pacServer;
    pacServer.Answer("/proxy.pac", nlohmann::json{{"body", "function FindProxyForURL(url, host) {"
                                                           " if (host == \"localhost\") return \"DIRECT\";"
                                                           " return \"PROXY " +
                                                               TinyProxy().substr(7) + "\"; }"}});
    Origin.Answer("/cfg", nlohmann::json{{"body", "config"}});
    SetSystemProxy("pac+" + pacServer.URL("/proxy.pac"), "");
    EXPECT_EQ(Fetch("127.0.0.1", "/cfg"), std::make_pair(std::string("config"), true));
    EXPECT_EQ(Fetch("localhost", "/cfg"), std::make_pair(std::string("config"), false));
}

TEST_F(SystemProxy, RefusedOrMissingCredentialsEndInTheProxysErrorAfterOneQuestion)
{
    Origin.Answer("/cfg", nlohmann::json{{"body", "config"}});
    SetSystemProxy(TinyProxy(), "");
    // tinyproxy refuses wrong credentials with 401, missing ones with 407.
    const std::pair<std::optional<TProxyCredentials>, int> cases[] = {{TProxyCredentials{"proxyuser", "wrong"}, 401},
                                                                      {std::nullopt, 407}};
    for (const auto& [answer, refusal] : cases)
    {
        ForgetSystemProxyCredentials();
        Prompts = 0;
        Given = answer;
        for (int request = 0; request < 2; ++request)
        {
            try
            {
                Fetch("127.0.0.1", "/cfg");
                FAIL() << "the proxy let a request through without valid credentials";
            }
            catch (const EHTTPProtocolException& error)
            {
                EXPECT_EQ(error.ErrorCode, refusal) << error.Message;
            }
        }
        EXPECT_EQ(Prompts, 1);
    }
    EXPECT_TRUE(Origin.Requests().empty());
}

TEST_F(SystemProxy, TheManualProxyAndNoProxyIgnoreTheEnvironment)
{
    Origin.Answer("/cfg", nlohmann::json{{"body", "config"}});
    SetSystemProxy("http://127.0.0.1:1", "");
    THTTPDataProvider provider;
    UseProxy(provider, TProxySettings{});
    provider.URL.SetURL(Origin.URL("/cfg"));
    std::string data;
    provider.GetString(data);
    EXPECT_EQ(data, "config");
    UseProxy(provider, TProxySettings{.Enabled = true,
                                      .Server = "127.0.0.1",
                                      .Port = Proxy.Port(),
                                      .Login = "proxyuser",
                                      .Password = "proxypass"});
    provider.GetString(data);
    EXPECT_EQ(data, "config");
    EXPECT_EQ(Prompts, 0);
}

} // namespace
} // namespace orb
