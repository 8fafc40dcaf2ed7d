#pragma once

#include "net/ProxySettings.h"
#include "update/UpdateTrust.h"
#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <filesystem>
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

/// The public keys the update index must be signed with: the items (`name`, Base64 `value`) of the main file's
/// `update_keys` element; none when it is absent (indexes are then taken unsigned). Raises EConvertError for a key
/// that is not an Ed25519 public key, or an element that lists no key.
TUpdateKeys UpdateKeysSetting();

/// The language code of an operating-system language identifier (primary language in the low 10 bits,
/// sub-language in the high 6), or empty when the launcher has no language for it.
std::string OsLanguageCode(uint16_t LangId);

} // namespace orb
