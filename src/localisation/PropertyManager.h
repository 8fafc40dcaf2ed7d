#pragma once

#include "localisation/Component.h"
#include "localisation/PropertySaveLoad.h"
#include "localisation/StringValues.h"

#include <functional>
#include <memory>
#include <string>

namespace orb
{

/// When a property manager translates or loads settings by itself.
enum TAutoLoadType
{
    altNone,
    altAfterCreate,
    altBeforeShow,
};

/// When a property manager saves settings by itself.
enum TAutoSaveType
{
    astNone,
    astAfterClose,
    astBeforeDestroy,
};

/// Notification around a translation or a settings load or save.
using TNotifyEvent = std::function<void(TPropertyManager& Sender)>;
/// May change a property's value before it is set on AComponent.
using TComponentNotifyEvent = std::function<void(TPropertyManager& Sender, IComponent& AComponent,
                                                 const std::string& PropertyName, std::string& Value)>;
/// May change a free string before it is stored in the string table.
using TStringNotifyEvent =
    std::function<void(TPropertyManager& Sender, const std::string& PropertyName, std::string& Value)>;

/// The process-wide language storage every property manager translates from, or nullptr.
TPropertySaveLoad* ProcessLanguageStorage();
/// Installs (or, with nullptr, removes) the process-wide language storage.
void SetProcessLanguageStorage(std::shared_ptr<TPropertySaveLoad> Storage);

/// Translates a window from a language file section (keys "Component.Property") and saves and restores
/// chosen properties in a settings file, by reflection over the window's components. It also keeps a
/// table of free strings loaded from a strings section.
class TPropertyManager
{
public:
    /// Sets the defaults; AOwner (the window) may be nullptr.
    explicit TPropertyManager(IComponent* AOwner = nullptr);
    /// Unhooks the window's events, putting the window's own handlers back.
    ~TPropertyManager();
    TPropertyManager(const TPropertyManager&) = delete;
    TPropertyManager& operator=(const TPropertyManager&) = delete;

    /// The window the manager sits on, or nullptr.
    IComponent* Owner() const { return FOwner; }

    /// Backend of the storages the manager creates.
    TSaveLoadModule CommonSaveLoadModule = smIni32;
    /// The component whose children the keys address (the owning window).
    IComponent* CommonComponent = nullptr;
    /// Separator of list items inside one value.
    const std::string& CommonItemSeparator() const { return FCommonItemSeparator; }
    /// Sets the item separator; a blank value restores ";".
    void SetCommonItemSeparator(const std::string& Value);
    /// Stands for a line break inside one value.
    const std::string& CommonLineSeparator() const { return FCommonLineSeparator; }
    /// Sets the line separator; a blank value restores " || ".
    void SetCommonLineSeparator(const std::string& Value);

    /// The free strings (ID, value), matched ignoring letter case.
    TStringValues LanguageStrings;
    /// Language file used when no process-wide language storage exists.
    std::string LanguageFile;
    /// Second language file whose entries are applied after the first.
    std::string LanguageFile_Secondary;
    /// Section holding the component texts.
    std::string LanguageSection;
    /// Section holding the free strings.
    std::string LanguageStringsSection = "Strings";
    /// Entries naming components or properties that are never translated.
    TStrings LanguageComponentIngnoreList;
    /// When to translate automatically.
    TAutoLoadType LanguageAutoLoad = altNone;
    /// Whether the strings section is loaded.
    bool LanguageLoadStrings = false;
    /// Fired before a translation.
    TNotifyEvent OnLanguageBeforeLoad;
    /// Fired after a translation.
    TNotifyEvent OnLanguageAfterLoad;
    /// May change a value before it is set on a component.
    TComponentNotifyEvent OnLanguageLoadProperty;
    /// May change a value before it is stored in the string table.
    TStringNotifyEvent OnLanguageLoadString;

    /// Settings file.
    std::string SettingsFile;
    /// Settings section.
    std::string SettingsSection;
    /// Entries "Component.Property" to save.
    TStrings SettingsComponentList;
    /// When to load settings automatically.
    TAutoLoadType SettingsAutoLoad = altNone;
    /// When to save settings automatically.
    TAutoSaveType SettingsAutoSave = astNone;
    /// Whether the window rectangle and state are saved.
    bool SettingsSaveWindowPosition = false;
    /// Fired when the manager has been loaded with its window.
    TNotifyEvent OnCreate;
    /// Fired before settings are loaded.
    TNotifyEvent OnSettingsBeforeLoad;
    /// Fired after settings are loaded.
    TNotifyEvent OnSettingsAfterLoad;
    /// Fired before settings are saved.
    TNotifyEvent OnSettingsBeforeSave;
    /// Fired after settings are saved.
    TNotifyEvent OnSettingsAfterSave;
    /// May change a value before it is set from the settings file.
    TComponentNotifyEvent OnSettingsLoadProperty;

    /// Called once the window is complete: fires OnCreate, adds the stored "ID=Value" strings and hooks
    /// the window's create, show, close and destroy events.
    void Loaded(const TStrings& StoredStringValues = {}, bool DesignMode = false);
    /// Translates the window and/or loads the free strings.
    void LoadLanguage(bool LoadStrings, bool LoadProperties, bool DesignMode);
    /// Writes the current texts and/or free strings into the language file.
    void SaveLanguage(bool SaveStrings, bool SaveProperties, bool DesignMode);
    /// Sets the listed properties from the settings file.
    void LoadSettings();
    /// Writes the listed properties (and the window position) into the settings file.
    void SaveSettings();
    /// The free string ID (ignoring letter case), or Default.
    std::string GetString(const std::string& ID, const std::string& Default) const;

    /// The language storage in use: the process-wide one, or one on LanguageFile, or nullptr.
    TPropertySaveLoad* LanguageSaveLoad();
    /// A storage on LanguageFile_Secondary, or nullptr.
    TPropertySaveLoad* SecondaryLanguageSaveLoad();
    /// A storage on SettingsFile, or nullptr.
    TPropertySaveLoad* SettingsSaveLoad();

    /// A key resolved to a component and the name of one of its properties.
    struct TResolvedKey
    {
        IComponent* Component = nullptr;
        std::string PropertyName;
    };
    /// Resolves "Property", "Component.Property" or "Frame.Component.Property"; Component is nullptr
    /// when a name is not found.
    TResolvedKey ResolveKey(const std::string& Key) const;
    /// True when the pair must not be translated (an empty property tests the whole component).
    bool IsIgnored(IComponent& Component, const std::string& PropertyName) const;

    /// Inserts the manager into the owning window's events (once).
    void HookFormEvents();
    /// Puts the window's own handlers back where the manager's are still installed.
    void UnhookFormEvents();

private:
    struct THook;
    enum TEventSlot
    {
        esCreate,
        esDestroy,
        esShow,
        esClose
    };
    void FormEvent(TEventSlot Slot, IComponent& Sender);
    std::string DefaultSection() const;
    void ApplySection(TPropertySaveLoad& Storage, bool DesignMode);
    void LoadStringsSection(TPropertySaveLoad& Storage);
    void LoadFrames(IComponent& Component);
    bool SetPropertyFromText(IComponent& Component, const std::string& PropertyName, TPropertyKind Kind,
                             const std::string& Value);
    std::string PropertyAsText(IComponent& Component, const std::string& PropertyName, TPropertyKind Kind);
    void FreeOwnStorages();

    IComponent* FOwner;
    std::string FCommonItemSeparator = ";";
    std::string FCommonLineSeparator = " || ";
    std::unique_ptr<TPropertySaveLoad> FLanguageSaveLoad;
    std::unique_ptr<TPropertySaveLoad> FSecondaryLanguageSaveLoad;
    std::unique_ptr<TPropertySaveLoad> FSettingsSaveLoad;
    bool FHooked = false;
    TFormEvents FFormHandlers;
};

} // namespace orb
