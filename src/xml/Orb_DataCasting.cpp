#include "xml/Orb_DataCasting.h"

#include <algorithm>
#include <charconv>

namespace orb
{

namespace
{

// Only digits (after an optional sign): the reader's numbers are decimal, never hexadecimal.
bool ParseDecimal(std::string_view Text, int32_t& Value)
{
    if (Text.empty())
        return false;
    const char* first = Text.data();
    const char* last = first + Text.size();
    if (*first == '+')
        ++first;
    if (first == last || (*first == '-' && first + 1 == last))
        return false;
    if (std::find_if(*first == '-' ? first + 1 : first, last, [](char c) { return c < '0' || c > '9'; }) != last)
        return false;
    auto [ptr, ec] = std::from_chars(first, last, Value);
    return ec == std::errc() && ptr == last;
}

bool DigitsField(const std::string& Text, size_t From, size_t Count, int& Value)
{
    if (Text.size() < From + Count)
        return false;
    Value = 0;
    for (size_t i = From; i < From + Count; ++i)
    {
        if (Text[i] < '0' || Text[i] > '9')
            return false;
        Value = Value * 10 + (Text[i] - '0');
    }
    return true;
}

} // namespace

std::string ReadStrAttribute(const xml::IXMLNode& Node, const std::string& Name)
{
    return Node.Attributes(Name);
}

int32_t ReadIntAttribute(const xml::IXMLNode& Node, const std::string& Name)
{
    std::string text = ReadStrAttribute(Node, Name);
    if (text.empty())
        throw EVariantIsEmptyError("The value for field \"" + Name + "\" is empty.");
    int32_t value = 0;
    if (!ParseDecimal(text, value))
        throw EVariantTypeCastError("Wrong value for field \"" + Name + "\" : \"" + text + "\"");
    return value;
}

TDateTime ReadDateTimeAttribute(const xml::IXMLNode& Node, const std::string& Name)
{
    return ParseCompactDateTime(ReadStrAttribute(Node, Name));
}

TDateTime ParseCompactDateTime(const std::string& Text)
{
    using namespace std::chrono;
    int y, mo, d, h, mi, s;
    bool ok = DigitsField(Text, 0, 4, y) && DigitsField(Text, 4, 2, mo) && DigitsField(Text, 6, 2, d) &&
              DigitsField(Text, 8, 2, h) && DigitsField(Text, 10, 2, mi) && DigitsField(Text, 12, 2, s);
    year_month_day date{year(ok ? y : 0), month(ok ? static_cast<unsigned>(mo) : 0),
                        day(ok ? static_cast<unsigned>(d) : 0)};
    if (!ok || y < 1 || !date.ok() || h > 23 || mi > 59 || s > 59)
        throw Exception("Wrong date: \"" + Text + "\"");
    return TDateTime(local_days(date)) + hours(h) + minutes(mi) + seconds(s);
}

std::string ReplaceChar(const std::string& Text, char From, char To)
{
    std::string out = Text;
    std::replace(out.begin(), out.end(), From, To);
    return out;
}

std::string BackslashToSlash(const std::string& Text)
{
    return ReplaceChar(Text, '\\', '/');
}

} // namespace orb
