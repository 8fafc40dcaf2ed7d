#include "launcher/LoginFlow.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "base/Views.h"
#include "exception_dialog/SmartException.h"
#include "launcher/ClientLaunch.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/ExeVersion.h"
#include "launcher/LoaderSettings.h"
#include "launcher/PasswordScrambling.h"
#include "localisation/Unit_Language.h"
#include "platform/AppDirectory.h"
#include "platform/Environment.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/ShellOpen.h"
#include "update/Installation.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orb
{

const char* const OfflineUnavailableMessage =
    "Off-line mode is not available either because your haven\xE2\x80\x99t logged in before.";
const char* const AutoUpdateUnavailableQuestion =
    "The application auto-update is currently unavailable, which could cause program errors.\r\n"
    "Do you want to continue anyway?";

namespace
{

const char* const BrowserErrorMessage =
    "Could not open browser window.\r\nPlease make sure your browser is configured to check if it is the default "
    "browser, and then try again.\r\n\r\nIf the problem persists, please contact technical support.\r\nPlease be "
    "ready to provide the full text of this error. (Click \"Details\", and then copy, paste, and save the text.)";

void AppendItems(std::vector<TListItem>& List, const xml::IXMLNodePtr& ListNode)
{
    for (const auto& item : SettingsItems(ListNode))
        List.push_back({item->Attributes("name"), item->Attributes("value")});
}

std::string ListXml(const char* Tag, const xml::IXMLNodePtr& ListNode)
{
    std::string text = std::string("<") + Tag + ">";
    for (const auto& item : SettingsItems(ListNode))
        text += xml::IXMLNodeToXML(item, xml::enUTF8, 0);
    return text + "</" + Tag + ">";
}

/// With update keys: the index just fetched from BaseURL must be signed by one of them, not older than one accepted
/// before and not expired.
void VerifyFetchedIndex(TXMLDataProvider& Provider, TProgressRunner& Progress, const TUpdateKeys& Keys,
                        const xml::IXMLNode& Index, const std::string& BaseURL)
{
    if (Keys.empty())
        return;
    // The signature covers the bytes as served, so they are checked rather than the parsed tree.
    const std::string& indexBytes = Provider.RawData();
    VerifyUpdateIndex(
        indexBytes, Index, BaseURL + "index.xml", Keys,
        [&](const std::string& Address) {
            Provider.HTTP.URL.Parameters.Clear();
            Provider.HTTP.URL.SetURL(Address);
            Progress.HTTPRequest(Provider.HTTP);
            return Progress.HTTPResponse;
        },
        GetAppDirectory() / UpdateSerialsFileName);
}

bool IsUpdateRefusal(const std::exception_ptr& E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const EUpdateRefused&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace

void OpenUrlInBrowser(const std::string& URL)
{
    try
    {
        platform::OpenInBrowser(URL);
    }
    catch (const EOSError& e)
    {
        ESmartException error(LoginWindowClassName);
        error.Message = BrowserErrorMessage;
        error.Code = e.ErrorCode;
        error.Details = "URL: " + URL + "\r\nError code: " + std::to_string(e.ErrorCode);
        throw error;
    }
}

TLoginFlow::TLoginFlow(TXMLDataProvider& DataProvider, TProgressRunner& Progress, TUpdateRunner& Updater)
    : FDataProvider(DataProvider), FProgress(Progress), FUpdater(Updater)
{}

void TLoginFlow::Start()
{
    Login = UserSettings->Attributes("last_login");
    KeyringState = platform::KeyringState();
    ReadSavedPassword();
    ApplyProxySettings();
    FillEntries();

    Languages.clear();
    AppendItems(Languages, SettingsElement(MainSettings, "languages"));
    for (const auto& item : SettingsItems(SettingsElement(ClientSettings, "languages")))
    {
        const std::string name = item->Attributes("name");
        auto it = std::find_if(Languages.begin(), Languages.end(),
                               [&](const TListItem& l) { return SameText(l.Name, name); });
        if (it != Languages.end())
            it->Value = item->Attributes("value");
        else
            Languages.push_back({name, item->Attributes("value")});
    }
    LanguageIndex = Languages.empty() ? -1 : 0;
    for (size_t i = 0; i < Languages.size(); ++i)
        if (SameText(Languages[i].Value, LanguageCode))
        {
            LanguageIndex = static_cast<int>(i);
            break;
        }

    Skins.clear();
    AppendItems(Skins, SettingsElement(ClientSettings, "skins"));
    SkinIndex = -1;
    StartSkin = UserSettings->Attributes("skin");
    if (StartSkin.empty() || Skins.empty())
        StartSkin = DefaultSkinName();
    for (size_t i = 0; i < Skins.size(); ++i)
        if (Skins[i].Value == StartSkin)
        {
            SkinIndex = static_cast<int>(i);
            break;
        }
    Offline = false;
}

std::string TLoginFlow::KeyringUnavailableKey() const
{
    switch (KeyringState)
    {
    case platform::TKeyringState::ksAvailable:
        return {};
    case platform::TKeyringState::ksNoSessionBus:
        return "KeyringNoSessionBus";
    case platform::TKeyringState::ksNoService:
    default:
        return "KeyringNoService";
    }
}

void TLoginFlow::ReadSavedPassword()
{
    Password.clear();
    SavePassword = false;
    SaveInKeyring = false;
    const std::string stored = UserSettings->Attributes("password");
    // A scrambled password wins over the keyring note: an older launcher that saved one left the note behind.
    if (stored.empty() && UserSettings->Attributes("password_store") == "keyring")
    {
        if (KeyringState != platform::TKeyringState::ksAvailable)
            return;
        // The choice stays made even when the entry cannot be read: the user types the password, and the login
        // stores it in the keyring again.
        SaveInKeyring = true;
        SavePassword = true;
        try
        {
            Password = platform::ReadKeyring(KeyringServiceName, Login).value_or("");
        }
        catch (const std::exception&)
        {
            // A locked or refusing keyring leaves the box empty; it never stands in the way of a login.
        }
        return;
    }
    try
    {
        Password = ScrambleSavedPassword(stored, false);
    }
    catch (const std::exception& e)
    {
        Dialogs().ShowMessage(e.what());
    }
    SavePassword = !Password.empty();
}

void TLoginFlow::ReportKeyringFailure(const std::string& Key, const std::string& Reason)
{
    const std::string text = LanguageTable ? LanguageTable->Get(Key, {Reason}) : "Unknown:" + Key;
    Dialogs().ShowLocalizedDialog(LanguageText("Warning"), text, TMsgDlgType::mtWarning, {LanguageText("mbOK")},
                                  {TMsgDlgBtn::mbOK});
}

void TLoginFlow::StoreSavedPassword(const std::string& PreviousLogin)
{
    const bool keyringHeld = UserSettings->Attributes("password_store") == "keyring";
    std::string scrambled;
    bool inKeyring = false, reported = false;
    if (SavePassword && SaveInKeyring)
    {
        // Never the scrambled form instead: the user asked for the keyring, and is told that it failed.
        try
        {
            if (KeyringState != platform::TKeyringState::ksAvailable)
                throw platform::EKeyringError(LanguageText(KeyringUnavailableKey()));
            platform::WriteKeyring(KeyringServiceName, Login, Password);
            inKeyring = true;
        }
        catch (const std::exception& e)
        {
            ReportKeyringFailure("KeyringWriteFailed", e.what());
            reported = true;
        }
    }
    else if (SavePassword)
        scrambled = ScrambleSavedPassword(Password, true);

    // The entry the user file pointed at goes, unless it was just replaced: the file remembers one password.
    if (keyringHeld && !(inKeyring && PreviousLogin == Login) && KeyringState == platform::TKeyringState::ksAvailable)
        try
        {
            platform::ForgetKeyring(KeyringServiceName, PreviousLogin);
        }
        catch (const std::exception& e)
        {
            if (!reported)
                ReportKeyringFailure("KeyringForgetFailed", e.what());
        }

    // The user file notes in "password_store" that the password is in the keyring; "password" stays empty, so that an
    // older launcher finds no password rather than a wrong one.
    UserSettings->SetAttribute("password", scrambled);
    if (inKeyring)
        UserSettings->SetAttribute("password_store", "keyring");
    else if (UserSettings->HasAttribute("password_store"))
        UserSettings->AttributeNodes()->Delete("password_store");
}

void TLoginFlow::FillEntries()
{
    Entries.clear();
    for (const auto& item : ClientEntryItems())
        Entries.push_back({item->Attributes("name"), item->Attributes("value")});
    AppendItems(Entries, SettingsElement(UserSettings, "entries"));
    SetEntryText(UserSettings->Attributes("last_entry"));
    if (EntryIndex < 0)
    {
        EntryIndex = Entries.empty() ? -1 : 0;
        EntryText = Entries.empty() ? "" : Entries[0].Name;
    }
}

void TLoginFlow::SetEntryText(const std::string& Text)
{
    EntryText = Text;
    EntryIndex = -1;
    for (size_t i = 0; i < Entries.size(); ++i)
        if (SameText(Entries[i].Name, Text))
        {
            EntryIndex = static_cast<int>(i);
            EntryText = Entries[i].Name;
            return;
        }
}

std::string TLoginFlow::SelectedEntryValue() const
{
    if (IsPreviewMode)
    {
        auto preview = SettingsElement(ClientSettings, "preview_mode");
        return preview ? preview->Attributes("entry") : "";
    }
    if (EntryIndex >= 0 && EntryIndex < static_cast<int>(Entries.size()))
        return Entries[static_cast<size_t>(EntryIndex)].Value;
    return EntryText;
}

bool TLoginFlow::CheckUserInput()
{
    std::string problem;
    if (Trim(EntryText).empty() || Trim(Login).empty())
        problem = "PleaseInputUsername";
    // Both are written to the user file and to the client's parameter block, whose lines a line break would split.
    else if (ContainsControlCharacters(EntryText) || ContainsControlCharacters(Login))
        problem = "LoginHasControlCharacters";
    else
        return true;
    Dialogs().ShowLocalizedDialog(LanguageText("Message"), LanguageText(problem), TMsgDlgType::mtWarning,
                                  {LanguageText("mbOK")}, {TMsgDlgBtn::mbOK});
    return false;
}

std::string TLoginFlow::SkinsXml()
{
    return ListXml("skins", SettingsElement(ClientSettings, "skins"));
}

std::string TLoginFlow::EntriesXml()
{
    return ListXml("entries", SettingsElement(ClientSettings, "entries"));
}

std::string TLoginFlow::DefaultSkinName()
{
    auto skins = SettingsElement(ClientSettings, "skins");
    return skins ? skins->Attributes("default") : "Default";
}

void TLoginFlow::ApplyProxySettings()
{
    const TProxySettings proxy = ProxySetting();
    UseProxy(FDataProvider.HTTP, proxy);
    SetAccountServicesUseSystemProxy(proxy.System);
}

void TLoginFlow::SaveSettings(const TNetworkSettings& Network, const std::string& Skin)
{
    const bool wasSystem = ProxySetting().System;
    StoreNetworkSettings(Network);
    // The answer to a proxy's 407 belongs to the proxy choice it was given for.
    if (ProxySetting().System != wasSystem)
        ForgetSystemProxyCredentials();
    ApplyProxySettings();
    if (!Skin.empty())
        UserSettings->SetAttribute("skin", Skin);
    SaveUserSettings();
}

void TLoginFlow::RememberEntry()
{
    for (const auto& item : Entries)
        if (SameText(item.Name, EntryText))
            return;
    auto userEntries = SettingsElement(UserSettings, "entries");
    if (!userEntries)
        userEntries = UserSettings->AddChild("entries");
    auto list = userEntries->ChildNodes();
    const int count = list->Count() + static_cast<int>(ClientEntryItems().size());
    // Without max_entries the list has no limit: a typed account type is always kept.
    const std::optional<int> maxEntries = MaxEntriesSetting();
    xml::IXMLNodePtr entry;
    if (maxEntries && count >= *maxEntries && list->Count() > 0)
        entry = list->Last();
    else
        entry = userEntries->AddChild("entry");
    entry->SetAttribute("name", EntryText);
    entry->SetAttribute("value", EntryText);
}

void TLoginFlow::SetLaunchParameters()
{
    TAttributes& settings = ConnectionSettings;
    settings.SetValues("application_icon", ClientSettings->Attributes("application_icon"));
    settings.SetValues("Language", Languages.at(static_cast<size_t>(LanguageIndex)).Value);
    settings.SetValues("skin", SkinIndex >= 0 && SkinIndex < static_cast<int>(Skins.size())
                                   ? Skins[static_cast<size_t>(SkinIndex)].Value
                                   : DefaultSkinName());
    settings.SetValues("skins", SkinsXml());
    if (int country = settings.IndexOfName("Country"); country >= 0)
        settings.Delete(country);
    // With the system's proxy the manual one is not in force: the client is not told of it either.
    if (const TNetworkSettings network = NetworkSettings(); network.ProxyEnabled && !network.ProxySystem)
    {
        // The client receives the port as the user typed it.
        settings.SetValues("proxy_server", network.ProxyServer);
        settings.SetValues("proxy_port", network.ProxyPort);
        settings.SetValues("proxy_login", network.ProxyLogin);
        settings.SetValues("proxy_password", network.ProxyPassword);
    }
    if (IsPreviewMode)
    {
        auto preview = SettingsElement(ClientSettings, "preview_mode");
        settings.SetValues("login", preview->Attributes("login"));
        settings.SetValues("password", preview->Attributes("password"));
        settings.SetValues("preview_mode", "yes");
    }
    else
    {
        settings.SetValues("login", Trim(Login));
        settings.SetValues("password", Password);
    }
    if (const TRegistrationSetting registration = RegistrationSetting(); registration.Offered)
    {
        settings.SetValues("registration_type", registration.Type);
        settings.SetValues("registration_url", registration.Url);
        settings.SetValues("registration_provider", registration.Provider);
        settings.SetValues("entries", EntriesXml());
        settings.SetValues("registration_show_user_credentials", ShowUserCredentialsSetting());
    }
    settings.SetValues("loader", LoaderPath.empty() ? platform::PathToUtf8(platform::ExecutablePath()) : LoaderPath);
    settings.SetValues("office_id", ClientSettings->Attributes("office_id"));
    settings.SetValues("entry", SelectedEntryValue());
}

bool TLoginFlow::AskContinueWithoutUpdate()
{
    std::string yes = "Yes", no = "No", caption = "Warning";
    if (LanguageTable)
    {
        yes = LanguageTable->Yes.empty() ? yes : LanguageTable->Yes;
        no = LanguageTable->No.empty() ? no : LanguageTable->No;
        caption = LanguageTable->Warning.empty() ? caption : LanguageTable->Warning;
    }
    return Dialogs().ShowLocalizedDialog(caption, AutoUpdateUnavailableQuestion, TMsgDlgType::mtWarning, {yes, no},
                                         {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo}) == TModalResult::mrYes;
}

xml::IXMLNodePtr TLoginFlow::FetchUpdateIndex(const std::string& BaseURL)
{
    FDataProvider.HTTP.URL.Parameters.Clear();
    FDataProvider.HTTP.URL.SetURL(BaseURL + "index.xml");
    FProgress.XMLRequest(FDataProvider);
    auto index = FDataProvider.XMLData();
    if (!index || index->NodeType() != xml::ntElement)
        throw Exception("The update index is empty:\r\n" + BaseURL + "index.xml");
    return index;
}

void TLoginFlow::MergePrivateIndex(const xml::IXMLNodePtr& Index, const xml::IXMLNodePtr& PrivateIndex)
{
    auto privateChildren = PrivateIndex->ChildNodes();
    auto children = Index->ChildNodes();
    if (!privateChildren || !children)
        return;
    for (int i = 0; i < privateChildren->Count(); ++i)
    {
        auto x = privateChildren->Get(i);
        const std::string kind = x->NodeName();
        if (x->NodeType() != xml::ntElement || (kind != "file" && kind != "directory"))
            continue;
        const std::string name = x->Attributes("name");
        xml::IXMLNodePtr match;
        for (int j = 0; j < children->Count() && !match; ++j)
        {
            auto candidate = children->Get(j);
            if (candidate->NodeType() == xml::ntElement && candidate->Attributes("name") == name)
                match = candidate;
        }
        if (kind == "file")
        {
            if (!match)
            {
                match = Index->AddChild("file");
                match->SetAttribute("name", name);
            }
            match->SetAttribute("size", x->Attributes("size"));
            match->SetAttribute("modified", x->Attributes("modified"));
            // The private file's hash, or none: a hash of the replaced public file must not stay.
            if (x->HasAttribute("sha256") || match->HasAttribute("sha256"))
                match->SetAttribute("sha256", x->Attributes("sha256"));
            match->SetAttribute("private", "true");
        }
        else
        {
            if (!match)
            {
                match = Index->AddChild("directory");
                match->SetAttribute("name", name);
                match->SetAttribute("modified", x->Attributes("modified"));
            }
            MergePrivateIndex(match, x);
        }
    }
}

std::string TLoginFlow::UpdateClient(const xml::IXMLNodePtr& Index, const std::string& DownloadURL,
                                     const std::string& PrivateDownloadURL)
{
    FUpdater.Connections = DownloadConnectionsSetting();
    return UpdateInstallation(Index, FUpdater, DownloadURL, PrivateDownloadURL, ProxySetting());
}

TLoginResult TLoginFlow::Button_OKClick(bool Preview)
{
    IsPreviewMode = Preview;
    if (!IsPreviewMode && !CheckUserInput())
        return TLoginResult::lrInputRejected;

    RememberEntry();
    const std::string previousLogin = UserSettings->Attributes("last_login");
    UserSettings->SetAttribute("last_entry", EntryText);
    UserSettings->SetAttribute("last_login", Login);
    StoreSavedPassword(previousLogin);
    UserSettings->SetAttribute("language", Languages.at(static_cast<size_t>(LanguageIndex)).Value);
    SaveUserSettings();

    if (!Offline)
        FetchConnectionSettings(SelectedEntryValue(), FDataProvider, FProgress);

    const std::string available = ConnectionSettings.Values("loader_version");
    const std::string setupLink = platform::PathToUtf8(platform::Utf8ToPath(WorkingDirectory) / "setup_link");
    std::error_code ec;
    if (!available.empty() && xml::CompareVersions(ExeVersion.VersionText(), available) < 0 &&
        std::filesystem::exists(platform::Utf8ToPath(setupLink), ec))
    {
        auto answer = Dialogs().ShowLocalizedDialog(
            LanguageText("Confirm"), LanguageText("NewVersionAvailable"), TMsgDlgType::mtConfirmation,
            {LanguageText("mbYes"), LanguageText("mbNo")}, {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbNo});
        if (answer == TModalResult::mrYes)
        {
            OpenUrlInBrowser(LoadTextFromFile(setupLink, TDefaultEncoding::deASCII));
            return TLoginResult::lrSetupOpened;
        }
    }

    SetLaunchParameters();
    const TEnvironment clientEnvironment = ExportConnectionSettings();

    std::string directory;
    if (Offline)
    {
        directory = FindNewestClientDirectory();
        if (directory.empty())
            throw Exception(OfflineUnavailableMessage);
    }
    else
    {
        std::string updateURL, privateURL;
        xml::IXMLNodePtr index, privateIndex;
        const TUpdateKeys keys = UpdateKeysSetting();
        try
        {
            updateURL = ConnectionSettings.GetString("tarnel_update_url");
            index = FetchUpdateIndex(updateURL);
            VerifyFetchedIndex(FDataProvider, FProgress, keys, *index, updateURL);
            if (!ConnectionSettings.Values("private_resource_path").empty())
            {
                privateURL = ConnectionSettings.GetString("tarnel_private_update_url") +
                             ConnectionSettings.GetString("private_resource_path") + "/";
                privateIndex = FetchUpdateIndex(privateURL);
                VerifyFetchedIndex(FDataProvider, FProgress, keys, *privateIndex, privateURL);
            }
        }
        catch (...)
        {
            auto failure = std::current_exception();
            // A refused index is not an unavailable update: going on without it is not offered.
            if (IsUserCancellation(failure) || IsUpdateRefusal(failure))
                throw;
            ApplicationEventsException(LoginWindowClassName, failure);
            if (!AskContinueWithoutUpdate())
                return TLoginResult::lrDeclined;
            index = xml::CreateXMLNode("empty");
            privateIndex.reset();
            privateURL.clear();
        }
        if (privateIndex)
            MergePrivateIndex(index, privateIndex);
        directory = UpdateClient(index, updateURL, privateURL);
    }

    std::string application = MainSettings->Attributes("application");
#ifndef _WIN32
    // Index paths use backslashes; here the separator is "/".
    application = StringReplaceAll(application, "\\", "/");
#endif
    RunProgram(directory + application, "", clientEnvironment);
    return TLoginResult::lrStarted;
}

} // namespace orb
