#include "launcher/LoginFlow.h"

#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "launcher/ClientLaunch.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "platform/Environment.h"
#include "platform/ShellOpen.h"
#include "support/ScriptedViews.h"
#include "support/TempDir.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

namespace orb
{
namespace
{

xml::IXMLNodePtr Xml(const std::string& Text)
{
    return xml::LoadXMLNodeFromString(Text);
}

TEST(MergePrivateIndex, PrivateFilesReplaceOrAddEntriesMarkedPrivate)
{
    struct TCase
    {
        const char* Index;
        const char* Private;
        const char* Expected;
    };
    const TCase cases[] = {
        // A new file is appended; a file of the same name is replaced in place.
        {"<u><file name=\"a\" size=\"1\" modified=\"1\"/></u>",
         "<u><file name=\"b\" size=\"2\" modified=\"2\"/><file name=\"a\" size=\"3\" modified=\"3\"/></u>",
         "<u><file name=\"a\" size=\"3\" modified=\"3\" private=\"true\"/>"
         "<file name=\"b\" size=\"2\" modified=\"2\" private=\"true\"/></u>"},
        // Directories merge recursively; a missing one is created with its time stamp.
        {"<u><directory name=\"d\" modified=\"1\"><file name=\"x\" size=\"1\" modified=\"1\"/></directory></u>",
         "<u><directory name=\"d\" modified=\"9\"><file name=\"y\" size=\"2\" modified=\"2\"/></directory>"
         "<directory name=\"e\" modified=\"5\"/></u>",
         "<u><directory name=\"d\" modified=\"1\"><file name=\"x\" size=\"1\" modified=\"1\"/>"
         "<file name=\"y\" size=\"2\" modified=\"2\" private=\"true\"/></directory>"
         "<directory name=\"e\" modified=\"5\"/></u>"},
        // Names compare exactly; other element kinds are skipped.
        {"<u><file name=\"A\" size=\"1\" modified=\"1\"/></u>",
         "<u><file name=\"a\" size=\"2\" modified=\"2\"/><other name=\"A\"/></u>",
         "<u><file name=\"A\" size=\"1\" modified=\"1\"/><file name=\"a\" size=\"2\" modified=\"2\" "
         "private=\"true\"/></u>"},
    };
    for (const auto& c : cases)
    {
        auto index = Xml(c.Index);
        TLoginFlow::MergePrivateIndex(index, Xml(c.Private));
        EXPECT_EQ(xml::IXMLNodeToXML(index, xml::enUTF8, 0, "", 0), c.Expected) << c.Private;
    }
}

TEST(LoadTextFromFile, ByteOrderMarksSelectTheEncoding)
{
    test::TempDir dir;
    struct TCase
    {
        std::string Bytes;
        TDefaultEncoding Default;
        std::string Expected;
    };
    const TCase cases[] = {
        {"\xEF\xBB\xBFhttp://x/\xC3\xA4", TDefaultEncoding::deASCII, "http://x/\xC3\xA4"},
        {std::string("\xFF\xFEh\0i\0", 6), TDefaultEncoding::deASCII, "hi"},
        {std::string("\xFE\xFF\0h\0i", 6), TDefaultEncoding::deASCII, "hi"},
        {"caf\xE9", TDefaultEncoding::deANSI, "caf\xC3\xA9"},
        {"caf\xE9", TDefaultEncoding::deASCII, "caf?"},
        {"", TDefaultEncoding::deUTF8, ""},
    };
    for (const auto& c : cases)
    {
        test::WriteBytes(dir / "f.txt", c.Bytes);
        EXPECT_EQ(LoadTextFromFile((dir / "f.txt").string(), c.Default), c.Expected);
    }
    EXPECT_THROW(LoadTextFromFile((dir / "missing").string(), TDefaultEncoding::deASCII), EInOutError);
}

class BrowserTest : public ::testing::Test
{
protected:
    std::optional<std::string> FSaved = platform::GetEnvironmentValue("BROWSER");
    void TearDown() override
    {
        if (FSaved)
            platform::SetEnvironmentValue("BROWSER", *FSaved);
        else
            platform::RemoveEnvironmentValue("BROWSER");
    }
};

TEST_F(BrowserTest, DefaultBrowserIsTheFirstEntryOfBrowser)
{
    platform::SetEnvironmentValue("BROWSER", "firefox:chromium");
    EXPECT_EQ(platform::GetDefaultBrowser(), "firefox");
    platform::RemoveEnvironmentValue("BROWSER");
    EXPECT_EQ(platform::GetDefaultBrowser(), "");
}

TEST_F(BrowserTest, BrowserThatCannotStartRaisesTheBrowserErrorWithUrlAndCode)
{
    platform::SetEnvironmentValue("BROWSER", "/nonexistent/browser");
    try
    {
        OpenUrlInBrowser("http://example.invalid/setup");
        FAIL() << "no error";
    }
    catch (const ESmartException& e)
    {
        EXPECT_EQ(e.Message.rfind("Could not open browser window.\r\n", 0), 0u);
        EXPECT_EQ(e.Details, "URL: http://example.invalid/setup\r\nError code: " + std::to_string(e.Code));
        EXPECT_NE(e.Code, 0);
    }
}

/// The flow on settings files in a temporary directory, off-line with no installation, so that a login runs every
/// step up to the client directory and then stops with the off-line message.
class LoginFlowTest : public ::testing::Test
{
protected:
    test::TempDir Dir;
    test::TScriptedViews Views;
    TXMLDataProvider Provider;
    TProgressRunner Progress;
    TUpdateRunner Updater;
    std::optional<std::string> FSavedData = platform::GetEnvironmentValue("XDG_DATA_HOME");

    void Load(const std::string& ClientAttributes, const std::string& ClientChildren, const std::string& UserEntries,
              const std::string& Proxy = "enabled=\"false\"")
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"tarnel_update_url\" application=\"client\"><entry_servers/>"
                         "<languages><item name=\"English\" value=\"en_US\"/><item name=\"Deutsch\" "
                         "value=\"de_DE\"/></languages></m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c " + ClientAttributes +
                             "><entries><item name=\"Demo\" value=\"d\"/><item name=\"Real\" "
                             "value=\"r\"/></entries>" +
                             ClientChildren + "</c>");
        test::WriteBytes(Dir / "user_loader_settings.xml",
                         "<user_loader_settings last_login=\"\" last_entry=\"\" language=\"de_DE\"><proxy " + Proxy +
                             "/><alternate_server/><entries>" + UserEntries + "</entries></user_loader_settings>");
        LoadLoaderSettings(Dir.Path());
        platform::SetEnvironmentValue("XDG_DATA_HOME", (Dir / "appdata").string());
        ConnectionSettings.Clear();
    }

    void TearDown() override
    {
        if (FSavedData)
            platform::SetEnvironmentValue("XDG_DATA_HOME", *FSavedData);
        else
            platform::RemoveEnvironmentValue("XDG_DATA_HOME");
        ConnectionSettings.Clear();
    }

    TLoginFlow Flow()
    {
        TLoginFlow flow(Provider, Progress, Updater);
        flow.LoaderPath = "/opt/orb/orb-loader";
        flow.WorkingDirectory = Dir.Path().string();
        flow.Start();
        flow.Offline = true;
        return flow;
    }

    /// Logs in with Entry typed into the box; the off-line message ends it.
    void LoginWith(TLoginFlow& Flow, const std::string& Entry, bool Preview = false)
    {
        Flow.Login = " typed ";
        Flow.SetEntryText(Entry);
        EXPECT_THROW(Flow.Button_OKClick(Preview), Exception);
    }

    std::vector<std::string> UserEntryValues()
    {
        std::vector<std::string> values;
        auto list = xml::LoadXMLNodeFromFile(Dir / "user_loader_settings.xml")->ChildNodes()->FindNode("entries");
        for (int i = 0; i < list->ChildNodes()->Count(); ++i)
            values.push_back(list->ChildNodes()->Get(i)->Attributes("value"));
        return values;
    }
};

TEST_F(LoginFlowTest, TheUpdateRunsAsManyDownloadsAtOnceAsTheMainFileSays)
{
    const std::pair<const char*, int> cases[] = {
        {"", 4}, {" download_connections=\"1\"", 1}, {" download_connections=\"9\"", 9}};
    for (const auto& [attribute, expected] : cases)
    {
        Load("", "", "");
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         std::string("<m update_url=\"tarnel_update_url\" application=\"client\"") + attribute +
                             "><entry_servers/><languages><item name=\"English\" value=\"en_US\"/></languages></m>");
        LoadLoaderSettings(Dir.Path());
        auto flow = Flow();
        Updater.Connections = 0;
        // Without an index and without an installation the update ends before any download.
        EXPECT_THROW(flow.UpdateClient(xml::LoadXMLNodeFromString("<empty/>"), "", ""), Exception);
        EXPECT_EQ(Updater.Connections, expected) << attribute;
    }
}

TEST_F(LoginFlowTest, StartSelectsTheSavedLanguageAndTheFirstAccountType)
{
    Load("", "", "<entry name=\"mine\" value=\"mine\"/>");
    auto flow = Flow();
    ASSERT_EQ(flow.Entries.size(), 3u);
    EXPECT_EQ(flow.Entries[2].Value, "mine");
    EXPECT_EQ(flow.EntryIndex, 0);
    EXPECT_EQ(flow.EntryText, "Demo");
    EXPECT_EQ(flow.LanguageIndex, 1);
    EXPECT_FALSE(flow.SavePassword);
}

TEST_F(LoginFlowTest, TypedAccountTypesAreAppendedThenOverwrittenAtMaxEntries)
{
    Load("max_entries=\"3\"", "", "");
    auto flow = Flow();
    LoginWith(flow, "first");
    EXPECT_EQ(UserEntryValues(), std::vector<std::string>{"first"});
    LoginWith(flow, "second");
    EXPECT_EQ(UserEntryValues(), std::vector<std::string>{"second"});
    // A listed type (any case) is not recorded.
    LoginWith(flow, "real");
    EXPECT_EQ(UserEntryValues(), std::vector<std::string>{"second"});
    EXPECT_EQ(ConnectionSettings.Values("entry"), "r");
}

TEST_F(LoginFlowTest, WithoutMaxEntriesTypedAccountTypesAccumulate)
{
    Load("", "", "");
    auto flow = Flow();
    LoginWith(flow, "one");
    LoginWith(flow, "two");
    EXPECT_EQ(UserEntryValues(), (std::vector<std::string>{"one", "two"}));
}

TEST_F(LoginFlowTest, LaunchParametersReplaceServerLinesInPlaceAndDropEmptyOnes)
{
    Load("max_entries=\"9\"", "<skins default=\"Dark\"/>", "");
    ConnectionSettings.SetText("a=1\r\nlogin=server\r\nCountry=DE\r\noffice_id=7\r\nproxy_server=p\r\nz=2\r\n");
    auto flow = Flow();
    flow.Password = "pw";
    LoginWith(flow, "Demo");
    EXPECT_EQ(ConnectionSettings.Text(), "a=1\r\nlogin=typed\r\nproxy_server=p\r\nz=2\r\nLanguage=de_DE\r\n"
                                         "skin=Dark\r\nskins=<skins></skins>\r\npassword=pw\r\n"
                                         "loader=/opt/orb/orb-loader\r\nentry=d\r\n");
    // The block goes to the client's process alone, never into the launcher's own environment.
    EXPECT_FALSE(platform::GetEnvironmentValue(ConnectionSettingsVariable));
}

TEST_F(LoginFlowTest, EnabledProxyAndPreviewCredentialsReachTheClient)
{
    Load("", "<preview_mode login=\"pl\" password=\"pp\" entry=\"pe\"/>", "",
         "enabled=\"TRUE\" server=\"proxy\" port=\"3128\" login=\"u\" password=\"v\"");
    auto flow = Flow();
    flow.Login = "";
    EXPECT_THROW(flow.Button_OKClick(true), Exception);
    EXPECT_TRUE(Views.Dialogs.Dialogs.empty()) << "no input check in preview mode";
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{{"proxy_server", "proxy"},
                                                                                      {"proxy_port", "3128"},
                                                                                      {"proxy_login", "u"},
                                                                                      {"proxy_password", "v"},
                                                                                      {"login", "pl"},
                                                                                      {"password", "pp"},
                                                                                      {"preview_mode", "yes"},
                                                                                      {"entry", "pe"}})
        EXPECT_EQ(ConnectionSettings.Values(name), value) << name;
    EXPECT_EQ(Provider.HTTP.HTTP_Client.ProxyServer, "proxy");
}

TEST_F(LoginFlowTest, TheAccountServicesFollowTheSystemProxyChoiceAtStartAndWhenSaved)
{
    Load("", "", "", "enabled=\"true\" server=\"proxy\" port=\"3128\" system=\"true\"");
    auto flow = Flow();
    EXPECT_TRUE(AccountServicesUseSystemProxy());
    EXPECT_TRUE(Provider.HTTP.HTTP_Client.ProxySystem);
    SetProxyCredentialsPrompt([](const std::string&) { return TProxyCredentials{"u", "p"}; });
    SystemProxyCredentialsAfterChallenge("proxy:3128", "");
    TNetworkSettings network = NetworkSettings();
    flow.SaveSettings(network, "");
    EXPECT_TRUE(SystemProxyCredentials()) << "saved unchanged: the 407 answer stays";
    network.ProxySystem = false;
    flow.SaveSettings(network, "");
    EXPECT_FALSE(AccountServicesUseSystemProxy()) << "the typed proxy is never used by the account services";
    EXPECT_EQ(Provider.HTTP.HTTP_Client.ProxyServer, "proxy");
    EXPECT_FALSE(SystemProxyCredentials()) << "another proxy choice asks anew";
    SetProxyCredentialsPrompt(nullptr);
    ForgetSystemProxyCredentials();
}

TEST_F(LoginFlowTest, BlankInputIsRejectedBeforeAnythingIsSaved)
{
    Load("", "", "");
    auto flow = Flow();
    const std::string before = test::ReadBytes(Dir / "user_loader_settings.xml");
    flow.Login = "  ";
    EXPECT_EQ(flow.Button_OKClick(false), TLoginResult::lrInputRejected);
    ASSERT_EQ(Views.Dialogs.Dialogs.size(), 1u);
    EXPECT_EQ(Views.Dialogs.Dialogs[0].Icon, TMsgDlgType::mtWarning);
    EXPECT_EQ(test::ReadBytes(Dir / "user_loader_settings.xml"), before);
}

TEST_F(LoginFlowTest, ControlCharactersInTheUserNameOrAccountTypeAreRejectedBeforeAnythingIsSaved)
{
    struct TCase
    {
        const char* Login;
        const char* Entry;
        bool Rejected;
    };
    const TCase cases[] = {
        {"ann\r\npassword=x", "Demo", true}, {"ann\n", "Demo", true},          {"ann\tbob", "Demo", true},
        {"ann\x7F", "Demo", true},           {"ann\xC2\x85", "Demo", true},    {"ann", "Demo\r\nlogin=x", true},
        {"J\xC3\xBCrgen", "Demo", false},    {"ann b\xC3\xA9", "Real", false},
    };
    Load("", "", "");
    const std::string before = test::ReadBytes(Dir / "user_loader_settings.xml");
    for (const auto& c : cases)
    {
        auto flow = Flow();
        Views.Dialogs.Dialogs.clear();
        flow.Login = c.Login;
        flow.SetEntryText(c.Entry);
        if (c.Rejected)
        {
            EXPECT_EQ(flow.Button_OKClick(false), TLoginResult::lrInputRejected) << c.Login;
            ASSERT_EQ(Views.Dialogs.Dialogs.size(), 1u) << c.Login;
            EXPECT_EQ(Views.Dialogs.Dialogs[0].Text, LanguageText("LoginHasControlCharacters"));
            EXPECT_EQ(test::ReadBytes(Dir / "user_loader_settings.xml"), before) << c.Login;
        }
        else
            EXPECT_THROW(flow.Button_OKClick(false), Exception) << c.Login; // off-line: no installation
    }
}

TEST(IsUserCancellation, OnlyAbortedRequestsAndTheirReportsCount)
{
    auto aborted = std::make_exception_ptr(EHTTPDataProvider("Cancelled", httpAborted));
    auto failed = std::make_exception_ptr(EHTTPDataProvider("Refused", httpNotFound));
    const auto reported = [](const std::exception_ptr& Failure) {
        try
        {
            TProgressRunner::RaiseRequestError(Failure, "http://127.0.0.1:1/x");
        }
        catch (const ESmartException& e)
        {
            // A cancellation is reported exactly like any other failed request.
            EXPECT_EQ(e.ClassName(), "ESmartException");
            EXPECT_EQ(e.Details, "URL: http://127.0.0.1:1/x");
            return std::current_exception();
        }
        return std::exception_ptr();
    };
    EXPECT_TRUE(IsUserCancellation(aborted));
    EXPECT_TRUE(IsUserCancellation(reported(aborted)));
    EXPECT_FALSE(IsUserCancellation(failed));
    EXPECT_FALSE(IsUserCancellation(reported(failed)));
    EXPECT_FALSE(IsUserCancellation(std::make_exception_ptr(ESmartException("TOther", aborted))));
    EXPECT_FALSE(IsUserCancellation(std::make_exception_ptr(Exception("x"))));
}

} // namespace
} // namespace orb
