#pragma once

// Internal to the registration library: nlohmann/json is slow to compile, so only a few sources include this.

#include <nlohmann/json.hpp>

#include <string>

namespace orb
{

/// JSON values in document order.
using TJson = nlohmann::ordered_json;

/// The text of a JSON value: a string's characters, a number's decimal text, empty for anything else.
inline std::string JsonValueText(const TJson& Value)
{
    if (Value.is_string())
        return Value.get<std::string>();
    if (Value.is_number())
        return Value.dump();
    return {};
}

/// Parses UTF-8 JSON text without raising; a discarded value when the text is not JSON.
inline TJson ParseJson(const std::string& Text)
{
    return TJson::parse(Text, nullptr, false);
}

} // namespace orb
