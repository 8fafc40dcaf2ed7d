#include "registration/RegistrationUnit.h"

#include "registration/JsonText.h"

#include <nlohmann/json.hpp>

namespace orb
{

TRField& TBundleFields::Add(std::unique_ptr<TRField> Field)
{
    Items.push_back(std::move(Field));
    return *Items.back();
}

void TBundleFields::UpdateVisualFields()
{
    if (VisualFields)
        VisualFields->SetToVariable();
}

std::string TBundleFields::JSONArrayText(bool NeedUpdate)
{
    if (NeedUpdate)
        UpdateVisualFields();
    std::string text;
    for (const auto& field : Items)
    {
        if (!text.empty())
            text += ',';
        text += field->JSONPairText();
    }
    return text;
}

bool TBundleFields::LocalValidateFields(const std::string& ReadAndAcceptHint)
{
    UpdateVisualFields();
    bool valid = true;
    for (const auto& field : Items)
    {
        if (field->Required)
            field->Warning = field->CurrentValue().empty();
        if (field->FieldType == ftLocalYesNoLink || field->FieldType == ftLocalYesNo)
        {
            field->Warning = field->CurrentValue() != "true";
            field->WarningHint = ReadAndAcceptHint;
        }
        if (field->Warning)
            valid = false;
    }
    if (VisualFields)
        VisualFields->UpdateUI();
    return valid;
}

void TFields::AddBundle(std::unique_ptr<TBundleFields> Bundle)
{
    Pages.push_back(std::move(Bundle));
    AssignLinks();
}

void TFields::DeletePagesFrom(size_t First)
{
    while (Pages.size() > First)
        Pages.pop_back();
    // Fields left behind may have followed a field of a removed page.
    AssignLinks();
}

void TFields::AssignLinks()
{
    for (const auto& page : Pages)
        for (const auto& field : page->Items)
            if (!field->Link.empty())
                field->LinkField = GetFieldById(field->Link);
            else
                field->LinkField = nullptr;
}

TRField* TFields::GetFieldById(const std::string& FieldId) const
{
    for (const auto& page : Pages)
        for (const auto& field : page->Items)
            if (field->Id == FieldId)
                return field.get();
    return nullptr;
}

std::string TFields::GetFieldValueById(const std::string& Id) const
{
    const TRField* field = GetFieldById(Id);
    return field ? field->CurrentValue() : std::string();
}

bool TFields::IsExistField(const TRField& Field) const
{
    return GetFieldById(Field.Id) != nullptr;
}

std::string TFields::GetParams()
{
    std::string params;
    for (const auto& page : Pages)
    {
        std::string text = page->JSONArrayText(true);
        if (text.empty())
            continue;
        if (!params.empty())
            params += ',';
        params += text;
    }
    return params;
}

void TFields::MarkFields(const std::string& JSONText)
{
    for (const auto& page : Pages)
        for (const auto& field : page->Items)
            if (field->FieldType != ftLocalYesNoLink && field->FieldType != ftLocalYesNo)
            {
                field->WarningHint.clear();
                field->Warning = false;
            }
    auto data = nlohmann::ordered_json::parse(JSONText, nullptr, false);
    if (data.is_discarded() || !data.is_object())
        return;
    for (const auto& [id, message] : data.items())
    {
        TRField* field = GetFieldById(id);
        if (!field)
            continue;
        field->Warning = true;
        field->WarningHint = JsonValueText(message);
    }
}

} // namespace orb
