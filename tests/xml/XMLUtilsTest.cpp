#include "base/Exceptions.h"
#include "support/TempDir.h"
#include "xml/VuvareXMLNode.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

using namespace orb::xml;
using orb::test::ReadBytes;
using orb::test::TempDir;
using orb::test::WriteBytes;

TEST(XMLEscape, ReplacesMarkupAndControlCharacters)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
        {"\t\r\n", "&#x9;&#xD;&#xA;"},
        {std::string("\0\x1F", 2), "&#x0;&#x1F;"},
        {" \x7F\xC3\xA9\xD0\x96", " \x7F\xC3\xA9\xD0\x96"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(XMLEscape(in), out) << in;
}

TEST(XMLEscape, EverythingEscapedReadsBack)
{
    std::string all;
    for (int c = 1; c < 128; ++c)
        all += static_cast<char>(c);
    all += "\xC3\xA9\xE2\x82\xAC";
    auto node = CreateXMLNode("r");
    node->SetAttribute("v", all);
    node->AddChild("t");
    auto back = LoadXMLNodeFromString(node->XML());
    EXPECT_EQ(back->Attributes("v"), all);
}

TEST(IXMLNodeToXML, IndentsChildrenAndWritesCommentsAtLineStart)
{
    auto root = LoadXMLNodeFromString("<a><b><c><!--deep--><d/></c></b></a>");
    EXPECT_EQ(root->XML(), "<a>\r\n"
                           "  <b>\r\n"
                           "    <c>\r\n"
                           "<!--deep-->\r\n"
                           "      <d/>\r\n"
                           "    </c>\r\n"
                           "  </b>\r\n"
                           "</a>");
    EXPECT_EQ(IXMLNodeToXML(root->ChildNodes()->First(), enUTF8, 1, "\n", 4), "    <b>\n"
                                                                              "        <c>\n"
                                                                              "<!--deep-->\n"
                                                                              "            <d/>\n"
                                                                              "        </c>\n"
                                                                              "    </b>");
}

TEST(IXMLNodeToXML, ElementWithoutChildrenIsSelfClosingEvenIfReadAsAPair)
{
    EXPECT_EQ(LoadXMLNodeFromString("<a x=\"1\"></a>")->XML(), "<a x=\"1\"/>");
    EXPECT_EQ(LoadXMLNodeFromString("<a> <b> </b> </a>")->XML(), "<a>\r\n  <b/>\r\n</a>");
}

TEST(IXMLNodeToXML, TextOnItsOwnLineReadsBackWithTheTrailingBreak)
{
    auto root = LoadXMLNodeFromString("<a><t>x &amp; y</t></a>");
    const std::string xml = root->XML();
    EXPECT_EQ(xml, "<a>\r\n  <t>\r\n    x &amp; y\r\n  </t>\r\n</a>");
    auto back = LoadXMLNodeFromString(xml);
    EXPECT_EQ(back->ChildNodes()->First()->ChildNodes()->First()->Text(), "x & y\r\n  ");
}

TEST(IXMLNodeToXML, AttributeWithTabQuotesAndAmpersandRoundTrips)
{
    auto node = CreateXMLNode("a");
    node->SetAttribute("v", "1\t\"2\" & 3");
    EXPECT_EQ(node->XML(), "<a v=\"1&#x9;&quot;2&quot; &amp; 3\"/>");
    EXPECT_EQ(LoadXMLNodeFromString(node->XML())->Attributes("v"), "1\t\"2\" & 3");
}

TEST(IXMLNodeToXML, MultiLineCommentStaysTheSameOverRepeatedSaves)
{
    const std::string original = "<a><!-- line one\r\n  x & <y> \"z\"--></a>";
    auto first = LoadXMLNodeFromString(original);
    auto second = LoadXMLNodeFromString(first->XML());
    EXPECT_EQ(second->ChildNodes()->First()->Text(), " line one\r\n  x & <y> \"z\"");
    EXPECT_EQ(second->XML(), first->XML());
}

TEST(IXMLNodeToXML, CommentTextCannotCloseTheCommentEarly)
{
    auto node = LoadXMLNodeFromString("<a><!--x--></a>");
    node->ChildNodes()->First()->SetText("a-->b");
    const std::string xml = node->XML();
    EXPECT_EQ(xml, "<a>\r\n<!--a--&gt;b-->\r\n</a>");
    EXPECT_EQ(LoadXMLNodeFromString(xml)->ChildNodes()->Count(), 1);
}

TEST(IXMLNodeToXML, UnsupportedNodeTypesRaise)
{
    auto withPI = LoadXMLNodeFromString("<a><b><?pi?></b></a>");
    auto attribute = LoadXMLNodeFromString("<a x=\"1\"/>")->AttributeNodes()->First();
    auto empty = LoadXMLNodeFromString("<!--only-->");
    for (const auto& node : {withPI, attribute, empty})
    {
        try
        {
            IXMLNodeToXML(node, enUTF8, 0);
            FAIL() << "no error";
        }
        catch (const orb::Exception& e)
        {
            EXPECT_EQ(e.Message, "IXMLNodeToXML: Unsupported NodeType");
        }
    }
}

TEST(IXMLNodeToXMLDocument, DeclarationDependsOnEncoding)
{
    auto node = CreateXMLNode("r");
    EXPECT_EQ(IXMLNodeToXMLDocument(node, enUTF8), "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<r/>");
    EXPECT_EQ(IXMLNodeToXMLDocument(node, enUnknown), "<?xml version=\"1.0\"?>\r\n<r/>");
}

TEST(SaveTextToFile, WritesEachEncodingWithoutByteOrderMark)
{
    TempDir dir;
    const std::string text = "J\xC3\xBCrgen \xE2\x82\xAC \xD0\x96";
    SaveTextToFile(dir / "u.txt", text, teUTF8);
    SaveTextToFile(dir / "a.txt", text, teASCII);
    SaveTextToFile(dir / "w.txt", text, teANSI);
    EXPECT_EQ(ReadBytes(dir / "u.txt"), text);
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "J?rgen ? ?");
    EXPECT_EQ(ReadBytes(dir / "w.txt"), "J\xFCrgen \x80 ?");
}

TEST(SaveTextToFile, ReplacesTheFileAndLeavesNoTemporaryFiles)
{
    TempDir dir;
    WriteBytes(dir / "s.xml", std::string(100000, 'o'));
    const std::string text(70000, 'n');
    SaveTextToFile(dir / "s.xml", text, teUTF8);
    EXPECT_EQ(ReadBytes(dir / "s.xml"), text);
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(SaveTextToFile, FailureKeepsTheOldTarget)
{
    TempDir dir;
    // A directory in place of the file cannot be replaced; it must survive with its contents.
    WriteBytes(dir / "s.xml" / "inside", "keep");
    EXPECT_THROW(SaveTextToFile(dir / "s.xml", "new", teUTF8), orb::EInOutError);
    EXPECT_EQ(ReadBytes(dir / "s.xml" / "inside"), "keep");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        ++entries;
    EXPECT_EQ(entries, 1);
}
