#include "registration/HttpClient.h"

#include "net/ProxySettings.h"
#include "platform/Environment.h"
#include "registration/RestConnection.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace orb
{
namespace
{

using nlohmann::json;

const std::string CutNote = "\r\n(answer cut after 65536 bytes)";

class HttpClientTest : public ::testing::Test
{
protected:
    test::TFixtureServer Server;
    THttpClient Client;

    /// The exception a POST to Address raises (fails the test when none).
    template <typename E> E Failure(const std::string& Address)
    {
        try
        {
            Client.Send("POST", Address, "{}");
        }
        catch (const E& error)
        {
            return error;
        }
        catch (const std::exception& other)
        {
            ADD_FAILURE() << "unexpected " << ExceptionClassName(other) << ": " << other.what();
            throw;
        }
        ADD_FAILURE() << "no error for " << Address;
        throw std::runtime_error("no error");
    }
};

TEST_F(HttpClientTest, AnswersAreHeldUpToTheLimitAndErrorBodiesAreCut)
{
    const std::string kept(MaxErrorBodySize, 'x');
    Server.Answer("/exact", json{{"size", MaxAnswerSize}});
    EXPECT_EQ(static_cast<std::int64_t>(Client.Send("POST", Server.URL("/exact"), "{}").Body.size()), MaxAnswerSize);

    Server.Answer("/big", json{{"size", 300 * 1024 * 1024}});
    EXPECT_EQ(Failure<EHTTPDataProvider>(Server.URL("/big")).Message,
              "The server's answer from " + Server.URL("/big") + " is larger than 64 MB; the request was stopped.");

    const std::pair<json, std::string> errors[] = {
        {{{"status", 500}, {"size", 200 * 1024 * 1024}}, kept + CutNote},
        {{{"status", 400}, {"size", MaxErrorBodySize + 1}}, kept + CutNote},
        {{{"status", 400}, {"size", MaxErrorBodySize}}, kept},
    };
    for (const auto& [answer, body] : errors)
    {
        Server.Answer("/e", answer);
        const auto error = Failure<EHTTPProtocolException>(Server.URL("/e"));
        EXPECT_EQ(error.ErrorCode, answer["status"]);
        EXPECT_EQ(error.ErrorMessage, body);
    }
    // The client goes on with the next request.
    Server.Answer("/ok", json{{"body", "{}"}});
    EXPECT_EQ(Client.Send("POST", Server.URL("/ok"), "{}").Body, "{}");
}

TEST_F(HttpClientTest, OnlyHttpAndHttpsAreRequestedAndRedirectsAreNotFollowed)
{
    const std::string port = std::to_string(Server.Port());
    const std::string others[] = {"file:///etc/passwd", "gopher://127.0.0.1:" + port + "/target",
                                  "ftp://127.0.0.1:" + port + "/target", "dict://127.0.0.1:" + port + "/target"};
    Server.Answer("/target", json{{"body", "moved here"}});
    for (const auto& address : others)
    {
        SCOPED_TRACE(address);
        EXPECT_EQ(Failure<EHTTPDataProvider>(address).Message,
                  "The address " + address + " was refused: only http and https addresses are allowed.");

        Server.Answer("/r", json{{"status", 302}, {"headers", {{"Location", address}}}, {"body", "see there"}});
        const auto error = Failure<EHTTPProtocolException>(Server.URL("/r"));
        EXPECT_EQ(error.ErrorCode, 302);
        EXPECT_EQ(error.ErrorMessage, "see there");
    }
    // Not even a redirect to plain http is followed: the account services never asked for that.
    Server.Answer("/r", json{{"status", 302}, {"headers", {{"Location", Server.URL("/target")}}}});
    EXPECT_EQ(Failure<EHTTPProtocolException>(Server.URL("/r")).ErrorCode, 302);
    for (const auto& request : Server.Requests())
        EXPECT_EQ(request["path"], "/r");
}

TEST_F(HttpClientTest, AStalledAnswerEndsByTheReadTimeLimitOrByAnAbortFromAnotherThread)
{
    Server.Answer("/stall", json{{"body", std::string(1000, 'a')}, {"stall_after", 10}, {"stall", 30}});
    Client.ReadTimeoutMs = 300;
    EXPECT_EQ(Failure<EReadTimeout>(Server.URL("/stall")).Message, "Read timed out. (" + Server.URL("/stall") + ")");

    Client.ReadTimeoutMs = 0;
    std::thread canceller([&] {
        while (Server.Requests().size() < 2)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        Client.Abort();
    });
    EXPECT_EQ(Failure<EConnectionClosed>(Server.URL("/stall")).Message, "Request to server was cancelled");
    canceller.join();
    // The owner went away: later requests end at once, without reaching the server.
    EXPECT_EQ(Failure<EConnectionClosed>(Server.URL("/stall")).Message, "Request to server was cancelled");
    EXPECT_EQ(Server.Requests().size(), 2u);
}

TEST_F(HttpClientTest, APasswordServiceRefusalWithAHugeBodyShowsItsBeginning)
{
    TResetPasswordConnection connection;
    TURL address;
    address.SetURL(Server.URL("/api/"));
    connection.URL = address;
    connection.PrepareFogotPassword("ann");

    Server.Answer("/api/passwords", json{{"status", 400}, {"size", 100 * 1024 * 1024}});
    try
    {
        connection.DoRequest();
        FAIL() << "no error";
    }
    catch (const EMarenApi& error)
    {
        EXPECT_EQ(error.Message, std::string(MaxErrorBodySize, 'x') + CutNote);
    }

    Server.Answer("/api/passwords", json{{"size", MaxAnswerSize + 1}});
    EXPECT_THROW(connection.DoRequest(), EHTTPDataProvider);
    EXPECT_EQ(connection.GetJsonValue("passwordResetID"), "");
}

TEST_F(HttpClientTest, TheAccountServicesTakeTheSystemsProxyOnlyWhenTheUserChoseIt)
{
    test::TTinyProxy proxy{"proxyuser", "proxypass"};
    int prompts = 0;
    ForgetSystemProxyCredentials();
    SetProxyCredentialsPrompt([&prompts](const std::string&) {
        ++prompts;
        return TProxyCredentials{"proxyuser", "proxypass"};
    });
    platform::SetEnvironmentValue("http_proxy", "http://127.0.0.1:" + std::to_string(proxy.Port()));
    platform::SetEnvironmentValue("no_proxy", "");
    Server.Answer("/account", json{{"body", "made"}});
    // Chosen, not chosen, chosen again: the 407 is asked once for the whole run.
    for (const bool system : {true, false, true})
    {
        SetAccountServicesUseSystemProxy(system);
        EXPECT_EQ(Client.Send("POST", Server.URL("/account"), "{}").Body, "made");
        const std::string via = test::TFixtureServer::Header(Server.Requests().back(), "Via");
        EXPECT_EQ(via.find("tinyproxy") != std::string::npos, system) << "Via: " << via;
    }
    EXPECT_EQ(prompts, 1);
    SetAccountServicesUseSystemProxy(false);
    SetProxyCredentialsPrompt(nullptr);
    ForgetSystemProxyCredentials();
    platform::RemoveEnvironmentValue("http_proxy");
    platform::RemoveEnvironmentValue("no_proxy");
}

} // namespace
} // namespace orb
