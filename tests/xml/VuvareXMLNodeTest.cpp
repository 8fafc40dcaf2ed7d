#include "xml/VuvareXMLNode.h"

#include "base/Exceptions.h"
#include "support/TempDir.h"
#include "xml/VuvareSAX.h"
#include "xml/VuvareXMLDocument.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>
#include <vector>

using namespace orb::xml;
using orb::test::ReadBytes;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

const char* const kSettings = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                              "<!-- written by hand -->\r\n"
                              "<settings language=\"de\" skin=\"Dark &amp; &quot;bold&quot;\">\r\n"
                              "  <!-- the account types\r\n     typed by the user -->\r\n"
                              "  <entries>\r\n"
                              "    <entry name=\"Demo\" server=\"https://a.example/?x=1&amp;y=2\"/>\r\n"
                              "    <entry name=\"Real &lt;EU&gt;\" tab=\"a&#x9;b\"/>\r\n"
                              "  </entries>\r\n"
                              "  <proxy use=\"false\" host=\"\" port=\"8080\"/>\r\n"
                              "  <last login=\"J\xC3\xBCrgen\" password=\"\xD0\x9F\xD0\xB0\xD1\x80\"/>\r\n"
                              "</settings>\r\n";

/// A readable dump of a node tree (type, name, value, attributes, children) for comparing trees.
std::string Dump(const IXMLNodePtr& Node, int Level = 0)
{
    std::string out(static_cast<size_t>(Level) * 2, ' ');
    out += std::to_string(Node->NodeType()) + " [" + Node->NodeName() + "] [" + Node->NodeValue() + "]";
    if (auto attributes = Node->AttributeNodes())
        for (int i = 0; i < attributes->Count(); ++i)
            out += " " + attributes->Get(i)->NodeName() + "=[" + attributes->Get(i)->NodeValue() + "]";
    out += "\n";
    if (auto children = Node->ChildNodes())
        for (int i = 0; i < children->Count(); ++i)
            out += Dump(children->Get(i), Level + 1);
    return out;
}

} // namespace

TEST(VuvareXMLNode, LoadsRootElementWithAttributesChildrenAndComments)
{
    auto root = LoadXMLNodeFromString(kSettings);
    ASSERT_EQ(root->NodeType(), ntElement);
    EXPECT_EQ(root->NodeName(), "settings");
    EXPECT_EQ(root->Attributes("skin"), "Dark & \"bold\"");
    EXPECT_EQ(root->AttributeNodes()->Count(), 2);
    auto children = root->ChildNodes();
    ASSERT_EQ(children->Count(), 4);
    EXPECT_EQ(children->Get(0)->NodeType(), ntComment);
    EXPECT_EQ(children->Get(0)->Text(), " the account types\r\n     typed by the user ");
    auto entries = children->FindNode("entries");
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->ParentNode(), root);
    EXPECT_EQ(entries->ChildNodes()->Get(1)->Attributes("name"), "Real <EU>");
    EXPECT_EQ(entries->ChildNodes()->Get(1)->Attributes("tab"), "a\tb");
    EXPECT_EQ(children->FindNode("last")->Attributes("login"), "J\xC3\xBCrgen");
    EXPECT_EQ(root->ParentNode(), nullptr);
}

TEST(VuvareXMLNode, TopLevelCommentsAndDeclarationAreDropped)
{
    auto root = LoadXMLNodeFromString("<!-- a --><?xml version=\"1.0\"?><!-- b --><r/><!-- c -->");
    EXPECT_EQ(root->NodeName(), "r");
    EXPECT_FALSE(root->HasChildNodes());
}

TEST(VuvareXMLNode, DocumentWithoutElementGivesEmptyNode)
{
    auto node = LoadXMLNodeFromString("<?xml version=\"1.0\"?><!-- only a comment -->");
    EXPECT_EQ(node->NodeType(), ntReserved);
    EXPECT_EQ(node->NodeName(), "");
    EXPECT_EQ(node->ChildNodes(), nullptr);
    EXPECT_EQ(node->AttributeNodes(), nullptr);
    EXPECT_FALSE(node->HasChildNodes());
}

TEST(VuvareXMLNode, MissingAttributeReadsEmptyAndWritingAppendsItLast)
{
    auto node = LoadXMLNodeFromString("<a x=\"1\" y=\"2\"/>");
    EXPECT_EQ(node->Attributes("missing"), "");
    EXPECT_FALSE(node->HasAttribute("missing"));
    EXPECT_FALSE(node->HasAttribute("X")); // case-sensitive
    node->SetAttribute("x", "10");
    node->SetAttribute("new", "v");
    EXPECT_TRUE(node->HasAttribute("new"));
    EXPECT_EQ(node->XML(), "<a x=\"10\" y=\"2\" new=\"v\"/>");
}

TEST(VuvareXMLNode, ReplacingValuesKeepsAttributeOrderBeforeAndAfterListingThem)
{
    auto node = LoadXMLNodeFromString("<a first=\"1\" middle=\"2\" last=\"3\"/>");
    node->SetAttribute("middle", "a much longer value than before");
    node->SetAttribute("first", "");
    EXPECT_EQ(node->XML(), "<a first=\"\" middle=\"a much longer value than before\" last=\"3\"/>");
    auto list = node->AttributeNodes();
    ASSERT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Get(1)->NodeType(), ntAttribute);
    EXPECT_EQ(list->Get(1)->ParentNode(), nullptr);
    // The list is the node's own: changes through it and through the node are one and the same.
    list->Get(2)->SetNodeValue("33");
    EXPECT_EQ(node->Attributes("last"), "33");
    node->SetAttribute("middle", "m");
    EXPECT_EQ(list->Get(1)->Text(), "m");
    node->SetAttribute("added", "x");
    EXPECT_EQ(list->Count(), 4);
    list->Delete("first");
    EXPECT_FALSE(node->HasAttribute("first"));
    EXPECT_EQ(node->XML(), "<a middle=\"m\" last=\"33\" added=\"x\"/>");
}

TEST(VuvareXMLNode, NonElementNodesHaveNoNameAndNoLists)
{
    auto root = LoadXMLNodeFromString("<a>text<!--note--></a>");
    auto text = root->ChildNodes()->Get(0);
    auto comment = root->ChildNodes()->Get(1);
    EXPECT_EQ(text->NodeName(), "");
    EXPECT_EQ(text->NodeValue(), "text");
    EXPECT_EQ(comment->NodeType(), ntComment);
    EXPECT_EQ(comment->NodeValue(), "note");
    EXPECT_EQ(text->ChildNodes(), nullptr);
    EXPECT_EQ(text->AttributeNodes(), nullptr);
    EXPECT_FALSE(text->HasAttribute(""));
    EXPECT_EQ(text->ParentNode(), root);
    EXPECT_EQ(root->NodeValue(), "");
}

TEST(VuvareXMLNode, ConcurrentReadersGetTheSameLists)
{
    auto root = LoadXMLNodeFromString("<r a=\"1\" b=\"2\"><c x=\"3\"/><d/></r>");
    std::vector<IXMLNodeListPtr> children(4);
    std::vector<IXMLNodeListPtr> attributes(4);
    std::vector<std::string> values(4);
    std::vector<std::thread> readers;
    for (size_t i = 0; i < 4; ++i)
        readers.emplace_back([&, i] {
            children[i] = root->ChildNodes();
            attributes[i] = root->AttributeNodes();
            values[i] = root->Attributes("b") + children[i]->First()->Attributes("x");
        });
    for (auto& reader : readers)
        reader.join();
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_EQ(children[i], children[0]);
        EXPECT_EQ(attributes[i], attributes[0]);
        EXPECT_EQ(values[i], "23");
    }
}

TEST(VuvareXMLNode, AddChildAppendsOrInsertsAndSetsParent)
{
    auto root = CreateXMLNode("root");
    EXPECT_EQ(root->NodeType(), ntElement);
    EXPECT_EQ(root->ParentNode(), nullptr);
    auto b = root->AddChild("b");
    auto a = root->AddChild("a", 0);
    auto c = root->AddChild("c");
    EXPECT_EQ(root->ChildNodes()->IndexOf(a), 0);
    EXPECT_EQ(root->ChildNodes()->IndexOf(b), 1);
    EXPECT_EQ(root->ChildNodes()->Last(), c);
    EXPECT_EQ(b->ParentNode(), root);
    EXPECT_TRUE(b->ChildNodes());
    EXPECT_EQ(b->ChildNodes()->Count(), 0);
}

TEST(VuvareXMLNode, ParentBackReferenceDoesNotKeepParentAlive)
{
    IXMLNodePtr child;
    {
        auto root = CreateXMLNode("root");
        child = root->AddChild("child");
        EXPECT_EQ(child->ParentNode(), root);
    }
    EXPECT_EQ(child->ParentNode(), nullptr);
    EXPECT_EQ(child->NodeName(), "child");
}

TEST(VuvareXMLNode, ElementValueIsNotItsTextAndIsNotWritten)
{
    auto node = LoadXMLNodeFromString("<a>hello</a>");
    EXPECT_EQ(node->Text(), "");
    EXPECT_EQ(node->ChildNodes()->First()->NodeType(), ntText);
    EXPECT_EQ(node->ChildNodes()->First()->Text(), "hello");
    node->SetText("ignored");
    EXPECT_EQ(node->NodeValue(), "ignored");
    EXPECT_EQ(node->XML(), "<a>\r\n  hello\r\n</a>");
}

TEST(VuvareXMLNodeList, LookupByNameIsCaseSensitive)
{
    auto root = LoadXMLNodeFromString("<r><Entry/><entry n=\"2\"/><entry n=\"3\"/></r>");
    auto list = root->ChildNodes();
    EXPECT_EQ(list->IndexOf("entry"), 1);
    EXPECT_EQ(list->FindNode("entry")->Attributes("n"), "2");
    EXPECT_EQ(list->FindNode("ENTRY"), nullptr);
    EXPECT_EQ(list->IndexOf("ENTRY"), -1);
}

TEST(VuvareXMLNodeList, DeleteRemoveAndReplace)
{
    auto root = LoadXMLNodeFromString("<r><a/><b/><c/><b/></r>");
    auto list = root->ChildNodes();
    EXPECT_EQ(list->Delete("zzz"), -1);
    EXPECT_EQ(list->Count(), 4);
    EXPECT_EQ(list->Delete("b"), 1);
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(list->Get(1)->NodeName(), "c");
    auto a = list->Get(0);
    auto c = list->Get(1);
    EXPECT_EQ(list->ReplaceNode(a, c), a);
    EXPECT_EQ(list->Get(0), c);
    EXPECT_EQ(list->Get(1), a);
    EXPECT_EQ(list->Remove(a), 1);
    EXPECT_EQ(list->Remove(a), -1);
    EXPECT_EQ(list->IndexOf(a), -1);
    EXPECT_EQ(list->Delete(0), 0);
    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(list->Add(a), 1);
    list->Insert(0, c);
    EXPECT_EQ(list->First(), c);
    list->Clear();
    EXPECT_EQ(list->Count(), 0);
}

TEST(VuvareXMLNodeList, IndexOutOfRangeRaisesListError)
{
    auto list = CreateXMLNode("r")->ChildNodes();
    EXPECT_THROW(list->First(), orb::EListError);
    EXPECT_THROW(list->Last(), orb::EListError);
    EXPECT_THROW(list->Get(0), orb::EListError);
    EXPECT_THROW(list->Get(-1), orb::EListError);
    EXPECT_THROW(list->Delete(0), orb::EListError);
}

TEST(VuvareXMLNode, LoadFromMissingFileRaisesFileOpenError)
{
    TempDir dir;
    try
    {
        LoadXMLNodeFromFile(dir / "missing.xml");
        FAIL() << "no error";
    }
    catch (const orb::EInOutError& e)
    {
        EXPECT_EQ(e.ClassName(), "EFOpenError");
        EXPECT_NE(e.Message.find("missing.xml"), std::string::npos) << e.Message;
    }
}

TEST(VuvareXMLNode, LoadFromDirectoryRaisesFileOpenError)
{
    TempDir dir;
    try
    {
        LoadXMLNodeFromFile(dir.Path());
        FAIL() << "no error";
    }
    catch (const orb::EInOutError& e)
    {
        EXPECT_EQ(e.ClassName(), "EFOpenError");
    }
}

TEST(VuvareXMLNode, LoadFromEmptyFileGivesEmptyNode)
{
    TempDir dir;
    WriteBytes(dir / "empty.xml", "");
    EXPECT_EQ(LoadXMLNodeFromFile(dir / "empty.xml")->NodeType(), ntReserved);
}

TEST(VuvareXMLNode, SettingsFileRoundTripIsStable)
{
    TempDir dir;
    WriteBytes(dir / "user.xml", kSettings);
    auto first = LoadXMLNodeFromFile(dir / "user.xml");
    SaveIXMLNodeToFile(dir / "saved1.xml", first, enUTF8);
    auto second = LoadXMLNodeFromFile(dir / "saved1.xml");
    EXPECT_EQ(Dump(second), Dump(first));
    SaveIXMLNodeToFile(dir / "saved2.xml", second, enUTF8);
    const std::string bytes = ReadBytes(dir / "saved1.xml");
    EXPECT_EQ(ReadBytes(dir / "saved2.xml"), bytes);
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<settings ", 0), 0u) << bytes;
    EXPECT_EQ(bytes.substr(bytes.size() - 11), "</settings>");
}

TEST(VuvareXMLNode, ChangedSettingsAreSavedAndReadBack)
{
    TempDir dir;
    auto root = CreateXMLNode("user_settings");
    root->SetAttribute("language", "ru");
    auto entry = root->AddChild("entry");
    entry->SetAttribute("name", "\xD0\x94\xD0\xB5\xD0\xBC\xD0\xBE <1> & \"x\"\r\n");
    SaveIXMLNodeToFile(dir / "u.xml", root);
    auto back = LoadXMLNodeFromFile(dir / "u.xml");
    EXPECT_EQ(Dump(back), Dump(root));
}

TEST(VuvareXMLNode, SettingsFilesWithAnyLineEndAreReadAndWrittenWithCrLf)
{
    struct TCase
    {
        const char* Name;
        std::string Text;
    };
    const TCase cases[] = {
        {"CR LF",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<settings a=\"1\">\r\n  <item b=\"\xC3\xA9\"/>\r\n</settings>"},
        {"LF",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<settings a=\"1\">\n  <item b=\"\xC3\xA9\"/>\n</settings>\n"},
        {"CR",
         "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r<settings a=\"1\">\r  <item b=\"\xC3\xA9\"/>\r</settings>\r"},
    };
    TempDir dir;
#ifdef _WIN32
    // A file name as Windows writes it, with backslashes and a blank.
    const std::filesystem::path file = dir.Path().string() + "\\sub dir\\user_loader_settings.xml";
#else
    const std::filesystem::path file = dir / "sub dir" / "user_loader_settings.xml";
#endif
    std::filesystem::create_directories(dir / "sub dir");
    for (const auto& c : cases)
    {
        WriteBytes(file, c.Text);
        auto root = LoadXMLNodeFromFile(file);
        EXPECT_EQ(root->Attributes("a"), "1") << c.Name;
        SaveIXMLNodeToFile(file, root);
        EXPECT_EQ(ReadBytes(file), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<settings a=\"1\">\r\n  <item "
                                   "b=\"\xC3\xA9\"/>\r\n</settings>")
            << c.Name;
    }
}

TEST(VuvareXMLNode, SavingAnUnsupportedNodeKeepsTheOldFile)
{
    TempDir dir;
    WriteBytes(dir / "u.xml", "<old/>");
    auto root = LoadXMLNodeFromString("<r><a><?pi x=\"1\"?></a></r>");
    try
    {
        SaveIXMLNodeToFile(dir / "u.xml", root);
        FAIL() << "no error";
    }
    catch (const orb::Exception& e)
    {
        EXPECT_EQ(e.Message, "IXMLNodeToXML: Unsupported NodeType");
    }
    EXPECT_EQ(ReadBytes(dir / "u.xml"), "<old/>");
}

TEST(VuvareXMLNode, SavingIntoMissingDirectoryRaisesAndLeavesNothing)
{
    TempDir dir;
    EXPECT_THROW(SaveIXMLNodeToFile(dir / "no" / "u.xml", CreateXMLNode("r")), orb::EInOutError);
    EXPECT_FALSE(std::filesystem::exists(dir / "no"));
}

TEST(VuvareXMLNode, AsciiSaveReplacesOtherCharacters)
{
    TempDir dir;
    auto root = CreateXMLNode("r");
    root->SetAttribute("n", "J\xC3\xBCrgen");
    SaveIXMLNodeToFile(dir / "a.xml", root, enUnknown);
    EXPECT_EQ(ReadBytes(dir / "a.xml"), "<?xml version=\"1.0\"?>\r\n<r n=\"J?rgen\"/>");
}

struct VersionCase
{
    const char* A;
    const char* B;
    int Expected;
};

TEST(CompareVersions, OrdersDottedNumbersNumerically)
{
    const VersionCase cases[] = {
        {"2.0", "10.0", -1}, {"1.2", "1.2.", 0},  {"", "0", -1},           {"1.2", "1.2.0", -1},
        {"1.10", "1.9", 1},  {"4.5", "4.5", 0},   {"4.5.1", "4.5", 1},     {"", "", 0},
        {"4.05", "4.5", 0},  {"3.99", "4.5", -1}, {"4.5.0.0", "4.5.0", 1},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(CompareVersions(c.A, c.B), c.Expected) << c.A << " vs " << c.B;
        EXPECT_EQ(CompareVersions(c.B, c.A), -c.Expected) << c.B << " vs " << c.A;
    }
}

TEST(CompareVersions, NonNumericPieceRaisesConvertError)
{
    EXPECT_THROW(CompareVersions("1.x", "1.0"), orb::EConvertError);
    EXPECT_THROW(CompareVersions("1..2", "1.0"), orb::EConvertError);
}

TEST(NextVersionNumber, AdvancesPastTheDot)
{
    int pos = 1;
    EXPECT_EQ(NextVersionNumber("12.3", pos), 12);
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(NextVersionNumber("12.3", pos), 3);
    EXPECT_EQ(pos, 6);
    EXPECT_EQ(NextVersionNumber("12.3", pos), -1);
    EXPECT_EQ(pos, 6);
}
