#include "localisation/StringValues.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"

namespace orb
{

namespace
{

/// The hash key of an ID: ASCII lower-cased directly, other text through the full case folding.
std::string FoldKey(const std::string& ID)
{
    std::string key = ID;
    for (char& c : key)
    {
        if (static_cast<unsigned char>(c) >= 0x80)
            return LowerCase(ID);
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return key;
}

} // namespace

TStringValue& TStringValues::Add(const std::string& ID, const std::string& Value)
{
    FItemsList.push_back(std::make_unique<TStringValue>(ID, Value));
    auto* item = FItemsList.back().get();
    FKeys[FoldKey(ID)] = item;
    return *item;
}

TStringValue* TStringValues::GetItem(const std::string& ID)
{
    auto it = FKeys.find(FoldKey(ID));
    return it == FKeys.end() ? nullptr : it->second;
}

const TStringValue* TStringValues::GetItem(const std::string& ID) const
{
    auto it = FKeys.find(FoldKey(ID));
    return it == FKeys.end() ? nullptr : it->second;
}

void TStringValues::Delete(size_t Index)
{
    if (Index >= FItemsList.size())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    auto* item = FItemsList[Index].get();
    auto key = FoldKey(item->ID());
    FItemsList.erase(FItemsList.begin() + static_cast<std::ptrdiff_t>(Index));
    auto it = FKeys.find(key);
    if (it == FKeys.end() || it->second != item)
        return;
    FKeys.erase(it);
    // An older item with the same ID becomes visible again.
    for (size_t i = FItemsList.size(); i-- > 0;)
        if (FoldKey(FItemsList[i]->ID()) == key)
        {
            FKeys[key] = FItemsList[i].get();
            break;
        }
}

void TStringValues::Clear()
{
    FKeys.clear();
    while (!FItemsList.empty())
        FItemsList.pop_back();
}

} // namespace orb
