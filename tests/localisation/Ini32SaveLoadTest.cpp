#include "localisation/Ini32SaveLoad.h"

#include "base/Exceptions.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace orb;
using orb::test::ReadBytes;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

/// A storage over the given file text.
TIni32SaveLoad FromText(const std::string& Text)
{
    TIni32SaveLoad ini("");
    ini.LoadFromBytes(Text);
    return ini;
}

TStrings Names(const TIni32SaveLoad& Ini, const std::string& Section)
{
    TStrings s;
    Ini.ReadSectionNames(Section, &s);
    return s;
}

TStrings Values(const TIni32SaveLoad& Ini, const std::string& Section)
{
    TStrings s;
    Ini.ReadSectionValues(Section, &s);
    return s;
}

} // namespace

TEST(Ini32SaveLoad, ReadsValuesByTheSectionAndKeyRules)
{
    auto ini = FromText("[messages]\n"
                        " OK = Fine \n"
                        "Formula=a=b\n"
                        "Empty=\n"
                        "ok=lower\n"
                        "just a comment line\n"
                        "[Other]\n"
                        "OK=other\n");
    struct Case
    {
        const char* Section;
        const char* Ident;
        const char* Expected;
    } cases[] = {
        {"Messages", "OK", "Fine"},       // header matched ignoring case, key and value trimmed
        {"MESSAGES", "ok", "lower"},      // keys are case-sensitive
        {"Messages", "Formula", "a=b"},   // the value keeps its own "="
        {"Messages", "Empty", "default"}, // an empty value gives the default
        {"Messages", "Missing", "default"}, {"Nowhere", "OK", "default"},
        {"Other", "OK", "other"},           {"Messages", "just a comment line", "default"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString(c.Section, c.Ident, "default"), c.Expected) << c.Section << "/" << c.Ident;
}

TEST(Ini32SaveLoad, ListsKeysAndValuesInParallel)
{
    auto ini = FromText("[S]\nA=1\nkey=\nno equals sign\n=orphan\nA=2\n");
    EXPECT_EQ(Names(ini, "S"), (TStrings{"A", "key", "A"}));
    EXPECT_EQ(Values(ini, "S"), (TStrings{"1", "", "2"}));
    EXPECT_TRUE(Names(ini, "missing").empty());
}

TEST(Ini32SaveLoad, UsesTheLastOfRepeatedHeadersAndCountsPaddedHeaders)
{
    auto ini = FromText("[A]\nk=first\n  [B]  \nk=padded\n[a]\nk=second\n");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "second");
    // A header with blanks around it ends the previous section but is not found by name.
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_EQ(ini.SectionCount(), 3);
    TStrings sections;
    ini.ReadSections(&sections);
    EXPECT_EQ(sections, (TStrings{"A", "B", "a"}));
}

TEST(Ini32SaveLoad, ListReadersRequireAList)
{
    auto ini = FromText("[S]\n");
    EXPECT_THROW(ini.ReadSections(nullptr), std::logic_error);
    EXPECT_THROW(ini.ReadSectionNames("S", nullptr), std::logic_error);
    EXPECT_THROW(ini.ReadSectionValues("S", nullptr), std::logic_error);
}

TEST(Ini32SaveLoad, WritesNewSectionsSeparatedByOneBlankLine)
{
    TIni32SaveLoad ini("");
    ini.WriteString("First", "A", "1");
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[First]", "A=1"}));
    ini.WriteString("Second", "B", "2");
    ini.WriteString("Third", "", "ignored");
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[First]", "A=1", "", "[Second]", "B=2", "", "[Third]"}));
}

TEST(Ini32SaveLoad, WritesIntoTheMiddleOfTheFile)
{
    auto ini = FromText("[First]\nA=1\n\n[Second]\nB=2\n");
    ini.WriteString("First", "A", "changed");
    ini.WriteString("First", "C", "3");  // goes before the blank line that separates the sections
    ini.WriteString("Second", "D", "4"); // the last section grows at the end
    ini.WriteString("First", "", "nothing");
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[First]", "A=changed", "C=3", "", "[Second]", "B=2", "D=4"}));
}

TEST(Ini32SaveLoad, NewKeyStaysInItsSectionWithoutSeparatingBlankLine)
{
    auto ini = FromText("[Empty]\n[Full]\nA=1\n[Last]\n");
    ini.WriteString("Empty", "X", "1");
    ini.WriteString("Full", "Y", "2");
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[Empty]", "X=1", "[Full]", "A=1", "Y=2", "[Last]"}));
    EXPECT_EQ(ini.ReadString("Empty", "X", ""), "1");
}

TEST(Ini32SaveLoad, DeletesKeysAndSections)
{
    auto ini = FromText("[A]\nk=1\nk=2\n\n[B]\nx=1\n\n[C]\ny=1\n");
    ini.DeleteKey("A", "k");
    EXPECT_EQ(ini.ReadString("A", "k", ""), "2");
    ini.DeleteKey("A", "absent");
    ini.DeleteSection("B");
    EXPECT_FALSE(ini.SectionExists("B"));
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[A]", "k=2", "", "", "[C]", "y=1"}));
    ini.DeleteSection("A");
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[C]", "y=1"}));
}

TEST(Ini32SaveLoad, RenamesSectionsAndRefusesMissingOnes)
{
    auto ini = FromText("[Old]\nk=v\n");
    ini.RenameSection("old", "New");
    EXPECT_EQ(ini.ReadString("New", "k", ""), "v");
    try
    {
        ini.RenameSection("Gone", "X");
        FAIL() << "no exception";
    }
    catch (const Exception& e)
    {
        EXPECT_EQ(e.Message, "Section \"Gone\" does not exist");
    }
}

TEST(Ini32SaveLoad, CleanUpMergesDuplicateSectionsKeepingTheLast)
{
    auto ini = FromText("[A]\nk=1\n\n\n\n[B]\nb=1\n\n[a]\nk=2\n\n\n[A]\nk=3\n");
    ini.CleanUp();
    EXPECT_EQ(ini.Lines(), (std::vector<std::string>{"[B]", "b=1", "", "[A]", "k=3"}));
}

TEST(Ini32SaveLoad, SavesUtf8WithByteOrderMarkAndCrLf)
{
    TempDir dir;
    auto file = (dir / "settings.ini").string();
    {
        TIni32SaveLoad ini(file);
        ini.WriteString("Form", "Caption", "Привет");
        ini.WriteString("Form", "Caption2", "x");
        ini.SaveToFile();
    }
    EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF[Form]\r\nCaption=Привет\r\nCaption2=x\r\n");
    TIni32SaveLoad again(file);
    EXPECT_EQ(again.ReadString("Form", "Caption", ""), "Привет");
    // Nothing but the file itself is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), std::filesystem::directory_iterator()), 1);
}

TEST(Ini32SaveLoad, RewritesEveryLineEndAsCrLfAndKeepsTheValues)
{
    struct TCase
    {
        const char* Name;
        std::string Before;
    };
    const TCase cases[] = {
        {"CR LF", "\xEF\xBB\xBF[Form]\r\nLeft=10\r\nCaption=caf\xC3\xA9\r\n"},
        {"LF", "\xEF\xBB\xBF[Form]\nLeft=10\nCaption=caf\xC3\xA9\n"},
        {"CR", "[Form]\rLeft=10\rCaption=caf\xE9\r"},
        {"mixed, no final line end", "[Form]\r\nLeft=10\nCaption=caf\xE9"},
    };
    TempDir dir;
#ifdef _WIN32
    // The file name as Windows writes it, with backslashes.
    const std::string file = dir.Path().string() + "\\sub dir\\user.ini";
    std::filesystem::create_directories(dir.Path() / "sub dir");
#else
    const std::string file = (dir / "user.ini").string();
#endif
    for (const auto& c : cases)
    {
        WriteBytes(file, c.Before);
        TIni32SaveLoad ini(file);
        ini.WriteString("Form", "Top", "20");
        ini.SaveToFile();
        EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBF[Form]\r\nLeft=10\r\nCaption=caf\xC3\xA9\r\nTop=20\r\n") << c.Name;
        TIni32SaveLoad again(file);
        EXPECT_EQ(again.ReadString("Form", "Caption", ""), "caf\xC3\xA9") << c.Name;
    }
}

TEST(Ini32SaveLoad, DecodesByteOrderMarksLineEndsAndTheAnsiCodePage)
{
    struct Case
    {
        const char* Name;
        std::string Bytes;
    } cases[] = {
        {"utf-8 with mark, CR LF", "\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\n"},
        {"utf-16 LE", std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0c\0a\0f\0\xE9\0", 22)},
        {"utf-16 BE, CR", std::string("\xFE\xFF\0[\0S\0]\0\r\0k\0=\0c\0a\0f\0\xE9", 22)},
        {"windows-1252, LF", "[S]\nk=caf\xE9"},
        {"windows-1252, CR", "[S]\rk=caf\xE9\r"},
    };
    for (const auto& c : cases)
    {
        auto ini = FromText(c.Bytes);
        EXPECT_EQ(ini.ReadString("S", "k", "?"), "caf\xC3\xA9") << c.Name;
        EXPECT_EQ(ini.Lines().size(), 2u) << c.Name;
    }
}

TEST(Ini32SaveLoad, LoadsVeryLongLines)
{
    std::string value(200000, 'x');
    auto ini = FromText("[S]\nk=" + value + "\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), value);
}

TEST(Ini32SaveLoad, MissingFileIsAnEmptyStorageAndKeepsTheBuffer)
{
    TempDir dir;
    TIni32SaveLoad ini((dir / "absent.ini").string());
    EXPECT_TRUE(ini.Lines().empty());
    ini.WriteString("S", "k", "v");
    ini.LoadFromFile();
    EXPECT_EQ(ini.ReadString("S", "k", ""), "v");
}

TEST(Ini32SaveLoad, SaveIntoMissingDirectoryRaisesAndLeavesNothing)
{
    TempDir dir;
    TIni32SaveLoad ini((dir / "no" / "such" / "file.ini").string());
    ini.WriteString("S", "k", "v");
    EXPECT_THROW(ini.SaveToFile(), EInOutError);
}
