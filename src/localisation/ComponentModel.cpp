#include "localisation/ComponentModel.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "localisation/PropertyManager.h"
#include "localisation/PropertySaveLoad.h"

namespace orb
{

IComponent* IComponent::FindComponent(const std::string& Name)
{
    if (Name.empty())
        return nullptr;
    for (auto* c : Components())
        if (SameText(c->Name(), Name))
            return c;
    return nullptr;
}

bool IComponent::FindProperty(const std::string& Name, TPropertyKind& Kind)
{
    for (const auto& p : Properties())
        if (SameText(p.Name, Name))
        {
            Kind = p.Kind;
            return true;
        }
    return false;
}

TMemoryComponent::TMemoryComponent(std::string ClassName, std::string Name)
    : FClassName(std::move(ClassName)), FName(std::move(Name))
{}

// Managers refer to their owner while they unhook, so they go before the components and properties.
TMemoryComponent::~TMemoryComponent()
{
    while (!FManagers.empty())
        FManagers.pop_back();
}

TMemoryComponent& TMemoryComponent::Add(const std::string& ClassName, const std::string& Name)
{
    FComponents.push_back(std::make_unique<TMemoryComponent>(ClassName, Name));
    return *FComponents.back();
}

TPropertyManager& TMemoryComponent::AddPropertyManager()
{
    FManagers.push_back(std::make_unique<TPropertyManager>(this));
    return *FManagers.back();
}

TMemoryComponent::TProperty& TMemoryComponent::Define(const std::string& Name, TPropertyKind Kind)
{
    for (auto& p : FProperties)
        if (SameText(p.Name, Name))
        {
            p = TProperty{Name, Kind, {}, {}, {}};
            return p;
        }
    FProperties.push_back(TProperty{Name, Kind, {}, {}, {}});
    return FProperties.back();
}

TMemoryComponent::TProperty& TMemoryComponent::Find(const std::string& Name)
{
    for (auto& p : FProperties)
        if (SameText(p.Name, Name))
            return p;
    throw Exception("Property " + Name + " does not exist");
}

TMemoryComponent& TMemoryComponent::DefineString(const std::string& Name, const std::string& Value)
{
    Define(Name, pkString).Text = Value;
    return *this;
}

TMemoryComponent& TMemoryComponent::DefineInteger(const std::string& Name, int Value)
{
    Define(Name, pkInteger).Text = std::to_string(Value);
    return *this;
}

TMemoryComponent& TMemoryComponent::DefineEnumeration(const std::string& Name, std::vector<std::string> ValueNames,
                                                      const std::string& Value)
{
    auto& p = Define(Name, pkEnumeration);
    p.ValueNames = std::move(ValueNames);
    p.Text = Value;
    return *this;
}

TMemoryComponent& TMemoryComponent::DefineFloat(const std::string& Name, double Value)
{
    Define(Name, pkFloat).Text = FloatToText(Value);
    return *this;
}

TMemoryComponent& TMemoryComponent::DefineLines(const std::string& Name, TPropertyKind Kind, TStrings Lines)
{
    Define(Name, Kind).Lines = std::move(Lines);
    return *this;
}

void TMemoryComponent::DoCreate()
{
    if (FEvents.OnCreate)
        FEvents.OnCreate(*this);
}

void TMemoryComponent::DoShow()
{
    if (FEvents.OnShow)
        FEvents.OnShow(*this);
}

void TMemoryComponent::DoClose()
{
    if (FEvents.OnClose)
        FEvents.OnClose(*this);
}

void TMemoryComponent::DoDestroy()
{
    if (FEvents.OnDestroy)
        FEvents.OnDestroy(*this);
}

std::string TMemoryComponent::Value(const std::string& Name)
{
    auto& p = Find(Name);
    if (p.Kind == pkStrings || p.Kind == pkTreeNodes || p.Kind == pkListColumns)
        return JoinStrings(p.Lines, "\n");
    return p.Text;
}

std::vector<IComponent*> TMemoryComponent::Components()
{
    std::vector<IComponent*> result;
    result.reserve(FComponents.size());
    for (auto& c : FComponents)
        result.push_back(c.get());
    return result;
}

std::vector<TPropertyInfo> TMemoryComponent::Properties()
{
    std::vector<TPropertyInfo> result;
    result.reserve(FProperties.size());
    for (const auto& p : FProperties)
        result.push_back({p.Name, p.Kind});
    return result;
}

std::string TMemoryComponent::GetPropertyText(const std::string& Name)
{
    auto& p = Find(Name);
    if (p.Kind == pkStrings || p.Kind == pkTreeNodes || p.Kind == pkListColumns)
        throw EConvertError("Property " + Name + " is a list");
    return p.Text;
}

void TMemoryComponent::SetPropertyText(const std::string& Name, const std::string& Value)
{
    auto& p = Find(Name);
    switch (p.Kind)
    {
    case pkString:
        p.Text = Value;
        return;
    case pkInteger:
        p.Text = std::to_string(StrToInt(Value));
        return;
    case pkEnumeration:
        for (const auto& v : p.ValueNames)
            if (SameText(v, Value))
            {
                p.Text = v;
                return;
            }
        throw EConvertError("\"" + Value + "\" is not a value of " + Name);
    case pkFloat: {
        double d = 0;
        if (!TryTextToFloat(Value, d))
            throw EConvertError("\"" + Value + "\" is not a valid floating point value");
        p.Text = FloatToText(d);
        return;
    }
    default:
        throw EConvertError("Property " + Name + " is a list");
    }
}

TStrings TMemoryComponent::GetPropertyLines(const std::string& Name)
{
    auto& p = Find(Name);
    if (p.Kind != pkStrings && p.Kind != pkTreeNodes && p.Kind != pkListColumns)
        throw EConvertError("Property " + Name + " is not a list");
    return p.Lines;
}

void TMemoryComponent::SetPropertyLines(const std::string& Name, const TStrings& Lines)
{
    auto& p = Find(Name);
    if (p.Kind != pkStrings && p.Kind != pkTreeNodes && p.Kind != pkListColumns)
        throw EConvertError("Property " + Name + " is not a list");
    p.Lines = Lines;
    // A list with a selection keeps its selected index, as far as the new list has that item.
    for (auto& q : FProperties)
        if (q.Kind == pkInteger && SameText(q.Name, "ItemIndex") &&
            StrToIntDef(q.Text, -1) >= static_cast<int>(Lines.size()))
            q.Text = "-1";
}

std::vector<TPropertyManager*> TMemoryComponent::PropertyManagers()
{
    std::vector<TPropertyManager*> result;
    for (auto& m : FManagers)
        result.push_back(m.get());
    return result;
}

} // namespace orb
