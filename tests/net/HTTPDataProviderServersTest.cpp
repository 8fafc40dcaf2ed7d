#include "net/HTTPDataProvider.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace orb
{
namespace
{

using test::TNginxOptions;
using test::TNginxServer;
using test::TTinyProxy;
using test::TTLSDowngradeProxy;

std::string Fetch(THTTPDataProvider& Provider, const std::string& Address)
{
    Provider.URL.SetURL(Address);
    std::string data;
    Provider.GetString(data);
    return data;
}

std::string Https(const TNginxServer& Server, const std::string& Host, const std::string& Path)
{
    return "https://" + Host + ":" + std::to_string(Server.HttpsPort()) + Path;
}

TEST(HTTPDataProviderTLS, TrustsAServerOfTheConfiguredCAAndChecksItsName)
{
    TNginxServer server;
    server.WriteFile("index.xml", "<index/>");
    THTTPDataProvider provider;
    provider.HTTP_Client.CAFile = server.CAFile().string();
    EXPECT_EQ(Fetch(provider, Https(server, "localhost", "/index.xml")), "<index/>");

    // The certificate names localhost only: the same server reached by its address is refused.
    provider.URL.SetURL(Https(server, "127.0.0.1", "/index.xml"));
    std::string data;
    EXPECT_THROW(provider.GetString(data), ECertificateError);
}

TEST(HTTPDataProviderTLS, RefusesAServerOfAnUnknownCA)
{
    TNginxServer server;
    server.WriteFile("index.xml", "<index/>");
    THTTPDataProvider provider;
    provider.URL.SetURL(Https(server, "localhost", "/index.xml"));
    std::string data;
    try
    {
        provider.GetString(data);
        FAIL() << "an unverifiable server was accepted";
    }
    catch (const ECertificateError& error)
    {
        EXPECT_NE(error.Message.find("certificate could not be verified"), std::string::npos) << error.Message;
    }
    // The refusal is not a handshake failure: the protocol version stays as it was.
    EXPECT_EQ(provider.SSLVersion(), sslvTLSv1_2);
}

TEST(HTTPDataProviderTLS, TheCAFileGivenAtStartUpReachesNewProviders)
{
    TNginxServer server;
    server.WriteFile("a.txt", "A");
    SetDefaultCAFile(server.CAFile().string());
    THTTPDataProvider provider;
    SetDefaultCAFile("");
    EXPECT_EQ(Fetch(provider, Https(server, "localhost", "/a.txt")), "A");
}

TEST(HTTPDataProviderTLS, AMissingCAFileRefusesTheConnection)
{
    TNginxServer server;
    server.WriteFile("a.txt", "A");
    THTTPDataProvider provider;
    provider.HTTP_Client.CAFile = (server.Root() / "no-such-ca.pem").string();
    provider.URL.SetURL(Https(server, "localhost", "/a.txt"));
    std::string data;
    EXPECT_THROW(provider.GetString(data), ECertificateError);
}

TEST(HTTPDataProviderTLS, FallsBackToTLS10AndStaysThere)
{
    TNginxOptions options;
    options.Protocols = "TLSv1";
    options.Ciphers = "DEFAULT:@SECLEVEL=0";
    TNginxServer server(options);
    server.WriteFile("a.txt", "old server");
    THTTPDataProvider provider;
    provider.HTTP_Client.CAFile = server.CAFile().string();
    ASSERT_EQ(provider.SSLVersion(), sslvTLSv1_2);
    EXPECT_EQ(Fetch(provider, Https(server, "localhost", "/a.txt")), "old server");
    EXPECT_EQ(provider.SSLVersion(), sslvTLSv1);
    EXPECT_EQ(Fetch(provider, Https(server, "localhost", "/a.txt")), "old server");
    EXPECT_EQ(provider.SSLVersion(), sslvTLSv1);
}

TEST(HTTPDataProviderTLS, AHandshakeFailureUnderTLS10SwitchesBackTo12)
{
    TNginxOptions options;
    options.Protocols = "TLSv1.2 TLSv1.3";
    TNginxServer server(options);
    server.WriteFile("a.txt", "new server");
    THTTPDataProvider provider;
    provider.HTTP_Client.CAFile = server.CAFile().string();
    provider.SetSSLVersion(sslvTLSv1);
    EXPECT_EQ(Fetch(provider, Https(server, "localhost", "/a.txt")), "new server");
    EXPECT_EQ(provider.SSLVersion(), sslvTLSv1_2);
}

/// nginx speaking TLS 1.0 up to 1.3: only the fallback signal makes it refuse an old hello.
TNginxOptions EveryTLSVersion()
{
    TNginxOptions options;
    options.Protocols = "TLSv1 TLSv1.1 TLSv1.2 TLSv1.3";
    options.Ciphers = "DEFAULT:@SECLEVEL=0";
    return options;
}

/// nginx speaking TLS 1.0 only, as an old broker server does.
TNginxOptions OnlyTLS10()
{
    TNginxOptions options;
    options.Protocols = "TLSv1";
    options.Ciphers = "DEFAULT:@SECLEVEL=0";
    return options;
}

/// A hello as the downgrade relay saw it: the highest version offered, the fallback signal, relayed or reset.
using THello = std::tuple<std::string, bool, bool>;

std::vector<THello> HellosOf(const TTLSDowngradeProxy& Relay)
{
    std::vector<THello> hellos;
    for (const auto& hello : Relay.Hellos())
        hellos.emplace_back(hello["version"], hello["fallback_scsv"], hello["passed"]);
    return hellos;
}

TEST(HTTPDataProviderTLS, TheFallbackToTLS10SignalsItselfSoThatAForcedDowngradeIsRefused)
{
    const THello modern{"0x0304", false, false}; // TLS 1.2 or newer offered: reset by the relay
    const THello fallback{"0x0301", true, true}; // TLS 1.0 with the fallback signal: relayed
    const THello chosen{"0x0301", false, true};  // TLS 1.0 chosen by the owner, no signal: relayed
    struct TCase
    {
        const char* Name;
        TNginxOptions Server;
        bool ChooseTLS10;
        std::string Body;  // expected body, or "" when the request must fail
        std::string Error; // a part of the expected ESSLError
        std::vector<THello> Hellos;
        TSSLVersion VersionAfter;
    };
    const TCase cases[] = {
        {"an old server is reached through the fallback",
         OnlyTLS10(),
         false,
         "served",
         "",
         {modern, fallback},
         sslvTLSv1},
        {"a server speaking TLS 1.2 refuses the forced fallback",
         EveryTLSVersion(),
         false,
         "",
         "the server refused the fallback to an older TLS version because it speaks a newer one (inappropriate "
         "fallback)",
         {modern, fallback},
         sslvTLSv1},
        // The same server takes a TLS 1.0 hello without the signal: the signal, not the version, made it refuse.
        {"a version the owner chose sends no signal", EveryTLSVersion(), true, "served", "", {chosen}, sslvTLSv1},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        TNginxServer server(c.Server);
        server.WriteFile("a.txt", "served");
        TTLSDowngradeProxy relay(server.HttpsPort());
        THTTPDataProvider provider;
        provider.HTTP_Client.CAFile = server.CAFile().string();
        if (c.ChooseTLS10)
            provider.SetSSLVersion(sslvTLSv1);
        provider.URL.SetURL("https://localhost:" + std::to_string(relay.Port()) + "/a.txt");
        std::string data;
        try
        {
            provider.GetString(data);
            EXPECT_EQ(data, c.Body);
        }
        catch (const ESSLError& error)
        {
            EXPECT_TRUE(c.Body.empty()) << error.Message;
            EXPECT_NE(error.Message.find(c.Error), std::string::npos) << error.Message;
            EXPECT_NE(error.Message.find("stopped for safety"), std::string::npos) << error.Message;
        }
        EXPECT_EQ(HellosOf(relay), c.Hellos);
        EXPECT_EQ(provider.SSLVersion(), c.VersionAfter);
    }
}

TEST(HTTPDataProviderTLS, EveryHandshakeAfterTheFallbackSignalsItAndANewerServerNeverServesOverTLS10)
{
    const THello modern{"0x0304", false, false};
    const THello fallback{"0x0301", true, true};
    // nginx closes every connection after its answer, so that each request shakes hands anew.
    TNginxOptions old = OnlyTLS10();
    old.ServerDirectives = "keepalive_timeout 0;";
    TNginxOptions newer = EveryTLSVersion();
    newer.ServerDirectives = "keepalive_timeout 0;";

    {
        // The provider stays on TLS 1.0 for an old server, and each later hello still carries the signal.
        TNginxServer server(old);
        server.WriteFile("a.txt", "old server");
        TTLSDowngradeProxy relay(server.HttpsPort());
        THTTPDataProvider provider;
        provider.HTTP_Client.CAFile = server.CAFile().string();
        const std::string address = "https://localhost:" + std::to_string(relay.Port()) + "/a.txt";
        EXPECT_EQ(Fetch(provider, address), "old server");
        EXPECT_EQ(Fetch(provider, address), "old server");
        EXPECT_EQ(Fetch(provider, address), "old server");
        EXPECT_EQ(HellosOf(relay), (std::vector{modern, fallback, fallback, fallback}));
        EXPECT_EQ(provider.SSLVersion(), sslvTLSv1);
    }
    {
        // Against a newer server every request fails while the downgrade is forced; none falls back unsigned.
        TNginxServer server(newer);
        server.WriteFile("a.txt", "newer server");
        TTLSDowngradeProxy relay(server.HttpsPort());
        THTTPDataProvider provider;
        provider.HTTP_Client.CAFile = server.CAFile().string();
        provider.URL.SetURL("https://localhost:" + std::to_string(relay.Port()) + "/a.txt");
        for (int request = 0; request < 3; ++request)
        {
            std::string data;
            EXPECT_THROW(provider.GetString(data), ESSLError) << "request " << request;
        }
        // The second request starts on TLS 1.0 (the fallback stays in force), is refused, and retries TLS 1.2.
        EXPECT_EQ(HellosOf(relay), (std::vector{modern, fallback, fallback, modern, modern, fallback}));
    }
}

class HTTPDataProviderProxy : public ::testing::Test
{
protected:
    test::TFixtureServer Origin;
    TTinyProxy Proxy{"proxyuser", "proxypass"};

    void UseProxy(THTTPDataProvider& Provider, const std::string& User, const std::string& Password)
    {
        Provider.HTTP_Client.ProxyServer = "127.0.0.1";
        Provider.HTTP_Client.ProxyPort = Proxy.Port();
        Provider.HTTP_Client.ProxyUsername = User;
        Provider.HTTP_Client.ProxyPassword = Password;
    }
};

TEST_F(HTTPDataProviderProxy, RequestsGoThroughTheProxyWithTheUsersCredentials)
{
    Origin.Answer("/cfg", nlohmann::json{{"body", "via proxy"}});
    THTTPDataProvider provider;
    UseProxy(provider, "proxyuser", "proxypass");
    EXPECT_EQ(Fetch(provider, Origin.URL("/cfg")), "via proxy");
    ASSERT_EQ(Origin.Requests().size(), 1u);
    // tinyproxy names itself in the forwarded request.
    EXPECT_NE(test::TFixtureServer::Header(Origin.Requests()[0], "Via").find("tinyproxy"), std::string::npos);
}

TEST_F(HTTPDataProviderProxy, WrongOrMissingCredentialsFailClearly)
{
    Origin.Answer("/cfg", nlohmann::json{{"body", "via proxy"}});
    const std::pair<std::string, std::string> credentials[] = {{"proxyuser", "wrong"}, {"", ""}};
    for (const auto& [user, password] : credentials)
    {
        THTTPDataProvider provider;
        UseProxy(provider, user, password);
        provider.URL.SetURL(Origin.URL("/cfg"));
        std::string data;
        try
        {
            provider.GetString(data);
            FAIL() << "the proxy let a request through without valid credentials";
        }
        catch (const EHTTPProtocolException& error)
        {
            // tinyproxy refuses with 401 rather than 407.
            EXPECT_TRUE(error.ErrorCode == 401 || error.ErrorCode == 407) << error.Message;
        }
    }
    EXPECT_TRUE(Origin.Requests().empty());
}

TEST_F(HTTPDataProviderProxy, HttpsIsTunnelledThroughTheProxy)
{
    TNginxServer server;
    server.WriteFile("a.txt", "secure via proxy");
    THTTPDataProvider provider;
    provider.HTTP_Client.CAFile = server.CAFile().string();
    UseProxy(provider, "proxyuser", "proxypass");
    EXPECT_EQ(Fetch(provider, Https(server, "localhost", "/a.txt")), "secure via proxy");

    THTTPDataProvider refused;
    refused.HTTP_Client.CAFile = server.CAFile().string();
    UseProxy(refused, "proxyuser", "bad");
    refused.URL.SetURL(Https(server, "localhost", "/a.txt"));
    std::string data;
    try
    {
        refused.GetString(data);
        FAIL() << "the tunnel was opened without valid credentials";
    }
    catch (const EHTTPProtocolException& error)
    {
        // tinyproxy refuses with 401 rather than 407.
        EXPECT_TRUE(error.ErrorCode == 401 || error.ErrorCode == 407) << error.Message;
    }
}

} // namespace
} // namespace orb
