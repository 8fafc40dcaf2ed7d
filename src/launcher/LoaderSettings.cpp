#include "launcher/LoaderSettings.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "localisation/Unit_Language.h"
#include "platform/Paths.h"
#include "platform/UILanguage.h"
#include "xml/XML_Utils.h"

#include <algorithm>

namespace orb
{

const char* const DefaultUserSettings =
    "<user_loader_settings client_id=\"\" last_login=\"\" last_entry=\"\" language=\"\">"
    "<proxy enabled=\"false\" server=\"\" port=\"\" login=\"\" password=\"\"/>"
    "<alternate_server server=\"\" port=\"\"/><entries/></user_loader_settings>";

xml::IXMLNodePtr MainSettings;
xml::IXMLNodePtr ClientSettings;
xml::IXMLNodePtr UserSettings;

namespace
{

std::filesystem::path UserSettingsPath = UserSettingsFileName;

xml::IXMLNodePtr LoadSettingsFile(const std::filesystem::path& FileName)
{
    xml::IXMLNodePtr root;
    try
    {
        root = xml::LoadXMLNodeFromFile(FileName);
    }
    catch (Exception& e)
    {
        // The parser names the fault but not the file: add it, keeping the error's class.
        if (e.Message.find(platform::PathToUtf8(FileName)) == std::string::npos)
            e.Message += "\r\nFile: " + platform::PathToUtf8(FileName);
        throw;
    }
    if (!root || root->NodeType() != xml::ntElement)
        throw Exception("The settings file \"" + platform::PathToUtf8(FileName) + "\" has no root element.");
    return root;
}

void RequireElement(const xml::IXMLNodePtr& Root, const std::filesystem::path& FileName, const char* Element)
{
    if (!Root->ChildNodes()->FindNode(Element))
        throw Exception("The settings file \"" + platform::PathToUtf8(FileName) + "\" lacks the required element \"" +
                        Element + "\".");
}

} // namespace

std::string OsLanguageCode(uint16_t LangId)
{
    unsigned sub = LangId >> 10;
    switch (LangId & 0x3FF)
    {
    case 0x01:
        return "ar_KW";
    case 0x02:
        return "bg_BG";
    case 0x04:
        if (sub == 1 || sub == 3)
            return "zh_TW";
        if (sub == 2 || sub == 4)
            return "zh_CN";
        return "";
    case 0x07:
        return "de_DE";
    case 0x09:
        return "en_US";
    case 0x0A:
        return "es_ES";
    case 0x0B:
        return "fi_FI";
    case 0x0C:
        return "fr_FR";
    case 0x0D:
        return "he_IL";
    case 0x0E:
        return "hu_HU";
    case 0x10:
        return "it_IT";
    case 0x11:
        return "ja_JP";
    case 0x12:
        return "ko_KR";
    case 0x13:
        return "nl_NL";
    case 0x16:
        return "pt_PT";
    case 0x19:
        return "ru_RU";
    case 0x1B:
        return "sk_SK";
    case 0x1F:
        return "tr_TR";
    case 0x21:
        return "in_ID";
    default:
        return "";
    }
}

void LoadLoaderSettings()
{
    LoadLoaderSettings(std::filesystem::path());
}

void LoadLoaderSettings(const std::filesystem::path& Directory)
{
    const auto mainFile = Directory / MainSettingsFileName;
    const auto clientFile = Directory / ClientSettingsFileName;
    const auto userFile = Directory / UserSettingsFileName;

    xml::IXMLNodePtr main = LoadSettingsFile(mainFile);
    RequireElement(main, mainFile, "entry_servers");
    RequireElement(main, mainFile, "languages");
    xml::IXMLNodePtr client = LoadSettingsFile(clientFile);
    RequireElement(client, clientFile, "entries");

    std::error_code ec;
    if (!std::filesystem::exists(userFile, ec))
        // The user file holds the saved password and the proxy password: only its owner may read it.
        xml::SaveIXMLNodeToFile(userFile, xml::LoadXMLNodeFromString(DefaultUserSettings), xml::enUTF8,
                                TFileAccess::faOwnerOnly);
    xml::IXMLNodePtr user = LoadSettingsFile(userFile);
    RequireElement(user, userFile, "proxy");
    RequireElement(user, userFile, "alternate_server");
    RequireElement(user, userFile, "entries");

    MainSettings = main;
    ClientSettings = client;
    UserSettings = user;
    UserSettingsPath = userFile;

    ResourcePath = UserSettings->HasAttribute("resource_path") ? UserSettings->Attributes("resource_path") : "resource";

    LanguageCode = UserSettings->Attributes("language");
    if (LanguageCode.empty())
        LanguageCode = OsLanguageCode(platform::UserInterfaceLanguage());
    if (LanguageCode.empty())
        LanguageCode = ClientSettings->Attributes("language");
    if (LanguageCode.empty())
        LanguageCode = "en_US";
}

void SaveUserSettings()
{
    if (!UserSettings)
        throw Exception("The user settings are not loaded.");
    xml::SaveIXMLNodeToFile(UserSettingsPath, UserSettings, xml::enUTF8, TFileAccess::faOwnerOnly);
}

xml::IXMLNodePtr SettingsElement(const xml::IXMLNodePtr& Node, const std::string& Name)
{
    if (!Node || !Node->ChildNodes())
        return nullptr;
    return Node->ChildNodes()->FindNode(Name);
}

std::vector<xml::IXMLNodePtr> SettingsItems(const xml::IXMLNodePtr& ListNode)
{
    return ListNode ? xml::ChildElements(*ListNode) : std::vector<xml::IXMLNodePtr>();
}

bool ReadBooleanSetting(const xml::IXMLNodePtr& Node, const std::string& Name, bool Default)
{
    const std::string text = Node ? Trim(Node->Attributes(Name)) : std::string();
    if (text.empty())
        return Default;
    if (SameText(text, "true"))
        return true;
    if (SameText(text, "false"))
        return false;
    int32_t number = 0;
    if (TryStrToInt(text, number))
        return number != 0;
    throw EConvertError("'" + text + "' is not a valid boolean value for \"" + Name + "\"");
}

TProxySettings ProxySetting()
{
    const TNetworkSettings network = NetworkSettings();
    return {network.ProxyEnabled, network.ProxyServer,   StrToIntDef(network.ProxyPort, 0),
            network.ProxyLogin,   network.ProxyPassword, network.ProxySystem};
}

bool RemindPasswordSetting()
{
    return ReadBooleanSetting(ClientSettings, "remind_password", true);
}

bool OfflineModeOffered()
{
    return ClientSettings && ClientSettings->HasAttribute("show_offline_mode");
}

bool SettingsTabAllowed()
{
    return !ClientSettings || ClientSettings->Attributes("allow_settings") != "no";
}

bool PoweredByShown()
{
    const auto copyright = SettingsElement(ClientSettings, "copyright");
    return !copyright || copyright->Attributes("enabled") != "false";
}

std::string ShowUserCredentialsSetting()
{
    const auto registration = SettingsElement(ClientSettings, "registration");
    return registration && registration->HasAttribute("show_user_credentials")
               ? registration->Attributes("show_user_credentials")
               : "true";
}

bool ShowUserCredentials()
{
    const std::string text = Trim(ShowUserCredentialsSetting());
    int32_t number = 0;
    return text.empty() || SameText(text, "true") || (!SameText(text, "false") && TryStrToInt(text, number) && number);
}

std::optional<int> ReadIntegerSetting(const xml::IXMLNodePtr& Node, const std::string& Name, std::optional<int> Default)
{
    const std::string text = Node ? Trim(Node->Attributes(Name)) : std::string();
    if (text.empty())
        return Default;
    int32_t number = 0;
    if (!TryStrToInt(text, number))
        throw EConvertError("'" + text + "' is not a valid integer value for \"" + Name + "\"");
    return number;
}

TNetworkSettings NetworkSettings()
{
    TNetworkSettings result;
    const auto text = [](const xml::IXMLNodePtr& Node, const char* Name) {
        return Node ? Node->Attributes(Name) : std::string();
    };
    const auto proxy = SettingsElement(UserSettings, "proxy");
    result.ProxyEnabled = ReadBooleanSetting(proxy, "enabled", false);
    result.ProxyServer = text(proxy, "server");
    result.ProxyPort = text(proxy, "port");
    result.ProxyLogin = text(proxy, "login");
    result.ProxyPassword = text(proxy, "password");
    result.ProxySystem = ReadBooleanSetting(proxy, "system", false);
    const auto alternate = SettingsElement(UserSettings, "alternate_server");
    result.AlternateServer = text(alternate, "server");
    result.AlternatePort = text(alternate, "port");
    return result;
}

void StoreNetworkSettings(const TNetworkSettings& Settings)
{
    const auto element = [](const char* Name) {
        auto node = SettingsElement(UserSettings, Name);
        return node ? node : UserSettings->AddChild(Name);
    };
    auto proxy = element("proxy");
    proxy->SetAttribute("enabled", Settings.ProxyEnabled ? "true" : "false");
    proxy->SetAttribute("server", Settings.ProxyServer);
    proxy->SetAttribute("port", Settings.ProxyPort);
    proxy->SetAttribute("login", Settings.ProxyLogin);
    proxy->SetAttribute("password", Settings.ProxyPassword);
    // Files of users who never chose the system's proxy keep the attributes older launchers wrote.
    if (Settings.ProxySystem || proxy->HasAttribute("system"))
        proxy->SetAttribute("system", Settings.ProxySystem ? "true" : "false");
    auto alternate = element("alternate_server");
    alternate->SetAttribute("server", Settings.AlternateServer);
    alternate->SetAttribute("port", Settings.AlternatePort);
}

std::string ApplicationIconFile()
{
    return ClientSettings && ClientSettings->HasAttribute("application_icon")
               ? ClientSettings->Attributes("application_icon")
               : std::string("main_icon.ico");
}

std::string WindowTitleSetting()
{
    return ClientSettings ? ClientSettings->Attributes("title") : std::string();
}

bool PreviewOffered()
{
    return SettingsElement(ClientSettings, "preview_mode") != nullptr;
}

std::vector<xml::IXMLNodePtr> ClientEntryItems()
{
    return SettingsItems(SettingsElement(ClientSettings, "entries"));
}

std::optional<int> MaxEntriesSetting()
{
    return ReadIntegerSetting(ClientSettings, "max_entries");
}

TBrowserStripSetting BrowserStripSetting()
{
    TBrowserStripSetting result;
    const auto strip = SettingsElement(ClientSettings, "browser_window");
    if (!strip)
        return result;
    result.Url = Trim(strip->Attributes("url"));
    result.Width = std::max(0, StrToIntDef(Trim(strip->Attributes("width")), 0));
    result.Height = std::max(0, StrToIntDef(Trim(strip->Attributes("height")), 0));
    return result;
}

TRegistrationSetting RegistrationSetting()
{
    TRegistrationSetting result;
    const auto registration = SettingsElement(ClientSettings, "registration");
    if (!registration)
        return result;
    result.Offered = true;
    result.Type = registration->Attributes("type");
    result.Url = registration->Attributes("url");
    result.Provider = registration->Attributes("provider");
    return result;
}

int DownloadConnectionsSetting()
{
    // A broker's typo such as 0 or 100 should not stop every update; the nearest sound count is used instead.
    return std::clamp(*ReadIntegerSetting(MainSettings, "download_connections", 4), MinDownloadConnections,
                      MaxDownloadConnections);
}

TUpdateKeys UpdateKeysSetting()
{
    TUpdateKeys keys;
    const auto list = SettingsElement(MainSettings, "update_keys");
    if (!list)
        return keys;
    for (const auto& item : SettingsItems(list))
        keys.push_back(ParseUpdateKey(item->Attributes("name"), Trim(item->Attributes("value"))));
    // Without a key no index could ever be accepted; that is a broken installation, not a policy.
    if (keys.empty())
        throw EConvertError("The element \"update_keys\" of " + std::string(MainSettingsFileName) + " lists no key.");
    return keys;
}

} // namespace orb
