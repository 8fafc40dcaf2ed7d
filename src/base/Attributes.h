#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orb
{

/// An ordered list of "name=value" text lines with validating typed reads.
/// It lives in base because request addresses keep their query parameters in one.
class TAttributes
{
public:
    TAttributes() = default;

    /// Number of lines.
    int Count() const { return static_cast<int>(FLines.size()); }
    /// The line at Index; raises EListError outside the list.
    const std::string& Strings(int Index) const;
    /// Replaces the line at Index; raises EListError outside the list.
    void SetStrings(int Index, const std::string& Line);
    /// The name of the line at Index (the text before its first "="), empty for a line without "=".
    std::string Names(int Index) const;
    /// The value of the line at Index (the text after its first "="), empty for a line without "=".
    std::string ValueFromIndex(int Index) const;
    /// Appends a line; returns its index.
    int Add(const std::string& Line);
    /// Removes the line at Index; raises EListError outside the list.
    void Delete(int Index);
    /// Removes every line.
    void Clear() { FLines.clear(); }

    /// All lines, each followed by CR LF.
    std::string Text() const;
    /// Replaces the list by the lines of Value, split at CR LF, LF or CR.
    void SetText(std::string_view Value);

    /// Index of the first line whose name equals Name ignoring case, or -1.
    int IndexOfName(std::string_view Name) const;
    /// The value of the first line with that name, or empty when there is none.
    std::string Values(std::string_view Name) const;
    /// A non-empty value replaces the first line with that name in place (or appends one);
    /// an empty value deletes that line.
    void SetValues(const std::string& Name, const std::string& Value);

    /// Rewrites every line containing "=" as trimmed name, "=", trimmed value; keeps the order.
    void Normalize();
    /// True when a line with that name exists (ignoring case).
    bool Contains(std::string_view Name) const;
    /// The value; raises an Exception naming the attribute when there is no such line.
    std::string GetString(std::string_view Name) const;
    /// The value as a 32-bit integer; raises EConvertError when it is not one.
    int32_t GetInteger(std::string_view Name) const;
    /// The value as a floating-point number in the user's number format; raises EConvertError otherwise.
    long double GetFloat(std::string_view Name) const;
    /// True for YesValue, false for NoValue (both ignoring case); raises EConvertError for anything else.
    bool GetBoolean(std::string_view Name, std::string_view YesValue, std::string_view NoValue) const;

    bool operator==(const TAttributes& Other) const = default;

private:
    void CheckIndex(int Index) const;
    std::vector<std::string> FLines;
};

/// Converts a decimal number written with DecimalSeparator (blanks around it allowed);
/// false (and Value unchanged) when the text is not such a number.
bool TryTextToFloat(std::string_view Text, char DecimalSeparator, long double& Value);

} // namespace orb
