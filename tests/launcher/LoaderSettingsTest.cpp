#include "launcher/LoaderSettings.h"

#include "base/Exceptions.h"
#include "localisation/Unit_Language.h"
#include "platform/PlatformTestUtil.h"
#include "support/TempDir.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

#include <optional>

namespace fs = std::filesystem;
using orb::test::ReadBytes;
using orb::test::ScopedEnv;
using orb::test::WriteBytes;

namespace
{

const char* MainXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                      "<main update_url=\"tarnel_update_url\" application=\"bin\\client.exe\">"
                      "<entry_servers><server url=\"http://127.0.0.1:1/\"/></entry_servers>"
                      "<languages><l name=\"English\" value=\"en_US\"/></languages></main>";
const char* ClientXml = "<client title=\"Trader\" language=\"fr_FR\"><entries/></client>";

class LoaderSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WriteBytes(Dir / orb::MainSettingsFileName, MainXml);
        WriteBytes(Dir / orb::ClientSettingsFileName, ClientXml);
    }

    std::string LoadError()
    {
        try
        {
            orb::LoadLoaderSettings(Dir.Path());
        }
        catch (const orb::Exception& e)
        {
            return e.Message;
        }
        return "no exception";
    }

    orb::test::TempDir Dir;
    // No interface language from the environment unless a test sets one.
    ScopedEnv Language{"LANGUAGE", std::nullopt};
    ScopedEnv All{"LC_ALL", std::nullopt};
    ScopedEnv Messages{"LC_MESSAGES", std::nullopt};
    ScopedEnv Lang{"LANG", std::nullopt};
};

} // namespace

TEST_F(LoaderSettingsTest, MissingUserFileIsCreatedWithTheDefaultContent)
{
    orb::LoadLoaderSettings(Dir.Path());
    std::string written = ReadBytes(Dir / orb::UserSettingsFileName);
    EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << written;
    EXPECT_EQ(orb::xml::IXMLNodeToXML(orb::xml::LoadXMLNodeFromString(written), orb::xml::enUTF8, 0),
              orb::xml::IXMLNodeToXML(orb::xml::LoadXMLNodeFromString(orb::DefaultUserSettings), orb::xml::enUTF8, 0));
    ASSERT_TRUE(orb::UserSettings);
    EXPECT_EQ(orb::UserSettings->NodeName(), "user_loader_settings");
    EXPECT_TRUE(orb::UserSettings->HasAttribute("client_id"));
    EXPECT_EQ(orb::UserSettings->ChildNodes()->FindNode("proxy")->Attributes("enabled"), "false");
    EXPECT_EQ(orb::MainSettings->Attributes("application"), "bin\\client.exe");
    EXPECT_EQ(orb::ClientSettings->Attributes("title"), "Trader");
    EXPECT_EQ(orb::ResourcePath, "resource");
    EXPECT_EQ(orb::LanguageCode, "fr_FR");
    // It will hold passwords: nobody but its owner may read it.
    EXPECT_EQ(fs::status(Dir / orb::UserSettingsFileName).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(LoaderSettingsTest, ChangedUserSettingsAreSavedBack)
{
    orb::LoadLoaderSettings(Dir.Path());
    orb::UserSettings->SetAttribute("last_login", "J\xC3\xBCrgen");
    orb::SaveUserSettings();
    EXPECT_EQ(fs::status(Dir / orb::UserSettingsFileName).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    orb::LoadLoaderSettings(Dir.Path());
    EXPECT_EQ(orb::UserSettings->Attributes("last_login"), "J\xC3\xBCrgen");
}

TEST_F(LoaderSettingsTest, LanguageCodeComesFromUserFileThenSystemThenClientFileThenEnglish)
{
    struct Case
    {
        std::string UserLanguage;
        std::optional<std::string> SystemLocale;
        std::string ClientLanguage;
        std::string Expected;
    };
    const Case cases[] = {
        {"ru_RU", "de_DE.UTF-8", "fr_FR", "ru_RU"},
        {"xx_XX", std::nullopt, "fr_FR", "xx_XX"}, // kept even if no language list names it
        {"", "de_AT.UTF-8", "fr_FR", "de_DE"},
        {"", "zh_HK", "fr_FR", "zh_TW"},
        {"", "zh_SG.UTF-8", "", "zh_CN"},
        {"", "id_ID", "", "in_ID"},
        {"", "zh_MO", "fr_FR", "fr_FR"}, // Chinese of Macau has no code
        {"", "C", "fr_FR", "fr_FR"},
        {"", "pl_PL", "", "en_US"},
        {"", std::nullopt, "", "en_US"},
    };
    for (const auto& c : cases)
    {
        WriteBytes(Dir / orb::ClientSettingsFileName,
                   "<client language=\"" + c.ClientLanguage + "\"><entries/></client>");
        auto user = orb::xml::LoadXMLNodeFromString(orb::DefaultUserSettings);
        user->SetAttribute("language", c.UserLanguage);
        orb::xml::SaveIXMLNodeToFile(Dir / orb::UserSettingsFileName, user);
        ScopedEnv lang("LANG", c.SystemLocale);
        orb::LoadLoaderSettings(Dir.Path());
        EXPECT_EQ(orb::LanguageCode, c.Expected) << c.UserLanguage << " / " << c.SystemLocale.value_or("-");
    }
}

TEST_F(LoaderSettingsTest, ResourcePathAttributeOverridesEvenWhenEmpty)
{
    for (std::string path : {"skins_and_languages", ""})
    {
        auto user = orb::xml::LoadXMLNodeFromString(orb::DefaultUserSettings);
        user->SetAttribute("resource_path", path);
        orb::xml::SaveIXMLNodeToFile(Dir / orb::UserSettingsFileName, user);
        orb::LoadLoaderSettings(Dir.Path());
        EXPECT_EQ(orb::ResourcePath, path);
    }
}

TEST_F(LoaderSettingsTest, MissingRequiredElementNamesFileAndElement)
{
    struct Case
    {
        const char* File;
        std::string Content;
        const char* Element;
    };
    const Case cases[] = {
        {orb::MainSettingsFileName, "<main><languages/></main>", "entry_servers"},
        {orb::MainSettingsFileName, "<main><entry_servers/></main>", "languages"},
        {orb::ClientSettingsFileName, "<client><Entries/></client>", "entries"},
        {orb::UserSettingsFileName, "<user_loader_settings><alternate_server/><entries/></user_loader_settings>",
         "proxy"},
        {orb::UserSettingsFileName, "<user_loader_settings><proxy/><entries/></user_loader_settings>",
         "alternate_server"},
        {orb::UserSettingsFileName, "<user_loader_settings><proxy/><alternate_server/></user_loader_settings>",
         "entries"},
    };
    for (const auto& c : cases)
    {
        SetUp();
        fs::remove(Dir / orb::UserSettingsFileName);
        WriteBytes(Dir / c.File, c.Content);
        std::string message = LoadError();
        EXPECT_NE(message.find((Dir / c.File).string()), std::string::npos) << message;
        EXPECT_NE(message.find(std::string("\"") + c.Element + "\""), std::string::npos) << message;
    }
}

TEST_F(LoaderSettingsTest, MalformedOrMissingFilesNameTheFile)
{
    WriteBytes(Dir / orb::ClientSettingsFileName, "<client><entries></client>");
    std::string message = LoadError();
    EXPECT_NE(message.find("Bad XML"), std::string::npos) << message;
    EXPECT_NE(message.find(orb::ClientSettingsFileName), std::string::npos) << message;

    WriteBytes(Dir / orb::ClientSettingsFileName, "<!-- no element -->");
    message = LoadError();
    EXPECT_NE(message.find("no root element"), std::string::npos) << message;

    fs::remove(Dir / orb::MainSettingsFileName);
    message = LoadError();
    EXPECT_NE(message.find(orb::MainSettingsFileName), std::string::npos) << message;
    EXPECT_FALSE(fs::exists(Dir / orb::UserSettingsFileName)) << "nothing is written when loading fails early";
}

TEST_F(LoaderSettingsTest, WorkingDirectoryIsTheDefaultPlace)
{
    fs::path old = fs::current_path();
    fs::current_path(Dir.Path());
    try
    {
        orb::LoadLoaderSettings();
    }
    catch (...)
    {
        fs::current_path(old);
        throw;
    }
    fs::current_path(old);
    EXPECT_TRUE(fs::exists(Dir / orb::UserSettingsFileName));
}

TEST(OsLanguageCode, MapsPrimaryLanguageAndChineseSubLanguages)
{
    struct Case
    {
        uint16_t Id;
        const char* Code;
    };
    const Case cases[] = {
        {0x0401, "ar_KW"}, {0x0402, "bg_BG"}, {0x0404, "zh_TW"}, {0x0804, "zh_CN"}, {0x0C04, "zh_TW"},
        {0x1004, "zh_CN"}, {0x1404, ""},      {0x0004, ""},      {0x0407, "de_DE"}, {0x0C07, "de_DE"},
        {0x0409, "en_US"}, {0x0809, "en_US"}, {0x0C0A, "es_ES"}, {0x040B, "fi_FI"}, {0x040C, "fr_FR"},
        {0x040D, "he_IL"}, {0x040E, "hu_HU"}, {0x0410, "it_IT"}, {0x0411, "ja_JP"}, {0x0412, "ko_KR"},
        {0x0413, "nl_NL"}, {0x0416, "pt_PT"}, {0x0816, "pt_PT"}, {0x0419, "ru_RU"}, {0x041B, "sk_SK"},
        {0x041F, "tr_TR"}, {0x0421, "in_ID"}, {0x0415, ""},      {0x0000, ""},      {0x0405, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(orb::OsLanguageCode(c.Id), c.Code) << std::hex << c.Id;
}

TEST(ReadBooleanSetting, OneRuleForEveryBooleanSetting)
{
    struct TCase
    {
        const char* Attribute; // "" leaves the attribute out
        bool Default;
        int Expected; // -1: refused
    };
    const TCase cases[] = {
        {"", true, 1},
        {"", false, 0},
        {"v=\"\"", true, 1},
        {"v=\"true\"", false, 1},
        {"v=\"True\"", false, 1},
        {"v=\"TRUE\"", false, 1},
        {"v=\"false\"", true, 0},
        {"v=\"False\"", true, 0},
        {"v=\" true \"", false, 1},
        {"v=\"1\"", false, 1},
        {"v=\"0\"", true, 0},
        {"v=\"maybe\"", false, -1},
        {"v=\"yes\"", true, -1},
    };
    for (const auto& c : cases)
    {
        auto node = orb::xml::LoadXMLNodeFromString(std::string("<p ") + c.Attribute + "/>");
        if (c.Expected < 0)
        {
            try
            {
                orb::ReadBooleanSetting(node, "v", c.Default);
                ADD_FAILURE() << c.Attribute << " accepted";
            }
            catch (const orb::EConvertError& e)
            {
                EXPECT_NE(std::string(e.what()).find("\"v\""), std::string::npos) << e.what();
            }
        }
        else
            EXPECT_EQ(orb::ReadBooleanSetting(node, "v", c.Default), c.Expected == 1) << c.Attribute;
    }
}

TEST_F(LoaderSettingsTest, TypedSettingsAndTheirDefaults)
{
    WriteBytes(Dir / orb::ClientSettingsFileName,
               "<client remind_password=\"FALSE\" show_offline_mode=\"\" allow_settings=\"no\"><entries/>"
               "<copyright enabled=\"false\"/><registration type=\"web\"/></client>");
    WriteBytes(Dir / orb::UserSettingsFileName,
               "<user_loader_settings><proxy enabled=\"True\" server=\"p\" port=\"8x\" login=\"u\" password=\"w\"/>"
               "<alternate_server/><entries/></user_loader_settings>");
    orb::LoadLoaderSettings(Dir.Path());
    EXPECT_FALSE(orb::RemindPasswordSetting());
    EXPECT_TRUE(orb::OfflineModeOffered());
    EXPECT_FALSE(orb::SettingsTabAllowed());
    EXPECT_FALSE(orb::PoweredByShown());
    EXPECT_EQ(orb::ShowUserCredentialsSetting(), "true");
    EXPECT_TRUE(orb::ShowUserCredentials());
    const orb::TProxySettings proxy = orb::ProxySetting();
    EXPECT_TRUE(proxy.Enabled);
    EXPECT_EQ(proxy.Server, "p");
    EXPECT_EQ(proxy.Port, 0);
    EXPECT_EQ(proxy.Login, "u");
    EXPECT_EQ(proxy.Password, "w");

    EXPECT_TRUE(orb::RegistrationSetting().Offered);
    EXPECT_EQ(orb::RegistrationSetting().Type, "web");
    EXPECT_EQ(orb::ApplicationIconFile(), "main_icon.ico");
    EXPECT_FALSE(orb::MaxEntriesSetting());

    WriteBytes(Dir / orb::ClientSettingsFileName, "<client><entries/></client>");
    orb::LoadLoaderSettings(Dir.Path());
    EXPECT_TRUE(orb::RemindPasswordSetting());
    EXPECT_FALSE(orb::OfflineModeOffered());
    EXPECT_TRUE(orb::SettingsTabAllowed());
    EXPECT_TRUE(orb::PoweredByShown());
    EXPECT_FALSE(orb::RegistrationSetting().Offered);
    EXPECT_FALSE(orb::PreviewOffered());
    EXPECT_TRUE(orb::BrowserStripSetting().Url.empty());

    WriteBytes(Dir / orb::ClientSettingsFileName,
               "<client title=\"T\" application_icon=\"\" max_entries=\" 3 \"><entries><a name=\"A\"/><!-- c -->"
               "<b name=\"B\"/></entries><preview_mode/><browser_window url=\" http://x/ \" width=\"-5\" "
               "height=\"40\"/><registration type=\"built_in\" url=\"u\" provider=\"p\"/></client>");
    orb::LoadLoaderSettings(Dir.Path());
    EXPECT_EQ(orb::WindowTitleSetting(), "T");
    EXPECT_EQ(orb::ApplicationIconFile(), "") << "an empty icon attribute is kept: the window shows no icon";
    EXPECT_EQ(orb::MaxEntriesSetting(), 3);
    EXPECT_EQ(orb::ClientEntryItems().size(), 2u);
    EXPECT_TRUE(orb::PreviewOffered());
    const orb::TBrowserStripSetting strip = orb::BrowserStripSetting();
    EXPECT_EQ(strip.Url, "http://x/");
    EXPECT_EQ(strip.Width, 0);
    EXPECT_EQ(strip.Height, 40);
    const orb::TRegistrationSetting registration = orb::RegistrationSetting();
    EXPECT_EQ(registration.Type + "|" + registration.Url + "|" + registration.Provider, "built_in|u|p");
}

TEST(ReadIntegerSetting, WholeNumbersOrTheDefault)
{
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"", 7}, {"v=\"\"", 7}, {"v=\" 12 \"", 12}, {"v=\"-3\"", -3}, {"v=\"0\"", 0},
    };
    for (const auto& [attribute, expected] : cases)
        EXPECT_EQ(
            orb::ReadIntegerSetting(orb::xml::LoadXMLNodeFromString(std::string("<p ") + attribute + "/>"), "v", 7),
            expected)
            << attribute;
    for (const char* bad : {"v=\"many\"", "v=\"3x\"", "v=\"1.5\""})
        EXPECT_THROW(orb::ReadIntegerSetting(orb::xml::LoadXMLNodeFromString(std::string("<p ") + bad + "/>"), "v"),
                     orb::EConvertError)
            << bad;
}

TEST_F(LoaderSettingsTest, DownloadConnectionsDefaultAndBounds)
{
    const std::pair<const char*, int> cases[] = {
        {"", 4},
        {" download_connections=\"\"", 4},
        {" download_connections=\"1\"", 1},
        {" download_connections=\" 8 \"", 8},
        {" download_connections=\"16\"", 16},
        {" download_connections=\"0\"", 1},
        {" download_connections=\"-2\"", 1},
        {" download_connections=\"100\"", 16},
    };
    for (const auto& [attribute, expected] : cases)
    {
        WriteBytes(Dir / orb::MainSettingsFileName,
                   std::string("<main update_url=\"u\" application=\"a\"") + attribute +
                       "><entry_servers><server url=\"http://127.0.0.1:1/\"/></entry_servers>"
                       "<languages><l name=\"English\" value=\"en_US\"/></languages></main>");
        orb::LoadLoaderSettings(Dir.Path());
        EXPECT_EQ(orb::DownloadConnectionsSetting(), expected) << attribute;
    }
    WriteBytes(Dir / orb::MainSettingsFileName,
               "<main update_url=\"u\" application=\"a\" download_connections=\"four\"><entry_servers><server "
               "url=\"http://127.0.0.1:1/\"/></entry_servers><languages><l name=\"English\" value=\"en_US\"/>"
               "</languages></main>");
    orb::LoadLoaderSettings(Dir.Path());
    EXPECT_THROW(orb::DownloadConnectionsSetting(), orb::EConvertError);
}

TEST_F(LoaderSettingsTest, NetworkSettingsAreStoredAsTyped)
{
    WriteBytes(Dir / orb::UserSettingsFileName,
               "<user_loader_settings><proxy/><alternate_server/><entries/></user_loader_settings>");
    orb::LoadLoaderSettings(Dir.Path());
    const orb::TNetworkSettings empty = orb::NetworkSettings();
    EXPECT_FALSE(empty.ProxyEnabled);
    EXPECT_EQ(empty.ProxyServer + empty.ProxyPort + empty.AlternateServer + empty.AlternatePort, "");

    orb::TNetworkSettings typed;
    typed.ProxyEnabled = true;
    typed.ProxyServer = "proxy.example";
    typed.ProxyPort = "80a";
    typed.ProxyLogin = "me";
    typed.ProxyPassword = "p\"w<";
    typed.AlternateServer = "10.0.0.1";
    typed.AlternatePort = "8443";
    orb::StoreNetworkSettings(typed);
    orb::SaveUserSettings();
    orb::LoadLoaderSettings(Dir.Path());
    const orb::TNetworkSettings read = orb::NetworkSettings();
    EXPECT_TRUE(read.ProxyEnabled);
    EXPECT_EQ(read.ProxyServer + "|" + read.ProxyPort + "|" + read.ProxyLogin + "|" + read.ProxyPassword,
              "proxy.example|80a|me|p\"w<");
    EXPECT_EQ(read.AlternateServer + ":" + read.AlternatePort, "10.0.0.1:8443");
    EXPECT_EQ(orb::ProxySetting().Port, 0) << "the number the provider gets";
}

TEST_F(LoaderSettingsTest, TheSystemProxyChoiceIsAnAttributeOlderFilesDoNotHave)
{
    const std::string older = "<user_loader_settings><proxy enabled=\"true\" server=\"p\" port=\"8\" login=\"\" "
                              "password=\"\"/><alternate_server/><entries/></user_loader_settings>";
    WriteBytes(Dir / orb::UserSettingsFileName, older);
    orb::LoadLoaderSettings(Dir.Path());
    EXPECT_FALSE(orb::NetworkSettings().ProxySystem);
    EXPECT_FALSE(orb::ProxySetting().System);
    // Saved unchanged, the older file gains no attribute.
    orb::StoreNetworkSettings(orb::NetworkSettings());
    orb::SaveUserSettings();
    EXPECT_EQ(ReadBytes(Dir / orb::UserSettingsFileName).find("system="), std::string::npos);

    const struct
    {
        bool System;
        const char* Stored;
    } cases[] = {{true, "system=\"true\""}, {false, "system=\"false\""}};
    for (const auto& c : cases)
    {
        orb::TNetworkSettings settings = orb::NetworkSettings();
        settings.ProxySystem = c.System;
        orb::StoreNetworkSettings(settings);
        orb::SaveUserSettings();
        EXPECT_NE(ReadBytes(Dir / orb::UserSettingsFileName).find(c.Stored), std::string::npos) << c.Stored;
        orb::LoadLoaderSettings(Dir.Path());
        const orb::TProxySettings proxy = orb::ProxySetting();
        EXPECT_EQ(proxy.System, c.System);
        EXPECT_TRUE(proxy.Enabled) << "the manual choice is kept beside it";
        EXPECT_EQ(proxy.Server, "p");
    }
}
