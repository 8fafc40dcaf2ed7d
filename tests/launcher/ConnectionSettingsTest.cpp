#include "launcher/ConnectionSettings.h"

#include "exception_dialog/SmartException.h"
#include "support/ScriptedViews.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

namespace orb
{
namespace
{

using nlohmann::json;

xml::IXMLNodePtr Xml(const std::string& Text)
{
    return xml::LoadXMLNodeFromString(Text);
}

/// A main file with the given entry server URLs.
xml::IXMLNodePtr MainFile(const std::vector<std::string>& EntryServers)
{
    std::string text = "<main_loader_settings update_url=\"tarnel_update_url\"><entry_servers>";
    for (const auto& url : EntryServers)
        text += "<item url=\"" + url + "\"/>";
    return Xml(text + "</entry_servers></main_loader_settings>");
}

xml::IXMLNodePtr ClientFile(const std::string& MainServer = "")
{
    return Xml("<client_loader_settings main_server=\"" + MainServer + "\"/>");
}

xml::IXMLNodePtr UserFile(const std::string& Server = "", const std::string& Port = "")
{
    return Xml("<user_loader_settings><proxy enabled=\"false\"/><alternate_server server=\"" + Server + "\" port=\"" +
               Port + "\"/><entries/></user_loader_settings>");
}

TEST(ConnectionServerCandidates, OrderIsMainServerEntryServersThenTheAlternate)
{
    struct TCase
    {
        std::string MainServer;
        std::vector<std::string> EntryServers;
        std::string AlternateServer, AlternatePort;
        std::vector<std::string> Expected;
    };
    const TCase cases[] = {
        {"http://main/cfg",
         {"http://e1/a.php", "http://e2/b.php"},
         "",
         "", //
         {"http://main/cfg", "http://e1/a.php", "http://e2/b.php"}},
        {"",
         {"https://H/cfg/get.php?x=1", "http://e2/"},
         "S",
         "8080",
         {"https://H/cfg/get.php?x=1", "http://e2/", "https://S:8080/cfg/get.php?x=1"}},
        {"", {"http://H:81/cfg/"}, "S", "abc", {"http://H:81/cfg/", "http://S:0/cfg/"}},
        {"", {"http://H:81/cfg/"}, "S", "80", {"http://H:81/cfg/", "http://S/cfg/"}},
        {"", {"https://u:p@H/cfg/"}, "S", "443", {"https://u:p@H/cfg/", "https://u:p@S/cfg/"}},
        {"", {""}, "", "", {""}},
        {"", {}, "S", "8080", {}},
        // The alternate takes the first entry server whose address can be read.
        {"",
         {"", "no-scheme/cfg", "http://H2/cfg/"},
         "S",
         "81",
         {"", "no-scheme/cfg", "http://H2/cfg/", "http://S:81/cfg/"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ConnectionServerCandidates(MainFile(c.EntryServers), ClientFile(c.MainServer),
                                             UserFile(c.AlternateServer, c.AlternatePort)),
                  c.Expected);
}

class ConnectionSettingsTest : public ::testing::Test
{
protected:
    test::TScriptedViews Views;
    test::TFixtureServer Server;
    TXMLDataProvider Provider;
    TProgressRunner Progress;
    TAttributes Settings;

    void Fetch(const std::string& Entry, const xml::IXMLNodePtr& Main, const xml::IXMLNodePtr& Client,
               const xml::IXMLNodePtr& User = UserFile())
    {
        FetchConnectionSettings(Entry, {.MainSettings = Main,
                                        .ClientSettings = Client,
                                        .UserSettings = User,
                                        .DataProvider = &Provider,
                                        .Progress = &Progress,
                                        .ConnectionSettings = &Settings});
    }

    std::string Unreachable() const { return "http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/"; }
};

TEST_F(ConnectionSettingsTest, AnAnsweringMainServerIsTheOnlyOneAsked)
{
    Server.Answer("/main.php", json{{"body", "tarnel_update_url=http://upd/\r\n"}});
    Fetch("demo", MainFile({Server.URL("/entry.php")}), ClientFile(Server.URL("/main.php?x=1")));
    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["path"], "/main.php");
    EXPECT_EQ(requests[0]["query"], "entry=demo");
    EXPECT_EQ(Settings.Values("tarnel_update_url"), "http://upd/");
    EXPECT_TRUE(Views.Dialogs.Exceptions.empty());
}

TEST_F(ConnectionSettingsTest, AFailingMainServerFallsBackToTheFirstEntryServerSilently)
{
    Server.Answer("/main.php", json{{"status", 500}});
    Server.Answer("/entry.php", json{{"body", "tarnel_update_url=http://upd/"}});
    Fetch("real", MainFile({Server.URL("/entry.php"), Server.URL("/second.php")}), ClientFile(Server.URL("/main.php")));
    EXPECT_EQ(Server.Requests().size(), 2u);
    EXPECT_EQ(Views.ModalWait.Shown.size(), 2u);
    EXPECT_TRUE(Views.Dialogs.Exceptions.empty());
    EXPECT_EQ(Settings.Values("tarnel_update_url"), "http://upd/");
}

TEST_F(ConnectionSettingsTest, TheAlternateServerIsTriedLastWithEntryAsTheOnlyParameter)
{
    Server.Answer("/cfg/get.php", json{{"body", "tarnel_update_url=http://alt/"}});
    Fetch("demo", MainFile({"http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/cfg/get.php?x=1"}),
          ClientFile(), UserFile("127.0.0.1", std::to_string(Server.Port())));
    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0]["path"], "/cfg/get.php");
    EXPECT_EQ(requests[0]["query"], "entry=demo");
    EXPECT_EQ(Settings.Values("tarnel_update_url"), "http://alt/");
}

TEST_F(ConnectionSettingsTest, TheAnswerIsNormalisedAndTheFirstOfTwinNamesWins)
{
    Server.Answer("/cfg", json{{"body", "  loader_version  =  4.7.0.12  \nLOADER_VERSION=1\rno equals sign\r\n"
                                        "tarnel_update_url = http://u/?a=b \r\n" +
                                            test::TFixtureServer::Bytes("Country=\xE9t\xE9")}});
    Fetch("demo", MainFile({Server.URL("/cfg")}), ClientFile());
    EXPECT_EQ(Settings.Values("loader_version"), "4.7.0.12");
    EXPECT_EQ(Settings.Values("tarnel_update_url"), "http://u/?a=b");
    EXPECT_EQ(Settings.Strings(2), "no equals sign");
    // The answer is 8-bit text in the Windows-1252 code page.
    EXPECT_EQ(Settings.Values("Country"), "\xC3\xA9t\xC3\xA9");
}

TEST_F(ConnectionSettingsTest, AServerRefusalIsShownAsInformationBeforeTheKeyIsLookedAt)
{
    Server.Answer("/cfg", json{{"body", "tarnel_update_url=http://u/\r\nexception=Your account is locked."}});
    try
    {
        Fetch("demo", MainFile({Server.URL("/cfg")}), ClientFile());
        FAIL() << "no refusal";
    }
    catch (const EInformationException& refusal)
    {
        EXPECT_EQ(refusal.Message, "Your account is locked.");
    }
    EXPECT_EQ(Settings.Values("tarnel_update_url"), "http://u/");
}

TEST_F(ConnectionSettingsTest, AnAnswerWithoutTheUpdateKeyIsBadConnectionSettings)
{
    Server.Answer("/cfg", json{{"body", "a=1\nb = 2"}});
    try
    {
        Fetch("de mo", MainFile({Server.URL("/cfg")}), ClientFile());
        FAIL() << "no error";
    }
    catch (const ESmartException&)
    {
        FAIL() << "wrong kind of error";
    }
    catch (const Exception& error)
    {
        EXPECT_EQ(error.Message, "Bad connection settings:\r\nhttp://127.0.0.1:" + std::to_string(Server.Port()) +
                                     "/cfg?entry=de+mo\r\na=1\r\nb=2\r\n");
    }
}

TEST_F(ConnectionSettingsTest, WhenEveryServerFailsTheLastFailureIsReported)
{
    Server.Answer("/last", json{{"status", 404}});
    const std::string last = Server.URL("/last");
    try
    {
        Fetch("demo", MainFile({Unreachable(), last}), ClientFile(Unreachable()));
        FAIL() << "no error";
    }
    catch (const ESmartException& error)
    {
        EXPECT_EQ(error.Details, "URL: http://127.0.0.1:" + std::to_string(Server.Port()) + "/last?entry=demo");
    }
    EXPECT_EQ(Views.ModalWait.Shown.size(), 3u);
}

TEST_F(ConnectionSettingsTest, NoServerAtAllChecksTheLastAnswerReceived)
{
    EXPECT_THROW(Fetch("demo", MainFile({}), ClientFile()), Exception);
    EXPECT_TRUE(Server.Requests().empty());
    EXPECT_TRUE(Views.ModalWait.Shown.empty());
}

} // namespace
} // namespace orb

namespace orb
{
namespace
{

TEST_F(ConnectionSettingsTest, AddressesThatCannotBeReadAreSkippedLikeUnreachableServers)
{
    struct TCase
    {
        const char* Name;
        std::string MainServer;
        std::vector<std::string> EntryServers;
        bool Alternate;
    };
    Server.Answer("/cfg/get.php", json{{"body", "tarnel_update_url=http://upd/"}});
    const TCase cases[] = {
        {"main server without a scheme", "127.0.0.1/cfg/get.php", {Server.URL("/cfg/get.php")}, false},
        {"entry item without url", "", {"", Server.URL("/cfg/get.php")}, false},
        {"bad port", "http://127.0.0.1:99999999/", {Server.URL("/cfg/get.php")}, false},
        {"only broken addresses and the alternate server", "", {"", "http://127.0.0.1:1/cfg/get.php"}, true},
    };
    for (const auto& c : cases)
    {
        Settings.Clear();
        Fetch("demo", MainFile(c.EntryServers), ClientFile(c.MainServer),
              c.Alternate ? UserFile("127.0.0.1", std::to_string(Server.Port())) : UserFile());
        EXPECT_EQ(Settings.Values("tarnel_update_url"), "http://upd/") << c.Name;
        EXPECT_TRUE(Views.Dialogs.Exceptions.empty()) << c.Name;
    }
}

TEST_F(ConnectionSettingsTest, ABrokenLastAddressIsReportedAsAConnectionErrorNamingIt)
{
    try
    {
        Fetch("demo", MainFile({Unreachable(), "no-scheme/cfg"}), ClientFile());
        FAIL() << "no error";
    }
    catch (const ESmartException& error)
    {
        EXPECT_EQ(error.Details, "URL: no-scheme/cfg");
        EXPECT_TRUE(error.ParentException);
    }
}

} // namespace
} // namespace orb
