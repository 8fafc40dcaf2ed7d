#pragma once

#include "net/ProxySettings.h"
#include "update/UpdateTrust.h"
#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orb
{

/// The installation's settings file (entry servers, languages, client executable).
inline constexpr const char* MainSettingsFileName = "main_loader_settings.xml";
/// The broker's distribution settings file (title, account types, skins, tabs).
inline constexpr const char* ClientSettingsFileName = "client_loader_settings.xml";
/// The user's own settings file, the only one the launcher writes.
inline constexpr const char* UserSettingsFileName = "user_loader_settings.xml";
/// The content of a new user settings file.
extern const char* const DefaultUserSettings;

/// Root element of the main settings file; loaded once, only read.
extern xml::IXMLNodePtr MainSettings;
/// Root element of the client settings file; loaded once, only read.
extern xml::IXMLNodePtr ClientSettings;
/// Root element of the user settings file; changed in memory and written back with SaveUserSettings.
extern xml::IXMLNodePtr UserSettings;

/// Reads the three settings files from the working directory (creating the user file when missing), checks
/// their required elements and settles ResourcePath and LanguageCode of the language table.
/// Errors name the file; a missing required element names the element.
void LoadLoaderSettings();
/// The same with the files taken from Directory (tests, or a launcher started elsewhere).
void LoadLoaderSettings(const std::filesystem::path& Directory);
/// Writes UserSettings back to the file it was loaded from (UTF-8 with declaration, replaced atomically).
void SaveUserSettings();

/// The child element Name of a settings element, or null (also when Node is null).
xml::IXMLNodePtr SettingsElement(const xml::IXMLNodePtr& Node, const std::string& Name);
/// The items of a settings list: every child element of ListNode in document order (none when it is null).
std::vector<xml::IXMLNodePtr> SettingsItems(const xml::IXMLNodePtr& ListNode);

/// A Boolean setting: "true" or "false" in any case, or a whole number (non-zero is true); Default when the attribute
/// is absent or empty. Anything else raises EConvertError naming the attribute and its value.
bool ReadBooleanSetting(const xml::IXMLNodePtr& Node, const std::string& Name, bool Default);

/// The user file's proxy (its enabled flag read as a Boolean setting, a port that is not a number as 0).
TProxySettings ProxySetting();
/// Whether the forgotten-password link is shown (client file `remind_password`, a Boolean; shown when absent).
bool RemindPasswordSetting();
/// Whether the off-line box is offered (the mere presence of the client file's `show_offline_mode`).
bool OfflineModeOffered();
/// Whether the Settings tab is offered (the client file's `allow_settings` is not "no").
bool SettingsTabAllowed();
/// Whether the powered-by label is shown (the client file's `copyright` `enabled` is not "false").
bool PoweredByShown();
/// The registration element's `show_user_credentials` as the client receives it: "true" when absent.
std::string ShowUserCredentialsSetting();
/// Whether the registration wizard shows the new credentials: that text empty, "true" in any case or a non-zero number.
bool ShowUserCredentials();

/// A whole-number setting: Default when the attribute is absent or empty; anything that is not a whole number raises
/// EConvertError naming the attribute and its value.
std::optional<int> ReadIntegerSetting(const xml::IXMLNodePtr& Node, const std::string& Name,
                                      std::optional<int> Default = std::nullopt);

/// The user file's proxy and alternate configuration server, as the Settings page shows and edits them: the texts
/// as stored (a port the user typed is kept as typed), the proxy's enabled flag read as a Boolean setting.
struct TNetworkSettings
{
    bool ProxyEnabled = false;   ///< the proxy `enabled`
    std::string ProxyServer;     ///< the proxy `server`
    std::string ProxyPort;       ///< the proxy `port`
    std::string ProxyLogin;      ///< the proxy `login`
    std::string ProxyPassword;   ///< the proxy `password`
    bool ProxySystem = false;    ///< the proxy `system`: the desktop's settings name the proxy (absent: false)
    std::string AlternateServer; ///< the `alternate_server` `server`
    std::string AlternatePort;   ///< the `alternate_server` `port`
};
/// Reads the user file's network settings (empty texts where an element or attribute is missing).
TNetworkSettings NetworkSettings();
/// Writes Settings into the user file in memory, making the proxy and alternate_server elements when missing.
void StoreNetworkSettings(const TNetworkSettings& Settings);

/// The client file's application icon file: its `application_icon`, "main_icon.ico" when the attribute is absent.
std::string ApplicationIconFile();
/// The window's title: the client file's `title`.
std::string WindowTitleSetting();
/// Whether the preview tab is offered (the client file has a `preview_mode` element).
bool PreviewOffered();
/// The account types the client file lists (the items of its `entries`).
std::vector<xml::IXMLNodePtr> ClientEntryItems();
/// The client file's `max_entries`: how many account types the list keeps; none when absent or empty.
std::optional<int> MaxEntriesSetting();

/// The browser strip above the login panel (the client file's `browser_window`).
struct TBrowserStripSetting
{
    std::string Url; ///< the page; empty when there is no strip
    int Width = 0;   ///< the strip's width, 0 when missing or not a positive number
    int Height = 0;  ///< the strip's height, 0 when missing or not a positive number
};
/// Reads the browser strip (Url trimmed; no strip when the element or its url is missing).
TBrowserStripSetting BrowserStripSetting();

/// The client file's registration element.
struct TRegistrationSetting
{
    bool Offered = false; ///< the element exists (the registration tab is shown)
    std::string Type;     ///< "web", "built_in" or another text (compared exactly)
    std::string Url;      ///< the registration page or service
    std::string Provider; ///< the provider identifier sent to the service
};
/// Reads the registration element (Offered false and empty texts without one).
TRegistrationSetting RegistrationSetting();

/// The public keys the update index must be signed with: the items (`name`, Base64 `value`) of the main file's
/// `update_keys` element; none when it is absent (indexes are then taken unsigned). Raises EConvertError for a key
/// that is not an Ed25519 public key, or an element that lists no key.
TUpdateKeys UpdateKeysSetting();

/// Fewest and most connections an update downloads over at once.
inline constexpr int MinDownloadConnections = 1;
inline constexpr int MaxDownloadConnections = 16;
/// How many connections an update downloads over at once: the main file's `download_connections`, 4 when absent or
/// empty, a number outside 1..16 brought to the nearer end; raises EConvertError for a value that is not a number.
int DownloadConnectionsSetting();

/// The language code of an operating-system language identifier (primary language in the low 10 bits,
/// sub-language in the high 6), or empty when the launcher has no language for it.
std::string OsLanguageCode(uint16_t LangId);

} // namespace orb
