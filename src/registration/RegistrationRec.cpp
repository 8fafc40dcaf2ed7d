#include "registration/RegistrationRec.h"

#include "base/TextUtils.h"

#include <array>
#include <utility>

namespace orb
{

TRField::TRField() : Value(std::make_shared<TValueList>()) {}

std::string TRField::CurrentValue() const
{
    // Follows the chain iteratively; a chain that loops back on itself ends with the empty text instead of
    // recursing until the stack runs out.
    const TRField* field = this;
    for (size_t steps = 0; field != nullptr && steps < 1000; ++steps)
    {
        if (!field->FCurrentValue.empty())
            return field->FCurrentValue;
        if (field->Link.empty())
            return {};
        field = field->LinkField;
    }
    return {};
}

void TRField::SetCurrentValue(const std::string& Value)
{
    FCurrentValue = Value;
}

std::string TRField::JSONPairText() const
{
    std::string value = CurrentValue();
    if (!value.empty())
        return " \"" + Id + "\":\"" + EscapeJSONString(value) + "\"";
    if (Hidden && Value && Value->size() == 1)
        return " \"" + Id + "\":\"" + EscapeJSONString((*Value)[0].Value) + "\"";
    return " \"" + Id + "\":null";
}

TFieltType TRField::StrToFieldType(const std::string& FieldType)
{
    static const std::array<std::pair<const char*, TFieltType>, 15> types = {{
        {"BOOLEAN", ftBoolean},
        {"NUMERIC", ftNumeric},
        {"TEXT", ftText},
        {"ALPHA", ftAlpha},
        {"ALPHANUMERIC", ftAlphanumeric},
        {"PASSWORD", ftPassword},
        {"DATE", ftDate},
        {"EMAIL", ftEmail},
        {"YES_NO", ftYesNo},
        {"YES_NO_WITH_LINK", ftYesNoLink},
        {"LOCAL_BOOLEAN", ftLocalYesNo},
        {"LOCAL_BOOLEAN_WITH_URL", ftLocalYesNoLink},
        {"HIDDEN", ftHidden},
        {"ARRAY", ftArray},
        {"MAP", ftMap},
    }};
    for (const auto& [name, type] : types)
        if (FieldType == name)
            return type;
    return ftHidden;
}

std::string EscapeJSONString(const std::string& Text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size() + 8);
    auto unicodeEscape = [&](char16_t unit) {
        out += "\\u";
        out += hex[(unit >> 12) & 0xF];
        out += hex[(unit >> 8) & 0xF];
        out += hex[(unit >> 4) & 0xF];
        out += hex[unit & 0xF];
    };
    for (char16_t unit : Utf8ToUtf16(Text))
    {
        switch (unit)
        {
        case 0x08:
            out += "\\b";
            break;
        case 0x09:
            out += "\\t";
            break;
        case 0x0A:
            out += "\\n";
            break;
        case 0x0C:
            out += "\\f";
            break;
        case 0x0D:
            out += "\\r";
            break;
        case u'"':
            out += "\\\"";
            break;
        case u'/':
            out += "\\/";
            break;
        case u'\\':
            out += "\\\\";
            break;
        default:
            if (unit < 0x20 || unit >= 0x80)
                unicodeEscape(unit);
            else
                out += static_cast<char>(unit);
        }
    }
    return out;
}

} // namespace orb
