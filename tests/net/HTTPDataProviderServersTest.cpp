#include "net/HTTPDataProvider.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

namespace orb
{
namespace
{

using test::TNginxOptions;
using test::TNginxServer;
using test::TTinyProxy;

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
