#include "registration/RestConnection.h"

#include "DemoServer.h"
#include "TestViews.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orb
{
namespace
{

using test::Element;

xml::IXMLNodePtr ResetSettings(const std::string& Url, const std::string& Port, const std::string& Protocol = "http")
{
    return Element({{"enable", "true"}, {"url", Url}, {"port", Port}, {"protocol", Protocol}});
}

TEST(TRestConnection, SettingsTakeHostAndPathUpToLastSlash)
{
    struct Case
    {
        const char* Url;
        const char* Port;
        const char* Protocol;
        const char* Expected;
    };
    const Case cases[] = {
        {"http://pw.example.com/api/v1/", "8080", "http", "http://pw.example.com:8080/api/v1/passwords"},
        {"http://pw.example.com/api/v1", "8080", "http", "http://pw.example.com:8080/api/passwords"},
        {"https://pw.example.com:9999/svc/", "443", "https", "https://pw.example.com:443/svc/passwords"},
        {"http://pw.example.com/svc/", "", "https", "https://pw.example.com:443/svc/passwords"},
        // Without a port of its own, the one the address names.
        {"http://pw.example.com:8081/svc/", "", "http", "http://pw.example.com:8081/svc/passwords"},
        {"https://user:pw@[::1]:8443/svc/", "", "https", "https://[::1]:8443/svc/passwords"},
        {"https://[::1]/svc/", "", "https", "https://[::1]:443/svc/passwords"},
    };
    for (const auto& c : cases)
    {
        TResetPasswordConnection connection;
        connection.SetConnectionParams(ResetSettings(c.Url, c.Port, c.Protocol));
        connection.PrepareFogotPassword("u");
        EXPECT_EQ(connection.URL.URL_String(), c.Expected) << c.Url;
    }
}

TEST(TRestConnection, BodiesAreEscapedJson)
{
    TResetPasswordConnection connection;
    connection.PrepareFogotPassword("a\"b \xC3\xBC");
    EXPECT_EQ(connection.URL.Body, R"({ "username": "a\"b \u00FC" })");
    EXPECT_EQ(connection.HTTPMethod, hmPost);
    EXPECT_EQ(connection.URL.Document, "passwords");

    connection.PrepareResetPassword("17", "12/34", "p\\w");
    EXPECT_EQ(connection.URL.Body, R"({ "code": "12\/34", "passwordResetID": "17", "password": "p\\w" })");
    EXPECT_EQ(connection.HTTPMethod, hmPut);
    EXPECT_EQ(connection.URL.Document, "passwords/17");
}

class RestConnectionTest : public ::testing::Test
{
protected:
    test::TDemoServer Server;
    TResetPasswordConnection Connection;

    void SetUp() override
    {
        Connection.SetConnectionParams(ResetSettings(Server.URL("/api/"), std::to_string(Server.Port())));
    }

    nlohmann::json PasswordRequests() const { return nlohmann::json::parse(Server.Requests())["password"]; }
};

TEST_F(RestConnectionTest, CodeRequestAndResetAgainstTheService)
{
    Connection.PrepareFogotPassword("ann");
    Connection.DoRequest();
    EXPECT_EQ(Connection.ResponseCode, 200);
    std::string id = Connection.GetJsonValue("passwordResetID");
    EXPECT_EQ(id, "1001");
    EXPECT_EQ(Connection.GetJsonValue("missing"), "");

    Connection.PrepareResetPassword(id, "123456", "NewPassw0rd");
    Connection.DoRequest();
    EXPECT_EQ(Connection.ResponseCode, 200);

    auto requests = PasswordRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["method"], "POST");
    EXPECT_EQ(requests[0]["body"], R"({ "username": "ann" })");
    EXPECT_EQ(requests[0]["headers"]["User-Agent"], "TesselLoader");
    EXPECT_EQ(requests[0]["headers"]["Accept"], "application/json");
    EXPECT_EQ(requests[0]["headers"]["Content-Type"], "application/json");
    EXPECT_EQ(requests[0]["headers"]["Authorization"], "");
    EXPECT_EQ(requests[1]["method"], "PUT");
    EXPECT_EQ(requests[1]["id"], "1001");
}

TEST_F(RestConnectionTest, NumericResetIdReadsAsItsDecimalText)
{
    Connection.PrepareFogotPassword("numeric");
    Connection.DoRequest();
    EXPECT_EQ(Connection.GetJsonValue("passwordResetID"), "1001");
}

TEST_F(RestConnectionTest, StatusFourHundredBecomesServiceError)
{
    const std::pair<const char*, const char*> cases[] = {
        {"unknown", "No user with this name"},
        {"plain", "The service refuses plainly"},
        {"nomessage", ""},
    };
    for (const auto& [user, message] : cases)
    {
        Connection.PrepareFogotPassword("ann");
        Connection.DoRequest(); // leaves an answer behind that the failure must clear
        Connection.PrepareFogotPassword(user);
        try
        {
            Connection.DoRequest();
            ADD_FAILURE() << user << ": no error";
        }
        catch (const EMarenApi& e)
        {
            EXPECT_EQ(e.Message, message) << user;
            EXPECT_EQ(e.ErrorCode, 400);
        }
        EXPECT_EQ(Connection.ResponseCode, 400);
        EXPECT_EQ(Connection.GetJsonValue("passwordResetID"), "") << user;
    }
}

TEST_F(RestConnectionTest, ResetAnsweredWithNoContentIsNotTwoHundred)
{
    Connection.PrepareFogotPassword("quiet");
    Connection.DoRequest();
    Connection.PrepareResetPassword(Connection.GetJsonValue("passwordResetID"), "123456", "NewPassw0rd");
    Connection.DoRequest();
    EXPECT_EQ(Connection.ResponseCode, 204);
}

TEST_F(RestConnectionTest, WrongCodeIsServiceError)
{
    Connection.PrepareFogotPassword("ann");
    Connection.DoRequest();
    Connection.PrepareResetPassword(Connection.GetJsonValue("passwordResetID"), "000000", "NewPassw0rd");
    EXPECT_THROW(Connection.DoRequest(), EMarenApi);
}

TEST_F(RestConnectionTest, OtherFailuresAreRaisedUnchangedAndClearTheAnswer)
{
    Connection.PrepareFogotPassword("ann");
    Connection.DoRequest();
    ASSERT_FALSE(Connection.GetJsonValue("passwordResetID").empty());
    Connection.URL.Port = 1; // nothing listens there
    EXPECT_THROW(Connection.DoRequest(), ESocketError);
    EXPECT_EQ(Connection.ResponseCode, 0);
    EXPECT_EQ(Connection.GetJsonValue("passwordResetID"), "");

    Connection.URL.Port = Server.Port();
    Connection.URL.Document = "passwords/1/2/unknown";
    Connection.HTTPMethod = hmPost;
    EXPECT_THROW(Connection.DoRequest(), EHTTPProtocolException);
}

TEST_F(RestConnectionTest, PlainConnectionSwallowsFailures)
{
    TRestConnection plain;
    plain.URL = Connection.URL;
    plain.URL.Document = "passwords";
    plain.URL.Body = R"({ "username": "unknown" })";
    EXPECT_NO_THROW(plain.DoRequest());
    EXPECT_EQ(plain.ResponseCode, 400);
    plain.URL.Port = 1;
    EXPECT_NO_THROW(plain.DoRequest());
    EXPECT_EQ(plain.ResponseCode, 0);
}

} // namespace
} // namespace orb
