#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace orb
{

/// One entry of a string table: an ID and its text.
class TStringValue
{
public:
    TStringValue(std::string ID, std::string Value) : FID(std::move(ID)), FValue(std::move(Value)) {}
    /// The entry's key, in the letter case it was first stored with.
    const std::string& ID() const { return FID; }
    /// The entry's text.
    const std::string& Value() const { return FValue; }
    /// Replaces the text.
    void SetValue(std::string V) { FValue = std::move(V); }

private:
    std::string FID;
    std::string FValue;
};

/// ID/value table: hashed lookup ignoring letter case, iteration in insertion order. Owns its items.
class TStringValues
{
public:
    /// Appends a new item and indexes it by ID (an existing ID is not checked; the new item hides it).
    TStringValue& Add(const std::string& ID, const std::string& Value);
    /// The item of ID (ignoring letter case; the later of two with the same ID), or nullptr.
    TStringValue* GetItem(const std::string& ID);
    /// As GetItem.
    const TStringValue* GetItem(const std::string& ID) const;
    /// Removes the item at Index from the order and the index.
    void Delete(size_t Index);
    /// Removes every item.
    void Clear();
    /// The number of items.
    size_t Count() const { return FItemsList.size(); }
    /// The item at a position in insertion order.
    TStringValue& Items(size_t Index) { return *FItemsList.at(Index); }
    /// As Items.
    const TStringValue& Items(size_t Index) const { return *FItemsList.at(Index); }

private:
    std::unordered_map<std::string, TStringValue*> FKeys;
    std::vector<std::unique_ptr<TStringValue>> FItemsList;
};

} // namespace orb
