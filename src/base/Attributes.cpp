#include "base/Attributes.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <charconv>
#include <clocale>

namespace orb
{

void TAttributes::CheckIndex(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

const std::string& TAttributes::Strings(int Index) const
{
    CheckIndex(Index);
    return FLines[static_cast<size_t>(Index)];
}

void TAttributes::SetStrings(int Index, const std::string& Line)
{
    CheckIndex(Index);
    FLines[static_cast<size_t>(Index)] = Line;
}

std::string TAttributes::Names(int Index) const
{
    const std::string& line = Strings(Index);
    auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TAttributes::ValueFromIndex(int Index) const
{
    const std::string& line = Strings(Index);
    auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

int TAttributes::Add(const std::string& Line)
{
    FLines.push_back(Line);
    return Count() - 1;
}

void TAttributes::Delete(int Index)
{
    CheckIndex(Index);
    FLines.erase(FLines.begin() + Index);
}

std::string TAttributes::Text() const
{
    std::string out;
    for (const auto& line : FLines)
    {
        out += line;
        out += "\r\n";
    }
    return out;
}

void TAttributes::SetText(std::string_view Value)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < Value.size())
    {
        size_t end = Value.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
        {
            lines.emplace_back(Value.substr(start));
            break;
        }
        lines.emplace_back(Value.substr(start, end - start));
        start = end + 1;
        if (Value[end] == '\r' && start < Value.size() && Value[start] == '\n')
            ++start;
    }
    FLines = std::move(lines);
}

int TAttributes::IndexOfName(std::string_view Name) const
{
    for (size_t i = 0; i < FLines.size(); ++i)
    {
        const std::string& line = FLines[i];
        auto eq = line.find('=');
        if (eq != std::string::npos && SameText(std::string_view(line).substr(0, eq), Name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TAttributes::Values(std::string_view Name) const
{
    int i = IndexOfName(Name);
    return i < 0 ? std::string() : ValueFromIndex(i);
}

void TAttributes::SetValues(const std::string& Name, const std::string& Value)
{
    int i = IndexOfName(Name);
    if (Value.empty())
    {
        if (i >= 0)
            Delete(i);
        return;
    }
    if (i < 0)
        Add(Name + "=" + Value);
    else
        FLines[static_cast<size_t>(i)] = Name + "=" + Value;
}

void TAttributes::Normalize()
{
    for (auto& line : FLines)
    {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string_view view(line);
        line = Trim(view.substr(0, eq)) + "=" + Trim(view.substr(eq + 1));
    }
}

bool TAttributes::Contains(std::string_view Name) const
{
    return IndexOfName(Name) >= 0;
}

std::string TAttributes::GetString(std::string_view Name) const
{
    int i = IndexOfName(Name);
    if (i < 0)
        throw Exception("TAttributes: No such attribute: " + std::string(Name));
    return ValueFromIndex(i);
}

int32_t TAttributes::GetInteger(std::string_view Name) const
{
    return StrToInt(GetString(Name));
}

bool TryTextToFloat(std::string_view Text, char DecimalSeparator, long double& Value)
{
    std::string text = Trim(Text);
    if (text.empty())
        return false;
    // A point is only a decimal separator when the number format says so; otherwise "1.5" would be
    // read as fifteen tenths in a locale that writes "1,5".
    if (DecimalSeparator != '.' && text.find('.') != std::string::npos)
        return false;
    for (char& c : text)
        if (c == DecimalSeparator)
            c = '.';
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+' && last - first > 1 && first[1] != '-' && first[1] != '+')
        ++first;
    // from_chars would also take "inf" and "nan"; a setting never means those.
    if (first == last ||
        std::string_view(first, last - first).find_first_not_of("0123456789.eE+-") != std::string_view::npos)
        return false;
    double v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || ptr != last)
        return false;
    Value = v;
    return true;
}

long double TAttributes::GetFloat(std::string_view Name) const
{
    std::string value = GetString(Name);
    // The process's current number format: whatever the C locale says (the user's locale once the
    // front end has adopted it).
    const std::lconv* conv = std::localeconv();
    char separator = conv && conv->decimal_point && conv->decimal_point[0] ? conv->decimal_point[0] : '.';
    long double v = 0;
    if (!TryTextToFloat(value, separator, v))
        throw EConvertError("'" + value + "' is not a valid floating point value");
    return v;
}

bool TAttributes::GetBoolean(std::string_view Name, std::string_view YesValue, std::string_view NoValue) const
{
    std::string value = GetString(Name);
    if (SameText(value, YesValue))
        return true;
    if (SameText(value, NoValue))
        return false;
    throw EConvertError("TAttributes: Can not convert attribute \"" + std::string(Name) + " = " + value +
                        "\" to Boolean.");
}

} // namespace orb
