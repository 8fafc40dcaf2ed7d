#pragma once

#include <memory>
#include <string>
#include <vector>

namespace orb
{

/// The kind of a registration field, in the order the service's type strings are listed.
enum TFieltType
{
    ftBoolean,
    ftNumeric,
    ftText,
    ftAlpha,
    ftAlphanumeric,
    ftPassword,
    ftDate,
    ftEmail,
    ftYesNo,
    ftHidden,
    ftArray,
    ftMap,
    ftYesNoLink,
    ftLocalYesNoLink,
    ftLocalYesNo
};

/// One entry of a field's value list: Key is sent (or is a link address), Value is shown.
struct TValuePair
{
    std::string Key;
    std::string Value;
};

/// The entries of a field; linked fields may share one list.
using TValueList = std::vector<TValuePair>;

/// One field of the registration form as the service described it.
class TRField
{
public:
    TRField();

    /// The field's identifier at the service; the member name in requests and warning lists.
    std::string Id;
    /// The caption shown to the user.
    std::string Name;
    /// The field is never shown; it travels with its single value.
    bool Hidden = false;
    /// The field's entries (choices, link, or fixed value); shared with the linked field when linked on arrival.
    std::shared_ptr<TValueList> Value;
    /// The kind of the field.
    TFieltType FieldType = ftBoolean;
    /// Id of the field this one follows, or empty.
    std::string Link;
    /// Tool-tip text of the editor.
    std::string Hint;
    /// Tool-tip text while a warning is shown.
    std::string WarningHint;
    /// The field is marked as wrong.
    bool Warning = false;
    /// The field named by Link once resolved; not owned.
    TRField* LinkField = nullptr;
    /// The field must not be left empty.
    bool Required = false;

    /// The user's value, or else the value of the followed field (along the chain of links).
    std::string CurrentValue() const;
    /// Stores the user's value, the empty text included.
    void SetCurrentValue(const std::string& Value);
    /// The user's own value, without following links.
    const std::string& OwnValue() const { return FCurrentValue; }

    /// The field's member text for a request: ` "id":"value"` or ` "id":null`.
    std::string JSONPairText() const;

    /// The field kind of a service type string; unknown strings give ftHidden.
    static TFieltType StrToFieldType(const std::string& FieldType);

private:
    std::string FCurrentValue;
};

/// The result of a completed registration.
struct TRInfo
{
    std::string Login;
    std::string Password;
    std::string Schema;
    std::string Entry;
    std::string Email;
};

/// Escapes a UTF-8 text for a JSON string; everything from U+0080 up becomes \uXXXX, so the result is 7-bit.
std::string EscapeJSONString(const std::string& Text);

} // namespace orb
