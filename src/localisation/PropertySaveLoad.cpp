#include "localisation/PropertySaveLoad.h"

#include "base/TextUtils.h"
#include "localisation/Ini32SaveLoad.h"

#include <charconv>
#include <cmath>

namespace orb
{

TPropertySaveLoad::TPropertySaveLoad(const std::string& FileName, TSaveLoadModule SaveLoadModule)
    : FSaveLoadModule(SaveLoadModule)
{
    switch (SaveLoadModule)
    {
    case smIni32:
        FSaveLoader = std::make_unique<TIni32SaveLoad>(FileName);
        break;
    }
}

void TPropertySaveLoad::SetFileName(const std::string& Value)
{
    if (Value == FSaveLoader->FileName())
        return;
    FSaveLoader->SetFileName(Value);
    FSaveLoader->LoadFromFile();
}

std::string TPropertySaveLoad::ReadString(const std::string& Section, const std::string& Ident,
                                          const std::string& Default) const
{
    return FSaveLoader->ReadString(Section, Ident, Default);
}

void TPropertySaveLoad::WriteString(const std::string& Section, const std::string& Ident, const std::string& Value)
{
    FSaveLoader->WriteString(Section, Ident, Value);
}

void TPropertySaveLoad::DeleteKey(const std::string& Section, const std::string& Ident)
{
    FSaveLoader->DeleteKey(Section, Ident);
}

void TPropertySaveLoad::DeleteSection(const std::string& Section)
{
    FSaveLoader->DeleteSection(Section);
}

void TPropertySaveLoad::ReadSections(TStrings* Strings) const
{
    FSaveLoader->ReadSections(Strings);
}

void TPropertySaveLoad::ReadSectionNames(const std::string& Section, TStrings* Strings) const
{
    FSaveLoader->ReadSectionNames(Section, Strings);
}

void TPropertySaveLoad::ReadSectionValues(const std::string& Section, TStrings* Strings) const
{
    FSaveLoader->ReadSectionValues(Section, Strings);
}

bool TPropertySaveLoad::SectionExists(const std::string& Section) const
{
    return FSaveLoader->SectionExists(Section);
}

int TPropertySaveLoad::SectionCount() const
{
    return FSaveLoader->SectionCount();
}

void TPropertySaveLoad::RenameSection(const std::string& OldSectionName, const std::string& NewSectionName)
{
    FSaveLoader->RenameSection(OldSectionName, NewSectionName);
}

void TPropertySaveLoad::LoadFromFile()
{
    FSaveLoader->LoadFromFile();
}

void TPropertySaveLoad::SaveToFile()
{
    FSaveLoader->SaveToFile();
}

void TPropertySaveLoad::WriteBoolean(const std::string& Section, const std::string& Name, bool Value)
{
    WriteString(Section, Name, Value ? "1" : "0");
}

bool TPropertySaveLoad::ReadBoolean(const std::string& Section, const std::string& Name, bool DefaultValue) const
{
    return ReadInteger(Section, Name, DefaultValue ? 1 : 0) != 0;
}

void TPropertySaveLoad::WriteInteger(const std::string& Section, const std::string& Name, int32_t Value)
{
    WriteString(Section, Name, std::to_string(Value));
}

int32_t TPropertySaveLoad::ReadInteger(const std::string& Section, const std::string& Name, int32_t DefaultValue) const
{
    std::string text = ReadString(Section, Name, "");
    if (text.size() >= 3 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text = "$" + text.substr(2);
    return StrToIntDef(text, DefaultValue);
}

void TPropertySaveLoad::WriteFloat(const std::string& Section, const std::string& Name, double Value)
{
    WriteString(Section, Name, FloatToText(Value));
}

double TPropertySaveLoad::ReadFloat(const std::string& Section, const std::string& Name, double DefaultValue) const
{
    double value = DefaultValue;
    TryTextToFloat(ReadString(Section, Name, ""), value);
    return value;
}

void TPropertySaveLoad::WriteStrings(const std::string& Section, const std::string& Name, const std::string& Separator,
                                     const TStrings& Value)
{
    WriteString(Section, Name, JoinStrings(Value, Separator));
}

TStrings TPropertySaveLoad::ReadStrings(const std::string& Section, const std::string& Name,
                                        const std::string& Separator, const TStrings& DefValue) const
{
    return SplitStrings(ReadString(Section, Name, JoinStrings(DefValue, Separator)), Separator);
}

std::string JoinStrings(const TStrings& Lines, const std::string& Separator)
{
    std::string result;
    for (size_t i = 0; i < Lines.size(); ++i)
    {
        if (i > 0)
            result += Separator;
        result += Lines[i];
    }
    return result;
}

TStrings SplitStrings(const std::string& Text, const std::string& Separator)
{
    TStrings pieces;
    if (Separator.empty())
    {
        pieces.push_back(Trim(Text));
    }
    else
    {
        size_t start = 0;
        for (;;)
        {
            auto at = Text.find(Separator, start);
            if (at == std::string::npos)
            {
                pieces.push_back(Trim(std::string_view(Text).substr(start)));
                break;
            }
            pieces.push_back(Trim(std::string_view(Text).substr(start, at - start)));
            start = at + Separator.size();
        }
    }
    if (!pieces.empty() && pieces.back().empty())
        pieces.pop_back();
    return pieces;
}

std::string FloatToText(double Value)
{
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, Value);
    return std::string(buffer, result.ptr);
}

bool TryTextToFloat(const std::string& Text, double& Value)
{
    std::string t = Trim(Text);
    if (t.empty())
        return false;
    const char* first = t.data();
    if (*first == '+')
        ++first;
    double parsed = 0;
    auto result = std::from_chars(first, t.data() + t.size(), parsed);
    if (result.ec != std::errc() || result.ptr != t.data() + t.size())
        return false;
    Value = parsed;
    return true;
}

} // namespace orb
