#include "xml/VuvareSAX.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace orb::xml;

namespace
{

/// Records every event as one line, and the message of the error that ended the parse.
class Recorder
{
public:
    Recorder()
        : Parser([this](const std::string& Name, const TAttributes& Attributes) { Start(Name, Attributes); },
                 [this](const std::string& Name) { Events.push_back("end " + Name); },
                 [this](const std::string& Text) { Events.push_back("text [" + Text + "]"); },
                 [this](const std::string& Comment) { Events.push_back("comment [" + Comment + "]"); })
    {}

    void Start(const std::string& Name, const TAttributes& Attributes)
    {
        std::string line = "start " + Name;
        for (int i = 0; i < Attributes.Count(); ++i)
            line += " " + Attributes.Names(i) + "=[" + Attributes.ValueFromIndex(i) + "]";
        Events.push_back(line);
    }

    /// Parses Data with ParseString; returns the error message or "".
    std::string Parse(const std::string& Data)
    {
        Events.clear();
        try
        {
            Parser.ParseString(Data);
        }
        catch (const EVuvareSAX& e)
        {
            return e.Message;
        }
        return "";
    }

    /// Parses Data in blocks cut at the given offsets; returns the error message or "".
    std::string ParseSplit(const std::string& Data, const std::vector<size_t>& Cuts)
    {
        Events.clear();
        try
        {
            Parser.BeginOfParsing();
            size_t from = 0;
            for (size_t cut : Cuts)
            {
                Parser.ParseBlock(std::string_view(Data).substr(from, cut - from));
                from = cut;
            }
            Parser.ParseBlock(std::string_view(Data).substr(from));
            Parser.EndOfParsing();
        }
        catch (const EVuvareSAX& e)
        {
            return e.Message;
        }
        return "";
    }

    std::string Joined() const
    {
        std::string out;
        for (const auto& e : Events)
            out += e + "\n";
        return out;
    }

    std::vector<std::string> Events;
    TVuvareSAX Parser;
};

std::string EventsOf(const std::string& Data)
{
    Recorder r;
    std::string error = r.Parse(Data);
    EXPECT_EQ(error, "") << Data;
    return r.Joined();
}

std::string ErrorOf(const std::string& Data)
{
    Recorder r;
    return r.Parse(Data);
}

struct ErrorCase
{
    std::string Input;
    std::string Message;
};

} // namespace

TEST(VuvareSAX, ReportsEveryKindOfItem)
{
    EXPECT_EQ(EventsOf("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                       "<!-- note -->\r\n"
                       "<root a=\"1\" b = \"x y\">\r\n"
                       "  <empty/>\r\n"
                       "  <t>hello &amp; bye</t>\r\n"
                       "  <c><![CDATA[a & b]]></c>\r\n"
                       "</root>"),
              "start ?xml version=[1.0] encoding=[utf-8]\n"
              "end ?xml\n"
              "comment [ note ]\n"
              "start root a=[1] b=[x y]\n"
              "start empty\n"
              "end empty\n"
              "start t\n"
              "text [hello & bye]\n"
              "end t\n"
              "start c\n"
              "text [a & b]\n"
              "end c\n"
              "end root\n");
}

TEST(VuvareSAX, WhitespaceRulesOfTextRuns)
{
    EXPECT_EQ(EventsOf("<a>  x  </a>"), "start a\ntext [x  ]\nend a\n");
    EXPECT_EQ(EventsOf("<a> </a>"), "start a\nend a\n");
    EXPECT_EQ(EventsOf("<a>\r\n\t<b/>\r\n</a>"), "start a\nstart b\nend b\nend a\n");
}

TEST(VuvareSAX, AttributeSyntax)
{
    EXPECT_EQ(EventsOf("<a x = \"1\"\ty=\"<>'\"/>"), "start a x=[1] y=[<>']\nend a\n");
    EXPECT_EQ(EventsOf("<a x=\"\"/>"), "start a x=[]\nend a\n");
    EXPECT_EQ(EventsOf("<a  x=\"1\"  >t</a  >"), "start a x=[1]\ntext [t]\nend a\n");
}

TEST(VuvareSAX, References)
{
    EXPECT_EQ(EventsOf("<a v=\"&#x41;&#65;&#x9;&apos;&quot;&gt;&lt;&amp;\"/>"), "start a v=[AA\t'\"><&]\nend a\n");
    // The replacement is not scanned again.
    EXPECT_EQ(EventsOf("<a>&amp;lt;</a>"), "start a\ntext [&lt;]\nend a\n");
    // Decimal codes are taken modulo 65536; codes above 127 become UTF-8.
    EXPECT_EQ(EventsOf("<a>&#65601;&#xE9;&#1046;</a>"), "start a\ntext [A\xC3\xA9\xD0\x96]\nend a\n");
    // A surrogate pair of references forms one character.
    EXPECT_EQ(EventsOf("<a>&#55357;&#56832;</a>"), "start a\ntext [\xF0\x9F\x98\x80]\nend a\n");
}

TEST(VuvareSAX, CDataIsNotDecodedAndEndsAtTheNextAngleBracket)
{
    EXPECT_EQ(EventsOf("<a><![CDATA[x &amp; y]]></a>"), "start a\ntext [x &amp; y]\nend a\n");
    Recorder r;
    EXPECT_EQ(r.Parse("<a><![CDATA[1 < 2]]></a>"), "Bad XML: \r\n< ");
    EXPECT_EQ(r.Joined(), "start a\ntext [1 ]\n");
}

TEST(VuvareSAX, CommentsAreDecodedButNotReplaced)
{
    EXPECT_EQ(EventsOf("<a><!-- x &amp; <b> --></a>"), "start a\ncomment [ x &amp; <b> ]\nend a\n");
    EXPECT_EQ(EventsOf("<a><!----></a>"), "start a\ncomment []\nend a\n");
}

TEST(VuvareSAX, EncodingDeclarationSwitchesToTheCodePage)
{
    // windows-1251 is not UTF-8: the rest is read through the 8-bit code page (Windows-1252 here).
    EXPECT_EQ(EventsOf("<?xml version=\"1.0\" encoding=\"windows-1251\"?><a v=\"\xE9\">\xE9</a>"),
              "start ?xml version=[1.0] encoding=[windows-1251]\nend ?xml\n"
              "start a v=[\xC3\xA9]\ntext [\xC3\xA9]\nend a\n");
    EXPECT_EQ(EventsOf("<?xml version=\"1.0\"?><a>\xC3\xA9</a>"),
              "start ?xml version=[1.0]\nend ?xml\nstart a\ntext [\xC3\xA9]\nend a\n");
    EXPECT_EQ(EventsOf("<?xml encoding=\"UTF-8\"?><a>\xC3\xA9</a>"),
              "start ?xml encoding=[UTF-8]\nend ?xml\nstart a\ntext [\xC3\xA9]\nend a\n");
    // Every processing instruction sets the encoding, whatever its name; the last one wins.
    EXPECT_EQ(EventsOf("<?a encoding=\"x\"?><?b?><a>\xC3\xA9</a>"),
              "start ?a encoding=[x]\nend ?a\nstart ?b\nend ?b\nstart a\ntext [\xC3\xA9]\nend a\n");
}

TEST(VuvareSAX, InvalidUtf8IsMarkedNotRaised)
{
    EXPECT_EQ(EventsOf("<a v=\"\xE9t\xE9\">x\xFF</a>"),
              "start a v=[<BAD UTF-8: \xC3\xA9t\xC3\xA9>]\ntext [<BAD UTF-8: x\xC3\xBF>]\nend a\n");
}

TEST(VuvareSAX, NameBytesAreCharactersOfTheSameCode)
{
    EXPECT_EQ(EventsOf("<\xC3\xA9 \xE9=\"1\"></\xC3\xA9>"),
              "start \xC3\x83\xC2\xA9 \xC3\xA9=[1]\nend \xC3\x83\xC2\xA9\n");
}

TEST(VuvareSAX, NameOf1025CharactersIsAcceptedAnd1026IsNot)
{
    const std::string name1025(1025, 'n');
    EXPECT_EQ(EventsOf("<" + name1025 + "/>"), "start " + name1025 + "\nend " + name1025 + "\n");
    const std::string name1026(1026, 'n');
    std::string error = ErrorOf("<" + name1026 + "/>");
    // The window ends at the 1026th name byte and holds at most 1001 bytes.
    EXPECT_EQ(error, "Bad XML: \r\n" + std::string(1001, 'n'));
}

TEST(VuvareSAX, SeveralRootsAndTopLevelTextAreAccepted)
{
    EXPECT_EQ(EventsOf("<a/><b/>"), "start a\nend a\nstart b\nend b\n");
    EXPECT_EQ(EventsOf("top<a/>"), "text [top]\nstart a\nend a\n");
    EXPECT_EQ(EventsOf("<a><?pi x=\"1\"?></a>"), "start a\nstart ?pi x=[1]\nend ?pi\nend a\n");
}

TEST(VuvareSAX, FailureMessages)
{
    const ErrorCase cases[] = {
        {"", "Bad XML. Empty document."},
        {" \r\n\t ", "Bad XML. Empty document."},
        {"</a>", "Bad XML. Mismatched tag end: a"},
        {"<a><b></a>", "Bad XML. Mismatched tag end: a"},
        {"<a></A>", "Bad XML. Mismatched tag end: A"},
        {"<a><b></b>", "Bad XML. No tag end found: a"},
        {"<a><b>", "Bad XML. No tag end found: b"},
        {"<a/>tail", "Bad XML. Unexpected end of document: \r\ntail"},
        {"<a/>  tail  ", "Bad XML. Unexpected end of document: \r\n  tail  "},
        {"<a/><b", "Bad XML. Unexpected end of document: \r\n<b"},
        {"<a/>t\xE9", "Bad XML. Unexpected end of document: \r\nt\xC3\xA9"},
        {"<a v=\"&bogus;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&bogus;\""},
        {"<a v=\"&amp\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&amp\""},
        {"<a v=\"&;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&;\""},
        {"<a v=\"&#x;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#x;\""},
        {"<a v=\"&#x0041;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#x0041;\""},
        {"<a v=\"&#x041;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#x041;\""},
        {"<a v=\"&#xG1;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#xG1;\""},
        {"<a v=\"&#;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#;\""},
        {"<a v=\"&#1a;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#1a;\""},
        {"<a v=\"&#99999999999;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&#99999999999;\""},
        {"<a v=\"&AMP;\"/>", "Bad XML: Can not decode HTML:\r\n<a v=\"&AMP;\""},
        {"<a>x &y</a>", "Bad XML: Can not decode HTML:\r\nx &y<"},
        {"<a x=\"1\" X=\"2\"/>", "Bad XML: Duplicate attribute: \r\n<a x=\"1\" X=\""},
        {"<a x=\"1\" x =\"2\"/>", "Bad XML: Duplicate attribute: \r\n<a x=\"1\" x =\""},
        {"<a x='1'/>", "Bad XML: \r\n<a x='"},
        {"<a x=\"1\"y=\"2\"/>", "Bad XML: \r\n<a x=\"1\"y"},
        {"<a x y=\"1\"/>", "Bad XML: \r\n<a x y"},
        {"<a x/>", "Bad XML: \r\n<a x/"},
        {"<a x>", "Bad XML: \r\n<a x>"},
        {"<a x=1/>", "Bad XML: \r\n<a x=1"},
        {"<>", "Bad XML: \r\n<>"},
        {"< a/>", "Bad XML: \r\n< "},
        {"</>", "Bad XML: \r\n</>"},
        {"<?"
         "?>",
         "Bad XML: \r\n<?"
         "?"},
        {"<a\"b/>", "Bad XML: \r\n<a\""},
        {"<a=b/>", "Bad XML: \r\n<a="},
        {"<a<b/>", "Bad XML: \r\n<a<"},
        {"<a/ >", "Bad XML: \r\n<a/ "},
        {"<a?>", "Bad XML: \r\n<a?>"},
        {"<?a>", "Bad XML: \r\n<?a>"},
        {"<?a/>", "Bad XML: \r\n<?a/>"},
        {"<a></a/>", "Bad XML: \r\n</a/>"},
        {"<a></a x=\"1\">", "Bad XML: \r\n</a x=\"1\">"},
        {"<!DOCTYPE html>", "Bad XML: \r\n<!DOCTYPE html>"},
        {"<a\"", "Bad XML: \r\n<a\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ErrorOf(c.Input), c.Message) << "input: " << c.Input;
}

TEST(VuvareSAX, ErrorWindowCountsFromTheUnconsumedInputAndHoldsAtMost1001Bytes)
{
    // The consumed "<r>" and text are not part of the window; it starts at the offending item.
    EXPECT_EQ(ErrorOf("<r>abc<a x='1'/></r>"), "Bad XML: \r\n<a x='");
    const std::string value(2000, 'v');
    EXPECT_EQ(ErrorOf("<a x=\"" + value + "\"y=\"1\"/>"), "Bad XML: \r\n" + value.substr(0, 999) + "\"y");
}

TEST(VuvareSAX, EventsBeforeAnErrorStayDelivered)
{
    Recorder r;
    EXPECT_EQ(r.Parse("<a><b/></c>"), "Bad XML. Mismatched tag end: c");
    EXPECT_EQ(r.Joined(), "start a\nstart b\nend b\n");
}

TEST(VuvareSAX, ZeroLengthStreamGivesNothing)
{
    Recorder r;
    std::istringstream empty("");
    EXPECT_NO_THROW(r.Parser.ParseStream(empty));
    EXPECT_TRUE(r.Events.empty());
}

TEST(VuvareSAX, LongWhitespaceStringTakesTheStreamPathWithoutError)
{
    Recorder r;
    EXPECT_EQ(r.Parse(std::string(131072, ' ')), "");
    EXPECT_EQ(r.Parse(std::string(131071, ' ')), "Bad XML. Empty document.");
}

TEST(VuvareSAX, StreamStartsAtTheCurrentPosition)
{
    Recorder r;
    std::istringstream in("garbage<a>x</a>");
    in.seekg(7);
    r.Parser.ParseStream(in);
    EXPECT_EQ(r.Joined(), "start a\ntext [x]\nend a\n");
}

TEST(VuvareSAX, InstanceIsReusableAfterAnError)
{
    Recorder r;
    EXPECT_NE(r.Parse("<a><b>"), "");
    EXPECT_EQ(r.Parse("<?xml encoding=\"latin\"?><c/>"), "");
    // The next document starts in UTF-8 again.
    EXPECT_EQ(r.Parse("<d>\xC3\xA9</d>"), "");
    EXPECT_EQ(r.Joined(), "start d\ntext [\xC3\xA9]\nend d\n");
}

namespace
{
const char* const kSplitDocument =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<!-- comment -- with dashes -->\r\n"
    "<index  name=\"\" v = \"&#x41;&amp;&#1046;\">\r\n"
    "  <directory name=\"bin\" modified=\"20240102030405\">\r\n"
    "    <file name=\"app.exe.gz\" size=\"12345\" modified=\"20240102030405\"/>\r\n"
    "    <file name=\"\xD0\xB4\xD0\xB0.txt\" size=\"1\" modified=\"20240102030405\"></file>\r\n"
    "  </directory>\r\n"
    "  <text>two words &lt;here&gt;  </text>\r\n"
    "  <data><![CDATA[raw & more]]></data>\r\n"
    "  <?pi a=\"b\"?>\r\n"
    "</index>\r\n";
}

TEST(VuvareSAX, SplittingIntoTwoBlocksAtEveryByteGivesTheSameEvents)
{
    const std::string doc = kSplitDocument;
    Recorder whole;
    ASSERT_EQ(whole.Parse(doc), "");
    const std::string expected = whole.Joined();
    Recorder r;
    for (size_t cut = 0; cut <= doc.size(); ++cut)
    {
        ASSERT_EQ(r.ParseSplit(doc, {cut}), "") << "cut at " << cut;
        ASSERT_EQ(r.Joined(), expected) << "cut at " << cut;
    }
}

TEST(VuvareSAX, FeedingOneByteAtATimeGivesTheSameEvents)
{
    const std::string doc = kSplitDocument;
    Recorder whole;
    ASSERT_EQ(whole.Parse(doc), "");
    std::vector<size_t> cuts;
    for (size_t i = 1; i < doc.size(); ++i)
        cuts.push_back(i);
    Recorder r;
    ASSERT_EQ(r.ParseSplit(doc, cuts), "");
    EXPECT_EQ(r.Joined(), whole.Joined());
}

TEST(VuvareSAX, SplittingAnInvalidDocumentGivesTheSameMessage)
{
    const std::string docs[] = {"<a><b x=\"1\" y=\"&amp;\"/><c/><b x=\"1\" y=\"&bad;\"/></a>",
                                "<a>t &bad;</a>",
                                "<a x='1'/>",
                                "<a><b></a>",
                                "<a/>rest",
                                "<a><b>"};
    for (const auto& doc : docs)
    {
        Recorder whole;
        const std::string expected = whole.Parse(doc);
        ASSERT_NE(expected, "");
        Recorder r;
        for (size_t cut = 0; cut <= doc.size(); ++cut)
            EXPECT_EQ(r.ParseSplit(doc, {cut}), expected) << doc << " cut at " << cut;
    }
}

TEST(VuvareSAX, DuplicateAttributeWindowEndsAtTheEndOfTheBuffer)
{
    // The duplicate is found right after "="; when the block ends there the window cannot hold the next byte.
    Recorder r;
    EXPECT_EQ(r.ParseSplit("<b x=\"1\" X=\"2\"/>", {11}), "Bad XML: Duplicate attribute: \r\n<b x=\"1\" X=");
}

TEST(VuvareSAX, LongDocumentThroughTheBlockPathMatchesShortParses)
{
    // Items straddle the 64 KiB block borders of the stream path.
    std::string doc = "<root>";
    std::string expected = "start root\n";
    for (int i = 0; doc.size() < 300000; ++i)
    {
        std::string n = std::to_string(i);
        doc += "<file name=\"f" + n + "\" size=\"" + n + "\">t&amp;" + n + "</file>";
        expected += "start file name=[f" + n + "] size=[" + n + "]\ntext [t&" + n + "]\nend file\n";
    }
    doc += "</root>";
    expected += "end root\n";
    Recorder r;
    ASSERT_EQ(r.Parse(doc), "");
    EXPECT_EQ(r.Joined(), expected);
    std::istringstream in(doc);
    r.Events.clear();
    r.Parser.ParseStream(in);
    EXPECT_EQ(r.Joined(), expected);
}

TEST(VuvareSAX, ErrorInALaterBlockShowsOnlyTheUnconsumedInput)
{
    std::string doc = "<root>";
    while (doc.size() < 200000)
        doc += "<file name=\"abcdefghij\"/>";
    doc += "<bad a='1'/></root>";
    Recorder r;
    EXPECT_EQ(r.Parse(doc), "Bad XML: \r\n<bad a='");
    std::string open = "<root>";
    for (int i = 2; i < MaxXMLDepth; ++i)
        open += "<dir>";
    while (open.size() < 200000)
        open += "<file name=\"abcdefghij\"/>";
    EXPECT_EQ(r.Parse(open), "Bad XML. No tag end found: dir");
}

TEST(TAttributes, LookupIgnoresLetterCase)
{
    TAttributes a;
    a.Add("Encoding", "utf-8");
    a.Add("\xC3\x89t\xC3\xA9", "x");
    EXPECT_EQ(a.IndexOfName("encoding"), 0);
    EXPECT_EQ(a.Values("ENCODING"), "utf-8");
    EXPECT_EQ(a.Values("\xC3\xA9T\xC3\x89"), "x");
    EXPECT_EQ(a.Values("missing"), "");
    EXPECT_EQ(a.Strings(0), "Encoding=utf-8");
    TAttributes copy = a;
    a.Clear();
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(copy.Count(), 2);
}
