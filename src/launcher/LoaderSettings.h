#pragma once

#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <filesystem>
#include <string>

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

/// The language code of an operating-system language identifier (primary language in the low 10 bits,
/// sub-language in the high 6), or empty when the launcher has no language for it.
std::string OsLanguageCode(uint16_t LangId);

} // namespace orb
