#pragma once

#include "localisation/PropertyManager.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orb
{

class TLanguage;

/// The directory of the resource files (languages, skins), without a trailing separator.
extern std::string ResourcePath;
/// The current language code, for example en_US.
extern std::string LanguageCode;
/// The process-wide message table; created by the start-up code once ResourcePath and LanguageCode are known.
extern std::unique_ptr<TLanguage> LanguageTable;

/// The language file of LanguageCode under ResourcePath, or the en_US file when that one does not exist.
std::string GetLanguageFileName();

/// Fills the numbered placeholders {0}, {1} ... of Template; {{ and }} stand for single braces.
std::string FormatTemplate(const std::string& Template, const std::vector<std::string>& Args);

/// Called after every load of a language, so that layers above can refresh texts they keep.
using TLanguageLoadedHook = std::function<void(TLanguage& Language)>;
/// Registers a hook; returns its identifier for RemoveLanguageLoadedHook.
int AddLanguageLoadedHook(TLanguageLoadedHook Hook);
/// Removes a hook registered before.
void RemoveLanguageLoadedHook(int Id);

/// Registers a window of the application, re-translated on every change of language.
void RegisterApplicationForm(IComponent* Form);
/// Removes a window from the application's list.
void UnregisterApplicationForm(IComponent* Form);
/// The application's windows in the order they were registered.
std::vector<IComponent*> ApplicationForms();

/// The message table: the section "Messages" of the current language file, button captions and
/// message-box titles; re-translates every window when the language changes.
class TLanguage
{
public:
    /// Installs the process-wide language storage on the current language file and loads it.
    TLanguage();
    ~TLanguage();
    TLanguage(const TLanguage&) = delete;
    TLanguage& operator=(const TLanguage&) = delete;

    /// The manager that holds the message table.
    TPropertyManager PropertyManager;
    /// Captions of message-box buttons.
    std::string Ok, Cancel, Yes, No;
    /// Titles of input and message boxes.
    std::string Input, Confirmation, Information, Warning;

    /// The text of a message, or "Unknown:" followed by the key.
    std::string Get(const std::string& MsgId) const;
    /// The text of a message with its placeholders filled.
    std::string Get(const std::string& MsgId, const std::vector<std::string>& Args) const;
    /// True when the key was loaded with a non-empty text.
    bool HasMessage(const std::string& MsgId) const;
    /// Loads the messages and refreshes the captions, then calls the language-loaded hooks.
    void SetLanguage();
    /// After LanguageCode has changed: re-reads the file, reloads the messages, re-translates every window.
    void ChangeLanguage();
};

} // namespace orb
