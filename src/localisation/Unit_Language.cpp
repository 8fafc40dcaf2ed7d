#include "localisation/Unit_Language.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>

namespace orb
{

std::string ResourcePath = "resource";
std::string LanguageCode;
std::unique_ptr<TLanguage> LanguageTable;

namespace
{

struct THooks
{
    std::mutex Lock;
    int NextId = 1;
    std::map<int, TLanguageLoadedHook> Items;
};

THooks& Hooks()
{
    static THooks hooks;
    return hooks;
}

std::vector<IComponent*>& Forms()
{
    static std::vector<IComponent*> forms;
    return forms;
}

std::string LanguageFileOf(const std::string& Code)
{
    return (std::filesystem::path(ResourcePath) / "language" / ("language_" + Code + ".ini")).string();
}

} // namespace

std::string GetLanguageFileName()
{
    std::string name = LanguageFileOf(LanguageCode);
    std::error_code ec;
    if (std::filesystem::is_regular_file(name, ec))
        return name;
    return LanguageFileOf("en_US");
}

std::string FormatTemplate(const std::string& Template, const std::vector<std::string>& Args)
{
    std::string result = Template;
    for (size_t i = 0; i < Args.size(); ++i)
    {
        const std::string token = "{" + std::to_string(i) + "}";
        size_t pos = 0;
        while ((pos = result.find(token, pos)) != std::string::npos)
        {
            const size_t after = pos + token.size();
            if (pos > 0 && result[pos - 1] == '{' && after < result.size() && result[after] == '}')
            {
                pos = after; // an escaped token stays for the brace unfolding below
                continue;
            }
            result.replace(pos, token.size(), Args[i]);
            pos += Args[i].size();
        }
    }
    auto unfold = [](const std::string& Text, char Brace) {
        std::string out;
        out.reserve(Text.size());
        for (size_t i = 0; i < Text.size(); ++i)
        {
            out += Text[i];
            if (Text[i] == Brace && i + 1 < Text.size() && Text[i + 1] == Brace)
                ++i;
        }
        return out;
    };
    return unfold(unfold(result, '{'), '}');
}

int AddLanguageLoadedHook(TLanguageLoadedHook Hook)
{
    auto& hooks = Hooks();
    std::lock_guard lock(hooks.Lock);
    int id = hooks.NextId++;
    hooks.Items.emplace(id, std::move(Hook));
    return id;
}

void RemoveLanguageLoadedHook(int Id)
{
    auto& hooks = Hooks();
    std::lock_guard lock(hooks.Lock);
    hooks.Items.erase(Id);
}

void RegisterApplicationForm(IComponent* Form)
{
    auto& forms = Forms();
    if (Form && std::find(forms.begin(), forms.end(), Form) == forms.end())
        forms.push_back(Form);
}

void UnregisterApplicationForm(IComponent* Form)
{
    auto& forms = Forms();
    forms.erase(std::remove(forms.begin(), forms.end(), Form), forms.end());
}

std::vector<IComponent*> ApplicationForms()
{
    return Forms();
}

TLanguage::TLanguage()
{
    SetProcessLanguageStorage(std::make_shared<TPropertySaveLoad>(GetLanguageFileName(), smIni32));
    PropertyManager.LanguageStringsSection = "Messages";
    PropertyManager.LanguageLoadStrings = true;
    PropertyManager.SetCommonLineSeparator("\\n");
    SetLanguage();
}

// The process-wide language storage stays: windows may still translate from it until the process ends.
TLanguage::~TLanguage() = default;

std::string TLanguage::Get(const std::string& MsgId) const
{
    // The marker text is built only for a missing key: lookups are frequent, misses are rare.
    const auto* item = PropertyManager.LanguageStrings.GetItem(MsgId);
    return item ? item->Value() : "Unknown:" + MsgId;
}

std::string TLanguage::Get(const std::string& MsgId, const std::vector<std::string>& Args) const
{
    return FormatTemplate(Get(MsgId), Args);
}

bool TLanguage::HasMessage(const std::string& MsgId) const
{
    const auto* item = PropertyManager.LanguageStrings.GetItem(MsgId);
    return item && !item->Value().empty();
}

void TLanguage::SetLanguage()
{
    PropertyManager.LoadLanguage(true, true, false);
    Ok = Get("OK");
    Cancel = Get("Cancel");
    Yes = Get("Yes");
    No = Get("No");
    Input = Get("Input");
    Confirmation = Get("Confirmation");
    Information = Get("Information");
    Warning = Get("Warning");
    std::vector<TLanguageLoadedHook> hooks;
    {
        auto& all = Hooks();
        std::lock_guard lock(all.Lock);
        for (auto& [id, hook] : all.Items)
            hooks.push_back(hook);
    }
    // Called outside the lock, so that a hook may register or remove hooks.
    for (auto& hook : hooks)
        hook(*this);
}

void TLanguage::ChangeLanguage()
{
    auto name = GetLanguageFileName();
    if (auto* storage = ProcessLanguageStorage())
        storage->SetFileName(name);
    else
        SetProcessLanguageStorage(std::make_shared<TPropertySaveLoad>(name, smIni32));
    SetLanguage();
    for (auto* form : ApplicationForms())
        for (auto* manager : form->PropertyManagers())
            manager->LoadLanguage(true, true, false);
}

} // namespace orb
