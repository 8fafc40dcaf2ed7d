// The language files shipped in resource/language, read the way the launcher reads them.
#include "localisation/Ini32SaveLoad.h"
#include "localisation/StringValues.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"
#include "xml/VuvareXMLNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

using namespace orb;
namespace fs = std::filesystem;
using orb::test::ReadBytes;
using orb::test::SourceDir;

namespace
{

/// One translation: its code, the name the language list shows, and its caption of the Cancel button.
struct TShippedLanguage
{
    const char* Code;
    const char* Name;
    const char* Cancel;
};

/// Every language besides English, in the order of the installation's language list.
const TShippedLanguage kLanguages[] = {
    {"ar_KW", "العربية", "إلغاء"},
    {"bg_BG", "Български", "Отказ"},
    {"zh_TW", "繁體中文", "取消"},
    {"zh_CN", "简体中文", "取消"},
    {"de_DE", "Deutsch", "Abbrechen"},
    {"es_ES", "Español", "Cancelar"},
    {"fi_FI", "Suomi", "Peruuta"},
    {"fr_FR", "Français", "Annuler"},
    {"he_IL", "עברית", "ביטול"},
    {"hu_HU", "Magyar", "Mégse"},
    {"it_IT", "Italiano", "Annulla"},
    {"ja_JP", "日本語", "キャンセル"},
    {"ko_KR", "한국어", "취소"},
    {"nl_NL", "Nederlands", "Annuleren"},
    {"pt_PT", "Português", "Cancelar"},
    {"ru_RU", "Русский", "Отмена"},
    {"sk_SK", "Slovenčina", "Zrušiť"},
    {"tr_TR", "Türkçe", "İptal"},
    {"in_ID", "Bahasa Indonesia", "Batal"},
};

fs::path LanguageDir()
{
    return SourceDir() / "resource" / "language";
}

fs::path FileOf(const std::string& Code)
{
    return LanguageDir() / ("language_" + Code + ".ini");
}

/// A language file as sections of key=value pairs in file order, read through the storage.
using TSections = std::map<std::string, std::vector<std::pair<std::string, std::string>>>;

TSections Load(const std::string& Code)
{
    TIni32SaveLoad ini(FileOf(Code).string());
    TStrings sections;
    ini.ReadSections(&sections);
    TSections result;
    for (const auto& section : sections)
    {
        TStrings names, values;
        ini.ReadSectionNames(section, &names);
        ini.ReadSectionValues(section, &values);
        auto& pairs = result[section];
        for (size_t i = 0; i < names.size() && i < values.size(); ++i)
            pairs.emplace_back(names[i], values[i]);
    }
    return result;
}

/// The section headers of a language file, sorted, repeated ones included.
TStrings SectionNames(const std::string& Code)
{
    TStrings sections;
    TIni32SaveLoad(FileOf(Code).string()).ReadSections(&sections);
    std::sort(sections.begin(), sections.end());
    return sections;
}

const TSections& English()
{
    static const TSections english = Load("en_US");
    return english;
}

/// The text of Key in Section, or nullptr when the file lacks it.
const std::string* Find(const TSections& File, const std::string& Section, const std::string& Key)
{
    auto section = File.find(Section);
    if (section == File.end())
        return nullptr;
    for (const auto& [key, value] : section->second)
        if (key == Key)
            return &value;
    return nullptr;
}

/// What the program fills in or interprets inside a value: placeholders {n}, line breaks, "&" accelerators.
std::multiset<std::string> Markers(const std::string& Value)
{
    std::multiset<std::string> markers;
    for (size_t i = 0; i < Value.size(); ++i)
    {
        if (Value[i] == '{')
        {
            const size_t close = Value.find('}', i);
            if (close != std::string::npos)
                markers.insert(Value.substr(i, close - i + 1));
        }
        else if (Value.compare(i, 2, "\\n") == 0)
            markers.insert("\\n");
        else if (Value[i] == '&')
        {
            const bool doubled = i + 1 < Value.size() && Value[i + 1] == '&'; // a literal ampersand
            markers.insert(doubled ? "&&" : "&");
            i += doubled ? 1 : 0;
        }
    }
    return markers;
}

/// True when Bytes is well-formed UTF-8 (no overlong forms, no surrogates, nothing beyond U+10FFFF).
bool IsUtf8(const std::string& Bytes)
{
    for (size_t i = 0; i < Bytes.size();)
    {
        const auto c = static_cast<unsigned char>(Bytes[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > Bytes.size())
            return false;
        unsigned long code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k)
        {
            const auto next = static_cast<unsigned char>(Bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        static const unsigned long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace

TEST(ShippedLanguages, EveryFileIsInTheLanguageListAndEveryListedLanguageHasAFile)
{
    std::set<std::string> files;
    for (const auto& entry : fs::directory_iterator(LanguageDir()))
        files.insert(entry.path().filename().string());
    std::set<std::string> expected{"language_en_US.ini"};
    for (const auto& language : kLanguages)
        expected.insert(std::string("language_") + language.Code + ".ini");
    EXPECT_EQ(files, expected);

    auto main = xml::LoadXMLNodeFromFile(SourceDir() / "demo" / "main_loader_settings.xml");
    auto list = main->ChildNodes()->FindNode("languages");
    ASSERT_TRUE(list) << "demo/main_loader_settings.xml has no languages";
    std::vector<std::pair<std::string, std::string>> shown;
    for (int i = 0; i < list->ChildNodes()->Count(); ++i)
        if (auto item = list->ChildNodes()->Get(i); item->NodeType() == xml::ntElement)
            shown.emplace_back(item->Attributes("name"), item->Attributes("value"));
    std::vector<std::pair<std::string, std::string>> wanted{{"English", "en_US"}};
    for (const auto& language : kLanguages)
        wanted.emplace_back(language.Name, language.Code);
    EXPECT_EQ(shown, wanted) << "English first: the list falls back to its first item";
}

TEST(ShippedLanguages, AreUtf8WithAByteOrderMark)
{
    // Without the mark the storage reads the file as Windows-1252 and every non-Latin text turns to garbage.
    for (const auto& language : kLanguages)
    {
        const std::string bytes = ReadBytes(FileOf(language.Code));
        EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << language.Code;
        EXPECT_TRUE(IsUtf8(bytes)) << language.Code;
    }
}

TEST(ShippedLanguages, HaveExactlyTheEnglishSectionsAndKeys)
{
    ASSERT_FALSE(English().empty());
    for (const auto& language : kLanguages)
    {
        const TSections file = Load(language.Code);
        EXPECT_EQ(SectionNames(language.Code), SectionNames("en_US")) << language.Code;
        for (const auto& [section, englishPairs] : English())
        {
            auto found = file.find(section);
            if (found == file.end())
                continue;
            std::vector<std::string> keys, englishKeys;
            for (const auto& pair : found->second)
                keys.push_back(pair.first);
            for (const auto& pair : englishPairs)
                englishKeys.push_back(pair.first);
            // Sorted, so that a key written twice shows as a difference too.
            std::sort(keys.begin(), keys.end());
            std::sort(englishKeys.begin(), englishKeys.end());
            EXPECT_EQ(keys, englishKeys) << language.Code << " [" << section << "]";
        }
    }
}

TEST(ShippedLanguages, HaveATextWhereEnglishHasOne)
{
    for (const auto& language : kLanguages)
    {
        const TSections file = Load(language.Code);
        for (const auto& [section, pairs] : English())
            for (const auto& [key, english] : pairs)
            {
                const std::string* text = Find(file, section, key);
                EXPECT_TRUE(!text || english.empty() || !text->empty())
                    << language.Code << " [" << section << "] " << key;
            }
    }
}

TEST(ShippedLanguages, KeepThePlaceholdersLineBreaksAndAccelerators)
{
    for (const auto& language : kLanguages)
    {
        const TSections file = Load(language.Code);
        for (const auto& [section, pairs] : English())
            for (const auto& [key, english] : pairs)
            {
                const std::string* text = Find(file, section, key);
                EXPECT_EQ(text ? Markers(*text) : Markers(english), Markers(english))
                    << language.Code << " [" << section << "] " << key << "=" << (text ? *text : "");
            }
    }
}

namespace
{

struct ShippedLanguageTable : ::testing::Test
{
    std::string SavedPath = ResourcePath;
    std::string SavedCode = LanguageCode;

    void SetUp() override { ResourcePath = (SourceDir() / "resource").string(); }

    void TearDown() override
    {
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        ResourcePath = SavedPath;
        LanguageCode = SavedCode;
    }
};

} // namespace

TEST_F(ShippedLanguageTable, ReturnsEachLanguagesOwnMessages)
{
    for (const auto& language : kLanguages)
    {
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        LanguageCode = language.Code;
        ASSERT_EQ(fs::path(GetLanguageFileName()), FileOf(language.Code));
        LanguageTable = std::make_unique<TLanguage>();

        EXPECT_EQ(LanguageTable->Cancel, language.Cancel) << language.Code;
        const std::string powered = LanguageTable->Get("PoweredByCaption", {"2026"});
        EXPECT_NE(powered.find("Orb Loader"), std::string::npos) << language.Code << ": " << powered;
        EXPECT_NE(powered.find("\r\n"), std::string::npos) << language.Code << ": " << powered;
        EXPECT_NE(powered.find("2026"), std::string::npos) << language.Code << ": " << powered;
        for (const auto& message : English().at("Messages"))
            EXPECT_TRUE(LanguageTable->HasMessage(message.first)) << language.Code << " " << message.first;
        EXPECT_NE(LanguageTable->Get("ServerConnectionError"), *Find(English(), "Messages", "ServerConnectionError"))
            << language.Code << " shows the English text";
    }
}

TEST_F(ShippedLanguageTable, SwitchingThroughAllLanguagesEndsWithTheLastOnesTexts)
{
    LanguageCode = "en_US";
    LanguageTable = std::make_unique<TLanguage>();
    EXPECT_EQ(LanguageTable->Cancel, "Cancel");
    for (const auto& language : kLanguages)
    {
        LanguageCode = language.Code;
        LanguageTable->ChangeLanguage();
        EXPECT_EQ(LanguageTable->Cancel, language.Cancel) << language.Code;
    }
    LanguageCode = "en_US";
    LanguageTable->ChangeLanguage();
    EXPECT_EQ(LanguageTable->Cancel, "Cancel");
}
