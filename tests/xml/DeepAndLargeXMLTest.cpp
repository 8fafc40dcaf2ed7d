// Documents nested deeper than the library reads, trees built deeper in code, and single items that span many blocks.
#include "base/Exceptions.h"
#include "support/TempDir.h"
#include "xml/VuvareSAX.h"
#include "xml/VuvareXMLDocument.h"
#include "xml/VuvareXMLNode.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace orb::xml;
using orb::test::TempDir;

namespace
{

const std::string kTooDeep = "Bad XML. Elements nested too deep (the limit is 1000 levels): e";

/// Depth elements named e nested in each other; the innermost is an empty-element tag when EmptyInnermost is set.
std::string Nested(int Depth, bool EmptyInnermost = false)
{
    std::string out;
    const int pairs = EmptyInnermost ? Depth - 1 : Depth;
    out.reserve(static_cast<size_t>(pairs) * 7 + 4);
    for (int i = 0; i < pairs; ++i)
        out += "<e>";
    if (EmptyInnermost)
        out += "<e/>";
    for (int i = 0; i < pairs; ++i)
        out += "</e>";
    return out;
}

/// Levels of elements from Node down its first children.
int ChainDepth(IXMLNodePtr Node)
{
    int depth = 0;
    while (Node && Node->NodeType() == ntElement)
    {
        ++depth;
        Node = Node->HasChildNodes() ? Node->ChildNodes()->First() : nullptr;
    }
    return depth;
}

/// A chain of Depth elements made with AddChild; returns the root.
IXMLNodePtr BuildChain(int Depth)
{
    IXMLNodePtr root = CreateXMLNode("e");
    IXMLNodePtr at = root;
    for (int i = 1; i < Depth; ++i)
        at = at->AddChild("e");
    at->SetAttribute("deepest", "yes");
    return root;
}

/// The message of the orb::Exception Action raises, or "" when it raises none.
std::string ErrorOf(const std::function<void()>& Action)
{
    try
    {
        Action();
    }
    catch (const orb::Exception& e)
    {
        return e.Message;
    }
    return "";
}

/// Every event as a line, and the message of the error that ended the parse.
struct Events
{
    std::string Lines;
    std::string Error;
    int Starts = 0;
    TVuvareSAX Parser{[this](const std::string& Name, const TAttributes& Attributes) {
                          ++Starts;
                          Lines += "start " + Name;
                          for (int i = 0; i < Attributes.Count(); ++i)
                              Lines += " " + Attributes.Names(i) + "=[" + Attributes.ValueFromIndex(i) + "]";
                          Lines += '\n';
                      },
                      [this](const std::string& Name) { Lines += "end " + Name + '\n'; },
                      [this](const std::string& Text) { Lines += "text [" + Text + "]\n"; },
                      [this](const std::string& Comment) { Lines += "comment [" + Comment + "]\n"; }};

    /// Feeds Data in blocks of BlockSize bytes (all of it in one block when 0).
    void Feed(const std::string& Data, size_t BlockSize)
    {
        try
        {
            Parser.BeginOfParsing();
            if (BlockSize == 0)
                Parser.ParseBlock(Data);
            for (size_t at = 0; BlockSize > 0 && at < Data.size(); at += BlockSize)
                Parser.ParseBlock(std::string_view(Data).substr(at, BlockSize));
            Parser.EndOfParsing();
        }
        catch (const EVuvareSAX& e)
        {
            Error = e.Message;
        }
    }
};

} // namespace

TEST(XMLDepth, NestingUpToTheLimitIsReadAndDeeperIsRefusedByEveryLoader)
{
    TempDir dir;
    struct Loader
    {
        const char* Name;
        std::function<int(const std::string&)> Load; // levels read
    };
    const std::vector<Loader> loaders = {
        {"ParseString",
         [](const std::string& Doc) {
             Events events;
             events.Parser.ParseString(Doc);
             return events.Starts;
         }},
        {"LoadXMLNodeFromString", [](const std::string& Doc) { return ChainDepth(LoadXMLNodeFromString(Doc)); }},
        {"LoadXMLNodeFromFile",
         [&dir](const std::string& Doc) {
             orb::test::WriteBytes(dir / "deep.xml", Doc);
             return ChainDepth(LoadXMLNodeFromFile(dir / "deep.xml"));
         }},
        {"TVuvareXMLDocument::LoadFromString",
         [](const std::string& Doc) {
             TVuvareXMLDocument document;
             document.LoadFromString(Doc);
             return ChainDepth(TVuvareXMLNode::Create(document.RootElement()));
         }},
    };
    struct Case
    {
        int Depth;
        bool EmptyInnermost;
        bool Accepted;
    };
    const std::vector<Case> cases = {
        {999, false, true},  {1000, false, true},   {1000, true, true},   {1001, false, false},
        {1001, true, false}, {50000, false, false}, {50000, true, false},
    };
    for (const auto& loader : loaders)
    {
        for (const auto& c : cases)
        {
            SCOPED_TRACE(std::string(loader.Name) + ", depth " + std::to_string(c.Depth) +
                         (c.EmptyInnermost ? ", innermost empty" : ""));
            const std::string doc = Nested(c.Depth, c.EmptyInnermost);
            int levels = 0;
            const std::string error = ErrorOf([&] { levels = loader.Load(doc); });
            if (c.Accepted)
            {
                EXPECT_EQ(error, "");
                EXPECT_EQ(levels, c.Depth);
            }
            else
            {
                EXPECT_EQ(error, kTooDeep);
            }
        }
    }
}

TEST(XMLDepth, RefusalComesBeforeTheTooDeepElementIsReported)
{
    for (size_t block : {size_t{0}, size_t{7}, size_t{65536}})
    {
        SCOPED_TRACE(block);
        Events events;
        events.Feed("<?xml version=\"1.0\"?>" + Nested(1001), block);
        EXPECT_EQ(events.Error, kTooDeep);
        // The declaration and the first 1000 levels were reported, nothing of level 1001.
        EXPECT_EQ(events.Starts, 1 + MaxXMLDepth);
    }
}

TEST(XMLDepth, ATreeAtTheLimitIsWrittenAndReadsBackTheSame)
{
    TempDir dir;
    IXMLNodePtr root = LoadXMLNodeFromString(Nested(MaxXMLDepth, true));
    SaveIXMLNodeToFile(dir / "limit.xml", root, enUTF8);
    IXMLNodePtr back = LoadXMLNodeFromFile(dir / "limit.xml");
    EXPECT_EQ(ChainDepth(back), MaxXMLDepth);
    EXPECT_EQ(back->XML(), root->XML());

    TVuvareXMLDocument document;
    document.LoadFromString(Nested(MaxXMLDepth));
    TVuvareXMLDocument again;
    again.LoadFromString(document.XML());
    EXPECT_EQ(again.XML(), document.XML());
}

TEST(XMLDepth, DeepNodeTreesBuiltInCodeAreReleasedAndRefusedByTheWriters)
{
    TempDir dir;
    const std::string tooDeep = "IXMLNodeToXML: Elements nested too deep (the limit is 1000 levels)";
    struct Case
    {
        int Depth;
        bool Writable;
    };
    for (const Case& c : {Case{MaxXMLDepth, true}, Case{MaxXMLDepth + 1, false}, Case{100000, false}})
    {
        SCOPED_TRACE(c.Depth);
        IXMLNodePtr root = BuildChain(c.Depth);
        orb::test::WriteBytes(dir / "settings.xml", "old");
        const std::string xmlError = ErrorOf([&] { (void)root->XML(); });
        const std::string textError = ErrorOf([&] { (void)IXMLNodeToXML(root, enUTF8, 3, "\n", 4); });
        const std::string saveError = ErrorOf([&] { SaveIXMLNodeToFile(dir / "settings.xml", root, enUTF8); });
        if (c.Writable)
        {
            EXPECT_EQ(xmlError, "");
            EXPECT_EQ(textError, "");
            EXPECT_EQ(saveError, "");
            IXMLNodePtr back = LoadXMLNodeFromFile(dir / "settings.xml");
            EXPECT_EQ(ChainDepth(back), c.Depth);
        }
        else
        {
            EXPECT_EQ(xmlError, tooDeep);
            EXPECT_EQ(textError, tooDeep);
            EXPECT_EQ(saveError, tooDeep);
            EXPECT_EQ(orb::test::ReadBytes(dir / "settings.xml"), "old");
        }
        root.reset(); // the whole chain goes here
    }
}

TEST(XMLDepth, ReleasingADeepTreeKeepsAHeldBranchWhole)
{
    IXMLNodePtr root = BuildChain(100000);
    IXMLNodePtr middle = root;
    for (int i = 0; i < 50000; ++i)
        middle = middle->ChildNodes()->First();
    IXMLNodeListPtr lowerList = middle->ChildNodes()->First()->ChildNodes();
    root.reset();
    EXPECT_EQ(middle->ParentNode(), nullptr);
    EXPECT_EQ(ChainDepth(middle), 50000);
    EXPECT_EQ(lowerList->Count(), 1);
    IXMLNodePtr deepest = middle;
    while (deepest->HasChildNodes())
        deepest = deepest->ChildNodes()->First();
    EXPECT_EQ(deepest->Attributes("deepest"), "yes");
    middle.reset();
    // The list outlives its node and still holds the rest of the chain, which goes with it.
    EXPECT_EQ(ChainDepth(lowerList->First()), 49998);
    lowerList.reset();
}

TEST(XMLDepth, DeepDocumentTreesBuiltInCodeAreCopiedReleasedAndRefusedByTheWriter)
{
    for (int depth : {MaxXMLDepth, 100000})
    {
        SCOPED_TRACE(depth);
        TVuvareXMLDocument document;
        TXMLElementList* branch = &document.Elements;
        for (int i = 0; i < depth; ++i)
        {
            auto* element = new TXMLTagElement(branch, "e");
            if (i + 1 == depth)
                new TXMLTagText(&element->Children, "bottom");
            branch = &element->Children;
        }
        IXMLNodePtr copy = TVuvareXMLNode::Create(document.RootElement());
        EXPECT_EQ(ChainDepth(copy), depth);
        const std::string error = ErrorOf([&] { (void)document.XML(); });
        const std::string elementError = ErrorOf([&] { (void)document.RootElement()->XML(0); });
        if (depth <= MaxXMLDepth)
        {
            EXPECT_EQ(error, "");
            EXPECT_EQ(elementError, "");
            EXPECT_EQ(document.XML(), copy->XML());
        }
        else
        {
            EXPECT_EQ(error, "TVuvareXMLDocument.XML: Elements nested too deep (the limit is 1000 levels)");
            EXPECT_EQ(elementError, error);
        }
        copy.reset();
        document.Elements.Clear();
        EXPECT_EQ(document.Elements.Count(), 0);
    }
}

TEST(XMLLargeItems, AnItemSpanningManyBlocksGivesTheSameEventsAsOneBlock)
{
    const std::string big(5 * 1024 * 1024, 'x');
    std::string manyAttributes = "<a";
    for (int i = 0; manyAttributes.size() < 2 * 1024 * 1024; ++i)
        manyAttributes += " n" + std::to_string(i) + " = \"v&amp;" + std::to_string(i) + "\"";
    manyAttributes += "/>";
    struct Case
    {
        const char* Name;
        std::string Doc;
    };
    const std::vector<Case> cases = {
        {"attribute value", "<a v=\"" + big + "&lt;\" w=\"1\"/>"},
        {"comment", "<a><!--" + big + "-- -->" + "</a>"},
        {"text", "<a>" + big + "&#x41;</a>"},
        {"CDATA", "<a><![CDATA[" + big + "]]></a>"},
        {"whitespace", "<a>" + std::string(big.size(), ' ') + "</a>" + std::string(big.size(), '\n')},
        {"start tag with many attributes", manyAttributes},
        {"bad byte after a long value", "<a v=\"" + big + "\"x/>"},
        {"bad reference in long text", "<a>" + big + "&bad;</a>"},
        {"unclosed comment", "<a><!--" + big},
        {"text left at the end", "<a/>" + big},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        Events whole;
        whole.Feed(c.Doc, 0);
        for (size_t block : {size_t{65536}, size_t{4093}})
        {
            SCOPED_TRACE(block);
            Events split;
            split.Feed(c.Doc, block);
            EXPECT_EQ(split.Error, whole.Error);
            EXPECT_TRUE(split.Lines == whole.Lines) << "events differ";
        }
        Events viaString;
        try
        {
            viaString.Parser.ParseString(c.Doc);
        }
        catch (const EVuvareSAX& e)
        {
            viaString.Error = e.Message;
        }
        EXPECT_EQ(viaString.Error, whole.Error);
        EXPECT_TRUE(viaString.Lines == whole.Lines) << "events differ";
    }
}

TEST(XMLLargeItems, BlocksCutInsideTheOpeningOfACommentOrCDATAStillTellThemApart)
{
    const std::vector<std::string> docs = {
        "<a><!--c--></a>", "<a><![CDATA[x&y]]></a>", "<a><!x/></a>", "<a><![CDAT/></a>", "<a><!-x/></a>",
    };
    for (const auto& doc : docs)
    {
        SCOPED_TRACE(doc);
        Events whole;
        whole.Feed(doc, 0);
        for (size_t block = 1; block <= doc.size(); ++block)
        {
            SCOPED_TRACE(block);
            Events split;
            split.Feed(doc, block);
            EXPECT_EQ(split.Error, whole.Error);
            EXPECT_EQ(split.Lines, whole.Lines);
        }
    }
}

TEST(XMLLargeItems, AParserIsReusedAfterAnErrorInsideAnUnfinishedItem)
{
    Events events;
    events.Parser.BeginOfParsing();
    events.Parser.ParseBlock("<a><b v=\"");
    events.Parser.ParseBlock(std::string(100000, 'x'));
    EXPECT_THROW(events.Parser.ParseBlock("\"y/>"), EVuvareSAX);
    events.Lines.clear();
    events.Feed("<a v=\"1\"/>", 3);
    EXPECT_EQ(events.Error, "");
    EXPECT_EQ(events.Lines, "start a v=[1]\nend a\n");
}

TEST(XMLLargeItems, DuplicateAttributesAreFoundAmongManyAsAmongFew)
{
    // Names are read byte for byte, so \xC9 and \xE9 stand for the capital and small e with acute accent.
    struct Case
    {
        std::string First;
        std::string Second;
        bool Duplicate;
    };
    const std::vector<Case> cases = {
        {"name", "NAME", true},   {"na\xC9", "NA\xE9", true}, {"i", "I", true},
        {"name", "names", false}, {"\xC9", "E", false},
    };
    for (const auto& c : cases)
    {
        for (int before : {0, 30})
        {
            SCOPED_TRACE(c.Second + " after " + std::to_string(before) + " others");
            std::string doc = "<a";
            for (int i = 0; i < before; ++i)
                doc += " x" + std::to_string(i) + "=\"\"";
            doc += " " + c.First + "=\"1\" " + c.Second + "=\"2\"/>";
            Events events;
            events.Feed(doc, 0);
            EXPECT_EQ(events.Error.rfind("Bad XML: Duplicate attribute: \r\n", 0) == 0, c.Duplicate) << events.Error;
        }
    }
}
