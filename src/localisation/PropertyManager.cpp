#include "localisation/PropertyManager.h"

#include "base/TextUtils.h"

namespace orb
{

namespace
{

std::shared_ptr<TPropertySaveLoad>& GlobalLanguageStorage()
{
    static std::shared_ptr<TPropertySaveLoad> storage;
    return storage;
}

bool IsListKind(TPropertyKind Kind)
{
    return Kind == pkStrings || Kind == pkTreeNodes || Kind == pkListColumns;
}

} // namespace

TPropertySaveLoad* ProcessLanguageStorage()
{
    return GlobalLanguageStorage().get();
}

void SetProcessLanguageStorage(std::shared_ptr<TPropertySaveLoad> Storage)
{
    GlobalLanguageStorage() = std::move(Storage);
}

/// The manager's own handler in a window event slot; recognisable when unhooking.
struct TPropertyManager::THook
{
    TPropertyManager* Manager;
    TEventSlot Slot;
    void operator()(IComponent& Sender) const { Manager->FormEvent(Slot, Sender); }
};

TPropertyManager::TPropertyManager(IComponent* AOwner) : CommonComponent(AOwner), FOwner(AOwner)
{
    LanguageSection = DefaultSection();
    SettingsSection = LanguageSection;
}

TPropertyManager::~TPropertyManager()
{
    UnhookFormEvents();
}

std::string TPropertyManager::DefaultSection() const
{
    if (!FOwner)
        return "Main";
    auto name = FOwner->ClassName();
    return name.empty() ? name : name.substr(1);
}

void TPropertyManager::SetCommonItemSeparator(const std::string& Value)
{
    FCommonItemSeparator = Trim(Value).empty() ? ";" : Value;
}

void TPropertyManager::SetCommonLineSeparator(const std::string& Value)
{
    FCommonLineSeparator = Trim(Value).empty() ? " || " : Value;
}

std::string TPropertyManager::GetString(const std::string& ID, const std::string& Default) const
{
    const auto* item = LanguageStrings.GetItem(ID);
    return item ? item->Value() : Default;
}

TPropertySaveLoad* TPropertyManager::LanguageSaveLoad()
{
    if (auto* global = ProcessLanguageStorage())
        return global;
    if (LanguageFile.empty())
    {
        FLanguageSaveLoad.reset();
        return nullptr;
    }
    if (!FLanguageSaveLoad || FLanguageSaveLoad->FileName() != LanguageFile)
        FLanguageSaveLoad = std::make_unique<TPropertySaveLoad>(LanguageFile, CommonSaveLoadModule);
    return FLanguageSaveLoad.get();
}

TPropertySaveLoad* TPropertyManager::SecondaryLanguageSaveLoad()
{
    if (LanguageFile_Secondary.empty())
    {
        FSecondaryLanguageSaveLoad.reset();
        return nullptr;
    }
    if (!FSecondaryLanguageSaveLoad || FSecondaryLanguageSaveLoad->FileName() != LanguageFile_Secondary)
        FSecondaryLanguageSaveLoad = std::make_unique<TPropertySaveLoad>(LanguageFile_Secondary, CommonSaveLoadModule);
    return FSecondaryLanguageSaveLoad.get();
}

TPropertySaveLoad* TPropertyManager::SettingsSaveLoad()
{
    if (SettingsFile.empty())
    {
        FSettingsSaveLoad.reset();
        return nullptr;
    }
    if (!FSettingsSaveLoad || FSettingsSaveLoad->FileName() != SettingsFile)
        FSettingsSaveLoad = std::make_unique<TPropertySaveLoad>(SettingsFile, CommonSaveLoadModule);
    return FSettingsSaveLoad.get();
}

void TPropertyManager::FreeOwnStorages()
{
    FLanguageSaveLoad.reset();
    FSecondaryLanguageSaveLoad.reset();
}

TPropertyManager::TResolvedKey TPropertyManager::ResolveKey(const std::string& Key) const
{
    TResolvedKey result;
    if (!CommonComponent)
        return result;
    std::string rest = Trim(Key);
    auto dot = rest.find('.');
    if (dot == std::string::npos)
    {
        result.Component = CommonComponent;
        result.PropertyName = rest;
        return result;
    }
    std::string first = rest.substr(0, dot);
    rest = rest.substr(dot + 1);
    IComponent* component = first == CommonComponent->Name() ? CommonComponent : CommonComponent->FindComponent(first);
    while (component && (dot = rest.find('.')) != std::string::npos)
    {
        component = component->FindComponent(rest.substr(0, dot));
        rest = rest.substr(dot + 1);
    }
    if (component)
    {
        result.Component = component;
        result.PropertyName = rest;
    }
    return result;
}

bool TPropertyManager::IsIgnored(IComponent& Component, const std::string& PropertyName) const
{
    // A manager has nothing to translate and is never written into a language file.
    if (Component.ClassName() == "TPropertyManager")
        return true;
    const std::string name = Component.Name();
    const bool isWindow = &Component == CommonComponent;
    for (const auto& raw : LanguageComponentIngnoreList)
    {
        std::string entry = Trim(raw);
        if (entry.empty())
            continue;
        if (SameText(entry, name + "." + PropertyName) || SameText(entry, name) ||
            SameText(entry, "." + PropertyName) || (isWindow && SameText(entry, PropertyName)))
            return true;
    }
    return false;
}

bool TPropertyManager::SetPropertyFromText(IComponent& Component, const std::string& PropertyName, TPropertyKind Kind,
                                           const std::string& Value)
{
    try
    {
        switch (Kind)
        {
        case pkString:
        case pkEnumeration:
        case pkFloat:
            Component.SetPropertyText(PropertyName, Value);
            return true;
        case pkInteger:
            Component.SetPropertyText(PropertyName, std::to_string(StrToInt(Value)));
            return true;
        case pkStrings: {
            auto pieces = SplitStrings(Value, FCommonItemSeparator);
            // A combo box takes any number of items; other lists only a translation line for line.
            if (Component.IsComboBox() || pieces.size() == Component.GetPropertyLines(PropertyName).size())
            {
                Component.SetPropertyLines(PropertyName, pieces);
                return true;
            }
            return false;
        }
        case pkTreeNodes:
        case pkListColumns: {
            auto pieces = SplitStrings(Value, FCommonItemSeparator);
            auto lines = Component.GetPropertyLines(PropertyName);
            for (size_t i = 0; i < lines.size() && i < pieces.size(); ++i)
                lines[i] = pieces[i];
            Component.SetPropertyLines(PropertyName, lines);
            return true;
        }
        }
    }
    catch (...)
    {
        // A value that does not fit leaves the property as it was.
    }
    return false;
}

std::string TPropertyManager::PropertyAsText(IComponent& Component, const std::string& PropertyName, TPropertyKind Kind)
{
    if (IsListKind(Kind))
        return JoinStrings(Component.GetPropertyLines(PropertyName), FCommonItemSeparator);
    return Component.GetPropertyText(PropertyName);
}

void TPropertyManager::ApplySection(TPropertySaveLoad& Storage, bool DesignMode)
{
    if (LanguageSection.empty())
        LanguageSection = CommonComponent->Name();
    TStrings names;
    TStrings values;
    Storage.ReadSectionNames(LanguageSection, &names);
    Storage.ReadSectionValues(LanguageSection, &values);
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
    {
        std::string value = StringReplaceAll(values[i], FCommonLineSeparator, "\r\n");
        auto key = ResolveKey(names[i]);
        TPropertyKind kind = pkString;
        bool usable = key.Component && key.Component->FindProperty(key.PropertyName, kind) &&
                      !IsIgnored(*key.Component, key.PropertyName);
        if (!usable)
        {
            if (DesignMode)
                Storage.DeleteKey(LanguageSection, names[i]);
            continue;
        }
        if (value.empty())
            continue;
        if (OnLanguageLoadProperty)
            OnLanguageLoadProperty(*this, *key.Component, key.PropertyName, value);
        SetPropertyFromText(*key.Component, key.PropertyName, kind, value);
    }
}

void TPropertyManager::LoadStringsSection(TPropertySaveLoad& Storage)
{
    if (LanguageStringsSection.empty())
        return;
    TStrings names;
    TStrings values;
    Storage.ReadSectionNames(LanguageStringsSection, &names);
    Storage.ReadSectionValues(LanguageStringsSection, &values);
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
    {
        std::string value = StringReplaceAll(values[i], FCommonLineSeparator, "\r\n");
        auto* existing = LanguageStrings.GetItem(names[i]);
        // A key keeps the letter case it was first stored with.
        std::string id = existing ? existing->ID() : names[i];
        if (OnLanguageLoadString)
            OnLanguageLoadString(*this, id, value);
        if (existing)
            existing->SetValue(value);
        else
            LanguageStrings.Add(id, value);
    }
}

void TPropertyManager::LoadFrames(IComponent& Component)
{
    for (auto* child : Component.Components())
    {
        if (!child->IsFrame())
            continue;
        for (auto* manager : child->PropertyManagers())
            if (manager != this)
                manager->LoadLanguage(true, true, false);
        LoadFrames(*child);
    }
}

void TPropertyManager::LoadLanguage(bool LoadStrings, bool LoadProperties, bool DesignMode)
{
    if (!LoadStrings && !LoadProperties)
        return;
    if (!DesignMode && OnLanguageBeforeLoad)
        OnLanguageBeforeLoad(*this);
    if (LoadProperties && CommonComponent)
    {
        if (auto* storage = LanguageSaveLoad())
            ApplySection(*storage, DesignMode);
        if (!DesignMode)
        {
            if (auto* secondary = SecondaryLanguageSaveLoad())
                ApplySection(*secondary, false);
            LoadFrames(*CommonComponent);
        }
    }
    if (LoadStrings && LanguageLoadStrings)
    {
        if (auto* storage = LanguageSaveLoad())
            LoadStringsSection(*storage);
        if (!DesignMode)
            if (auto* secondary = SecondaryLanguageSaveLoad())
                LoadStringsSection(*secondary);
    }
    FreeOwnStorages();
    if (!DesignMode && OnLanguageAfterLoad)
        OnLanguageAfterLoad(*this);
}

void TPropertyManager::SaveLanguage(bool SaveStrings, bool SaveProperties, bool DesignMode)
{
    auto* storage = LanguageSaveLoad();
    if (!storage)
        return;
    if (SaveProperties && CommonComponent)
    {
        if (LanguageSection.empty())
            LanguageSection = CommonComponent->Name();
        std::vector<IComponent*> components{CommonComponent};
        for (auto* c : CommonComponent->Components())
            components.push_back(c);
        for (auto* component : components)
        {
            if (IsIgnored(*component, ""))
                continue;
            for (const auto& property : component->Properties())
            {
                if (SameText(property.Name, "Name") || !(property.Kind == pkString || IsListKind(property.Kind)))
                    continue;
                std::string text;
                try
                {
                    text = PropertyAsText(*component, property.Name, property.Kind);
                }
                catch (...)
                {
                    continue;
                }
                if (text.empty() || text == "-" || IsIgnored(*component, property.Name))
                    continue;
                std::string key =
                    component == CommonComponent ? property.Name : component->Name() + "." + property.Name;
                storage->WriteString(LanguageSection, key, StringReplaceAll(text, "\r\n", FCommonLineSeparator));
            }
        }
        if (DesignMode)
        {
            TStrings names;
            storage->ReadSectionNames(LanguageSection, &names);
            for (const auto& name : names)
            {
                auto key = ResolveKey(name);
                TPropertyKind kind = pkString;
                if (!key.Component || !key.Component->FindProperty(key.PropertyName, kind) ||
                    IsIgnored(*key.Component, key.PropertyName))
                    storage->DeleteKey(LanguageSection, name);
            }
        }
    }
    if (SaveStrings && !LanguageStringsSection.empty())
        for (size_t i = 0; i < LanguageStrings.Count(); ++i)
        {
            const auto& item = LanguageStrings.Items(i);
            storage->WriteString(LanguageStringsSection, item.ID(),
                                 StringReplaceAll(item.Value(), "\r\n", FCommonLineSeparator));
        }
    if (storage == FLanguageSaveLoad.get())
        storage->SaveToFile();
    FreeOwnStorages();
}

void TPropertyManager::LoadSettings()
{
    if (OnSettingsBeforeLoad)
        OnSettingsBeforeLoad(*this);
    auto* storage = SettingsSaveLoad();
    if (storage && CommonComponent)
    {
        storage->LoadFromFile();
        if (SettingsSection.empty())
            SettingsSection = CommonComponent->Name();
        TStrings names;
        TStrings values;
        storage->ReadSectionNames(SettingsSection, &names);
        storage->ReadSectionValues(SettingsSection, &values);
        FSettingsSaveLoad.reset();
        for (size_t i = 0; i < names.size() && i < values.size(); ++i)
        {
            std::string value = StringReplaceAll(values[i], FCommonLineSeparator, "\r\n");
            auto key = ResolveKey(names[i]);
            TPropertyKind kind = pkString;
            if (!key.Component || value.empty() || !key.Component->FindProperty(key.PropertyName, kind))
                continue;
            if (OnSettingsLoadProperty)
                OnSettingsLoadProperty(*this, *key.Component, key.PropertyName, value);
            SetPropertyFromText(*key.Component, key.PropertyName, kind, value);
        }
    }
    FSettingsSaveLoad.reset();
    if (OnSettingsAfterLoad)
        OnSettingsAfterLoad(*this);
}

void TPropertyManager::SaveSettings()
{
    if (!CommonComponent || !CommonComponent->HandleAllocated())
        return;
    if (OnSettingsBeforeSave)
        OnSettingsBeforeSave(*this);
    if (auto* storage = SettingsSaveLoad())
    {
        // Re-read first, so that keys of other windows in the same file remain.
        storage->LoadFromFile();
        if (SettingsSection.empty())
            SettingsSection = CommonComponent->Name();
        if (SettingsSaveWindowPosition)
        {
            auto r = CommonComponent->NormalBounds();
            storage->WriteInteger(SettingsSection, "Left", r.Left);
            storage->WriteInteger(SettingsSection, "Top", r.Top);
            storage->WriteInteger(SettingsSection, "Width", r.Right - r.Left);
            storage->WriteInteger(SettingsSection, "Height", r.Bottom - r.Top);
            TPropertyKind kind = pkString;
            if (CommonComponent->FindProperty("WindowState", kind) && !IsListKind(kind))
                storage->WriteString(SettingsSection, "WindowState", CommonComponent->GetPropertyText("WindowState"));
        }
        for (const auto& entry : SettingsComponentList)
        {
            auto key = ResolveKey(entry);
            TPropertyKind kind = pkString;
            if (!key.Component || !key.Component->FindProperty(key.PropertyName, kind))
                continue;
            std::string text;
            try
            {
                text = PropertyAsText(*key.Component, key.PropertyName, kind);
            }
            catch (...)
            {
                continue;
            }
            storage->WriteString(SettingsSection, Trim(entry), StringReplaceAll(text, "\r\n", FCommonLineSeparator));
        }
        storage->SaveToFile();
    }
    FSettingsSaveLoad.reset();
    if (OnSettingsAfterSave)
        OnSettingsAfterSave(*this);
}

void TPropertyManager::Loaded(const TStrings& StoredStringValues, bool DesignMode)
{
    if (!DesignMode && OnCreate)
        OnCreate(*this);
    for (const auto& line : StoredStringValues)
    {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            LanguageStrings.Add(line, "");
        else
            LanguageStrings.Add(line.substr(0, eq), line.substr(eq + 1));
    }
    if (!DesignMode)
        HookFormEvents();
}

void TPropertyManager::HookFormEvents()
{
    auto* events = FOwner ? FOwner->FormEvents() : nullptr;
    if (!events || FHooked)
        return;
    FFormHandlers = *events;
    events->OnCreate = THook{this, esCreate};
    events->OnDestroy = THook{this, esDestroy};
    events->OnShow = THook{this, esShow};
    events->OnClose = THook{this, esClose};
    FHooked = true;
}

void TPropertyManager::UnhookFormEvents()
{
    auto* events = FOwner && FHooked ? FOwner->FormEvents() : nullptr;
    FHooked = false;
    if (!events)
        return;
    auto restore = [this](TFormEvent& Slot, const TFormEvent& Own) {
        const auto* hook = Slot.target<THook>();
        if (hook && hook->Manager == this)
            Slot = Own;
    };
    restore(events->OnCreate, FFormHandlers.OnCreate);
    restore(events->OnDestroy, FFormHandlers.OnDestroy);
    restore(events->OnShow, FFormHandlers.OnShow);
    restore(events->OnClose, FFormHandlers.OnClose);
}

void TPropertyManager::FormEvent(TEventSlot Slot, IComponent& Sender)
{
    switch (Slot)
    {
    case esCreate:
        if (FFormHandlers.OnCreate)
            FFormHandlers.OnCreate(Sender);
        if (SettingsAutoLoad == altAfterCreate)
            LoadSettings();
        if (LanguageAutoLoad == altAfterCreate)
            LoadLanguage(true, true, false);
        break;
    case esShow:
        if (SettingsAutoLoad == altBeforeShow)
            LoadSettings();
        if (LanguageAutoLoad == altBeforeShow)
            LoadLanguage(true, true, false);
        if (FFormHandlers.OnShow)
            FFormHandlers.OnShow(Sender);
        break;
    case esClose:
        if (FFormHandlers.OnClose)
            FFormHandlers.OnClose(Sender);
        if (SettingsAutoSave == astAfterClose)
            SaveSettings();
        break;
    case esDestroy:
        if (SettingsAutoSave == astBeforeDestroy)
            SaveSettings();
        if (FFormHandlers.OnDestroy)
            FFormHandlers.OnDestroy(Sender);
        break;
    }
}

} // namespace orb
