#include "xml/VuvareXMLDocument.h"

#include "support/TempDir.h"
#include "xml/VuvareXMLNode.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace orb::xml;
using orb::test::ReadBytes;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

std::string Reload(const std::string& Data)
{
    TVuvareXMLDocument doc;
    doc.LoadFromString(Data);
    return doc.XML();
}

/// A readable dump of a node tree for comparing trees.
std::string Dump(const IXMLNodePtr& Node)
{
    std::string out = std::to_string(Node->NodeType()) + "[" + Node->NodeName() + "][" + Node->NodeValue() + "]";
    if (Node->ParentNode())
        out += "^" + Node->ParentNode()->NodeName();
    if (auto attributes = Node->AttributeNodes())
        for (int i = 0; i < attributes->Count(); ++i)
            out += " " + attributes->Get(i)->NodeName() + "=" + attributes->Get(i)->NodeValue();
    if (auto children = Node->ChildNodes())
    {
        out += "{";
        for (int i = 0; i < children->Count(); ++i)
            out += Dump(children->Get(i)) + ";";
        out += "}";
    }
    return out;
}

} // namespace

TEST(VuvareXMLDocument, BuildsTreeWithRootAndEncoding)
{
    TVuvareXMLDocument doc;
    doc.LoadFromString("<?xml version=\"1.0\" Encoding=\"Windows-1251\"?><!--c--><root a=\"1\"><x/>t<!--d--></root>");
    EXPECT_EQ(doc.Encoding(), "Windows-1251");
    ASSERT_EQ(doc.Elements.Count(), 3);
    auto* root = doc.RootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name, "root");
    EXPECT_EQ(root->Attributes.Values("a"), "1");
    ASSERT_EQ(root->Children.Count(), 3);
    EXPECT_EQ(dynamic_cast<TXMLTagText*>(root->Children.Item(1))->Text, "t");
    EXPECT_EQ(dynamic_cast<TXMLTagComment*>(root->Children.Item(2))->Comment, "d");
    EXPECT_EQ(root->Children.FindElement("x"), root->Children.Item(0));
    EXPECT_EQ(root->Children.FindElement("X"), nullptr);
    EXPECT_EQ(root->Children.ParentElement, root);
    EXPECT_EQ(root->ParentElementList, &doc.Elements);
}

TEST(VuvareXMLDocument, EmptyFileGivesEmptyTreeButEmptyStringIsAnError)
{
    TempDir dir;
    WriteBytes(dir / "e.xml", "");
    TVuvareXMLDocument doc;
    doc.LoadFromString("<old/>");
    doc.LoadFromFile(dir / "e.xml");
    EXPECT_EQ(doc.Elements.Count(), 0);
    EXPECT_EQ(doc.RootElement(), nullptr);
    EXPECT_EQ(doc.Encoding(), "");
    for (const char* data : {"", "  \r\n"})
    {
        try
        {
            doc.LoadFromString(data);
            FAIL() << "no error";
        }
        catch (const EVuvareSAX& e)
        {
            EXPECT_EQ(e.Message, "Bad XML. Empty document.");
        }
    }
}

TEST(VuvareXMLDocument, DeclarationAndCommentsOnlyHaveNoRoot)
{
    TVuvareXMLDocument doc;
    doc.LoadFromString("<?xml version=\"1.0\"?><!-- a --><!-- b -->");
    EXPECT_EQ(doc.RootElement(), nullptr);
    EXPECT_EQ(doc.Elements.Count(), 3);
}

TEST(VuvareXMLDocument, IgnoreCommentsLeavesNoTrace)
{
    TVuvareXMLDocument doc;
    doc.IgnoreComments = true;
    doc.LoadFromString("<!--top--><a><!--in--><b/><!--x--></a>");
    EXPECT_EQ(doc.XML(), "<a>\r\n  <b/>\r\n</a>");
}

TEST(VuvareXMLDocument, ProcessingInstructionInsideElementKeepsNesting)
{
    TVuvareXMLDocument doc;
    doc.LoadFromString("<a><?pi x=\"1\"?><b/></a><c/>");
    ASSERT_EQ(doc.Elements.Count(), 2);
    auto* a = doc.RootElement();
    ASSERT_EQ(a->Children.Count(), 2);
    EXPECT_EQ(dynamic_cast<TXMLTagPI*>(a->Children.Item(0))->Name, "pi");
    EXPECT_EQ(doc.Elements.FindElement("c"), doc.Elements.Item(1));
}

TEST(VuvareXMLDocument, FailedLoadKeepsItemsBuiltBeforeTheError)
{
    TVuvareXMLDocument doc;
    EXPECT_THROW(doc.LoadFromString("<a><b/><c x='1'/></a>"), EVuvareSAX);
    ASSERT_NE(doc.RootElement(), nullptr);
    EXPECT_EQ(doc.RootElement()->Children.Count(), 1);
}

TEST(VuvareXMLDocument, TreeWriterLayout)
{
    EXPECT_EQ(Reload("<?xml version=\"1.0\" encoding=\"utf-8\"?><!-- a & b --><r x=\"1\" y=\"&lt;&#x9;\"><e></e>"
                     "<t>some text</t><?pi k=\"v\"?></r>"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
              "<!-- a & b -->\r\n"
              "<r x=\"1\" y=\"&lt;&#x9;\">\r\n"
              "  <e/>\r\n"
              "  <t>\r\n"
              "    some text\r\n"
              "  </t>\r\n"
              "  <?pi k=\"v\"?>\r\n"
              "</r>");
}

TEST(VuvareXMLDocument, TreeWriterFormatSettings)
{
    TVuvareXMLDocument doc;
    doc.LoadFromString("<r a=\"1\" b=\"2\"><c/><d/></r>");
    doc.FormatSettings().FormatMode = fmBreakAttributes;
    doc.FormatSettings().Margin = 4;
    doc.FormatSettings().BreaksBetweenElements = 2;
    EXPECT_EQ(doc.XML(), "<r\r\n    a=\"1\"\r\n    b=\"2\">\r\n\r\n    <c/>\r\n\r\n    <d/>\r\n\r\n</r>");
}

TEST(VuvareXMLDocument, SaveToFileUsesTheCodePage)
{
    TempDir dir;
    TVuvareXMLDocument doc;
    doc.LoadFromString("<r n=\"J\xC3\xBCrgen \xE2\x82\xAC \xD0\x96\"/>");
    doc.SaveToFile(dir / "out.xml");
    EXPECT_EQ(ReadBytes(dir / "out.xml"), "<r n=\"J\xFCrgen \x80 ?\"/>");
    EXPECT_THROW(doc.SaveToFile(dir / "missing" / "out.xml"), orb::EInOutError);
}

TEST(VuvareXMLDocument, LoadFromMissingFileRaisesFileOpenError)
{
    TempDir dir;
    TVuvareXMLDocument doc;
    try
    {
        doc.LoadFromFile(dir / "nope.xml");
        FAIL() << "no error";
    }
    catch (const EFOpenError& e)
    {
        EXPECT_EQ(e.ClassName(), "EFOpenError");
        EXPECT_NE(e.Message.find("nope.xml"), std::string::npos);
        EXPECT_NE(e.ErrorCode, 0);
    }
}

TEST(VuvareXMLDocument, LoadFromStreamAndFileMatchLoadFromString)
{
    const std::string data = "<?xml version=\"1.0\"?>\r\n<a k=\"v\">x<b/><!--c--></a>";
    TVuvareXMLDocument fromString;
    fromString.LoadFromString(data);
    std::istringstream in(data);
    TVuvareXMLDocument fromStream;
    fromStream.LoadFromStream(in);
    EXPECT_EQ(fromStream.XML(), fromString.XML());
    TempDir dir;
    WriteBytes(dir / "a.xml", data);
    TVuvareXMLDocument fromFile;
    fromFile.LoadFromFile(dir / "a.xml");
    EXPECT_EQ(fromFile.XML(), fromString.XML());
}

TEST(VuvareXMLDocument, NodeCopyOfTheTreeEqualsLoadingNodesDirectly)
{
    const std::string data = "<!--top--><?xml version=\"1.0\"?>text<root a=\"1\" b=\"&amp;\">\r\n"
                             "  <x y=\"2\"><deep><deeper z=\"3\"/></deep></x>\r\n"
                             "  plain &lt;text&gt;  \r\n"
                             "  <!-- comment -->\r\n"
                             "  <?pi q=\"1\"?>\r\n"
                             "  <![CDATA[raw]]>\r\n"
                             "</root><second><child/></second><!--after-->";
    TVuvareXMLDocument doc;
    doc.LoadFromString(data);
    auto copied = TVuvareXMLNode::Create(doc.RootElement());
    auto direct = LoadXMLNodeFromString(data);
    EXPECT_EQ(Dump(direct), Dump(copied));
}

TEST(TXMLElementList, AppendRemoveAndIndexErrors)
{
    TXMLElementList list;
    auto* text = list.Append(std::make_unique<TXMLTagText>(nullptr, "t"));
    EXPECT_EQ(text->ParentElementList, &list);
    new TXMLTagElement(&list, "e");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindElement("e"), list.Item(1));
    EXPECT_EQ(list.XML(TXMLFormatSettings(), enUTF8, 1), "  t\r\n  <e/>");
    list.Remove(0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_THROW(list.Item(1), orb::EListError);
    EXPECT_THROW(list.Remove(-1), orb::EListError);
    EXPECT_EQ(list.Item(0)->XML(), "<e/>");
}

TEST(VuvareXMLDocument, NodeOfNoItemIsEmpty)
{
    auto node = TVuvareXMLNode::Create(nullptr);
    EXPECT_EQ(node->NodeType(), ntReserved);
    EXPECT_FALSE(node->HasChildNodes());
}
