#include "platform/UILanguage.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace orb::platform
{

namespace
{

struct LanguageId
{
    const char* Iso;
    uint16_t Primary;
};

// ISO 639-1 codes and the primary language numbers Windows gives them.
constexpr LanguageId Languages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"el", 0x08},
    {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"iw", 0x0D}, {"hu", 0x0E}, {"is", 0x0F},
    {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15},
    {"pt", 0x16}, {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"bs", 0x1A}, {"sk", 0x1B},
    {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21}, {"in", 0x21}, {"uk", 0x22},
    {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B},
    {"az", 0x2C}, {"eu", 0x2D}, {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"hi", 0x39}, {"ms", 0x3E}, {"kk", 0x3F},
};

// Windows sub-languages of Chinese by territory: Taiwan 1, PRC 2, Hong Kong 3, Singapore 4, Macau 5.
uint16_t ChineseSubLanguage(const std::string& Territory, const std::string& Script)
{
    if (Territory == "TW")
        return 1;
    if (Territory == "CN")
        return 2;
    if (Territory == "HK")
        return 3;
    if (Territory == "SG")
        return 4;
    if (Territory == "MO")
        return 5;
    if (Script == "hant")
        return 1;
    if (Script == "hans")
        return 2;
    return 0;
}

} // namespace

uint16_t LangIdFromLocaleName(std::string_view LocaleName)
{
    std::string_view name = LocaleName.substr(0, LocaleName.find(':'));
    name = name.substr(0, name.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX")
        return 0;

    // language[_territory] or language-Script-territory (the form some desktops write)
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= name.size())
    {
        size_t end = name.find_first_of("_-", start);
        if (end == std::string_view::npos)
            end = name.size();
        parts.emplace_back(name.substr(start, end - start));
        start = end + 1;
    }
    std::string language = parts[0];
    std::transform(language.begin(), language.end(), language.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string territory, script;
    for (size_t i = 1; i < parts.size(); ++i)
    {
        std::string p = parts[i];
        if (p.size() == 4)
        {
            std::transform(p.begin(), p.end(), p.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            script = p;
        }
        else if (territory.empty())
        {
            std::transform(p.begin(), p.end(), p.begin(),
                           [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
            territory = p;
        }
    }

    for (const auto& l : Languages)
    {
        if (language != l.Iso)
            continue;
        uint16_t sub = l.Primary == 0x04 ? ChineseSubLanguage(territory, script) : 1;
        return static_cast<uint16_t>(l.Primary | (sub << 10));
    }
    return 0;
}

} // namespace orb::platform
