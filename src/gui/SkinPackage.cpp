#include "gui/SkinPackage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <sstream>

namespace orb
{

namespace
{

std::string_view Trim(std::string_view Text)
{
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.front())))
        Text.remove_prefix(1);
    while (!Text.empty() && std::isspace(static_cast<unsigned char>(Text.back())))
        Text.remove_suffix(1);
    return Text;
}

std::string Lower(std::string_view Text)
{
    std::string result(Text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char C) { return static_cast<char>(std::tolower(C)); });
    return result;
}

/// The colour keys, the member each fills and whether a skin must have it.
struct TRole
{
    const char* Key;
    bool Required;
};
constexpr std::array<TRole, 5> Roles = {{{"content", true},
                                         {"contenttext", true},
                                         {"disablededitortext", true},
                                         {"hyperlinktext", true},
                                         {"formcolor", false}}};

} // namespace

std::optional<std::uint32_t> ParseSkinColor(std::string_view Text)
{
    if (Text.size() != 7 || Text[0] != '#')
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : Text.substr(1))
    {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                                            ? c - '0'
                                                            : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
    }
    return value;
}

std::vector<TSkin> ParseSkinPackage(std::string_view Text, const std::string& Source)
{
    if (Text.substr(0, 3) == "\xEF\xBB\xBF")
        Text.remove_prefix(3);
    std::vector<TSkin> skins;
    std::vector<std::array<bool, Roles.size()>> seen;
    std::vector<int> headerLines;
    auto fail = [&Source](int Line, const std::string& What) -> ESkinError {
        return ESkinError(Source + "(" + std::to_string(Line) + "): " + What);
    };
    int lineNo = 0;
    while (!Text.empty() || lineNo == 0)
    {
        ++lineNo;
        const size_t end = Text.find('\n');
        const std::string_view line = Trim(Text.substr(0, end));
        Text = end == std::string_view::npos ? std::string_view() : Text.substr(end + 1);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[')
        {
            if (line.back() != ']')
                throw fail(lineNo, "section header without \"]\"");
            const std::string name(Trim(line.substr(1, line.size() - 2)));
            if (name.empty())
                throw fail(lineNo, "skin without a name");
            for (const auto& skin : skins)
                if (Lower(skin.Name) == Lower(name))
                    throw fail(lineNo, "skin \"" + name + "\" appears twice");
            skins.push_back(TSkin{});
            skins.back().Name = name;
            seen.push_back({});
            headerLines.push_back(lineNo);
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            throw fail(lineNo, "expected \"key = value\", found \"" + std::string(line) + "\"");
        if (skins.empty())
            throw fail(lineNo, "value before the first [skin] section");
        const std::string key = Lower(Trim(line.substr(0, eq)));
        const std::string_view value = Trim(line.substr(eq + 1));
        TSkin& skin = skins.back();
        if (key == "stylesheet")
        {
            // A style sheet may span several lines: each StyleSheet line adds one.
            if (!skin.StyleSheet.empty())
                skin.StyleSheet += '\n';
            skin.StyleSheet += value;
            continue;
        }
        size_t role = 0;
        while (role < Roles.size() && key != Roles[role].Key)
            ++role;
        if (role == Roles.size())
            throw fail(lineNo, "unknown key \"" + std::string(Trim(line.substr(0, eq))) + "\"");
        const auto color = ParseSkinColor(value);
        if (!color)
            throw fail(lineNo, "\"" + std::string(value) + "\" is not a colour of the form #RRGGBB");
        seen.back()[role] = true;
        switch (role)
        {
        case 0: skin.Content = *color; break;
        case 1: skin.ContentText = *color; break;
        case 2: skin.DisabledEditorText = *color; break;
        case 3: skin.HyperlinkText = *color; break;
        default: skin.FormColor = *color; break;
        }
    }
    if (skins.empty())
        throw ESkinError(Source + ": no skin in the file");
    for (size_t i = 0; i < skins.size(); ++i)
        for (size_t role = 0; role < Roles.size(); ++role)
            if (Roles[role].Required && !seen[i][role])
                throw fail(headerLines[i], "skin \"" + skins[i].Name + "\" has no " + Roles[role].Key + " colour");
    return skins;
}

std::vector<TSkin> LoadSkinPackage(const std::string& FileName)
{
    std::ifstream file(FileName, std::ios::binary);
    if (!file)
        throw EInOutError(2, "Cannot open file \"" + FileName + "\". No such file or directory");
    std::ostringstream text;
    text << file.rdbuf();
    if (file.bad())
        throw EInOutError(5, "Cannot read file \"" + FileName + "\"");
    return ParseSkinPackage(text.str(), FileName);
}

} // namespace orb
