// Nesting around untrusted bytes. Byte 0 chooses the mode, bytes 1 and 2 the depth, byte 3 a block size; the rest
// is a fragment placed at the bottom of the nest.
//   mode 0: a document nested Depth elements deep around the fragment, parsed whole and in small blocks; the deepest
//           level reported never passes the limit, deeper input is refused with the nesting message, and both
//           feedings give the same events and the same error.
//   mode 1: a node chain built with AddChild, up to 1,100 deep (rarely up to 96,000), the fragment as attribute
//           value and text;
//           written when within the limit (and read back to the same depth), refused otherwise; always released.
//   mode 2: the same with a document tree, copied into nodes.
#include "base/Exceptions.h"
#include "xml/VuvareSAX.h"
#include "xml/VuvareXMLDocument.h"
#include "xml/VuvareXMLNode.h"
#include "xml/XML_Utils.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace orb::xml;

namespace
{

[[noreturn]] void Fail(const char* What, const std::string& Detail = {})
{
    std::fprintf(stderr, "%s\n%s\n", What, Detail.substr(0, 2000).c_str());
    std::abort();
}

const std::string kTooDeepParse = "Bad XML. " + NestingTooDeepText();
const std::string kTooDeepNodes = "IXMLNodeToXML: " + NestingTooDeepText();
const std::string kTooDeepTree = "TVuvareXMLDocument.XML: " + NestingTooDeepText();

struct Trace
{
    std::string Events;
    std::string Error;
    int Depth = 0;
    int Deepest = 0;
    TVuvareSAX Parser{[this](const std::string& Name, const TAttributes& Attributes) {
                          Events += "S" + Name;
                          for (int i = 0; i < Attributes.Count(); ++i)
                              Events += " " + Attributes.Names(i) + "=" + Attributes.ValueFromIndex(i);
                          Events += '\n';
                          if (!Name.empty() && Name[0] == '?')
                              return;
                          if (++Depth > Deepest)
                              Deepest = Depth;
                      },
                      [this](const std::string& Name) {
                          Events += "E" + Name + '\n';
                          if (!Name.empty() && Name[0] != '?')
                              --Depth;
                      },
                      [this](const std::string& Text) { Events += "T" + Text + '\n'; },
                      [this](const std::string& Comment) { Events += "C" + Comment + '\n'; }};
};

void ParseNest(int Depth, size_t Block, std::string_view Fragment)
{
    std::string doc;
    for (int i = 0; i < Depth; ++i)
        doc += i % 3 == 0 ? "<e a=\"1\">" : "<e>";
    doc += Fragment;
    for (int i = 0; i < Depth; ++i)
        doc += "</e>";

    Trace whole;
    try
    {
        whole.Parser.ParseString(doc);
    }
    catch (const EVuvareSAX& e)
    {
        whole.Error = e.Message;
    }
    Trace split;
    try
    {
        split.Parser.BeginOfParsing();
        for (size_t at = 0; at < doc.size(); at += Block)
            split.Parser.ParseBlock(std::string_view(doc).substr(at, Block));
        split.Parser.EndOfParsing();
    }
    catch (const EVuvareSAX& e)
    {
        split.Error = e.Message;
    }
    // Long texts and whitespace-only ones are told apart by ParseString alone; everything else must agree.
    const bool comparable = doc.size() < 131072 && whole.Error != "Bad XML. Empty document.";
    if (comparable && (split.Error != whole.Error || split.Events != whole.Events))
        Fail("blocks gave other events or another error than the whole document", whole.Error + "\n" + split.Error);
    if (whole.Deepest > MaxXMLDepth || split.Deepest > MaxXMLDepth)
        Fail("an element deeper than the limit was reported");
    const bool refused = whole.Error.rfind(kTooDeepParse, 0) == 0;
    if (refused && whole.Depth != MaxXMLDepth)
        Fail("the nesting refusal came at another depth", whole.Error);
    if (Fragment.empty() && Depth > MaxXMLDepth && !refused)
        Fail("a too deep document was not refused", whole.Error);
    if (Fragment.empty() && Depth <= MaxXMLDepth && !whole.Error.empty() && Depth > 0)
        Fail("a nest within the limit was refused", whole.Error);
}

int Levels(IXMLNodePtr Node)
{
    int depth = 0;
    while (Node && Node->NodeType() == ntElement)
    {
        ++depth;
        IXMLNodePtr next;
        if (auto children = Node->ChildNodes())
            for (int i = 0; i < children->Count() && !next; ++i)
                if (children->Get(i)->NodeType() == ntElement)
                    next = children->Get(i);
        Node = next;
    }
    return depth;
}

void CheckWritten(const std::string& Error, const std::string& TooDeep, const std::string& Text, int Depth)
{
    if (Depth > MaxXMLDepth)
    {
        if (Error != TooDeep)
            Fail("a tree deeper than the limit was not refused by the writer", Error);
        return;
    }
    if (!Error.empty())
        Fail("a tree within the limit was not written", Error);
    IXMLNodePtr back;
    try
    {
        back = LoadXMLNodeFromString(Text);
    }
    catch (const EVuvareSAX& e)
    {
        Fail("written text does not parse", e.Message);
    }
    if (Levels(back) != Depth)
        Fail("written text reads back to another depth");
}

void BuildNodes(int Depth, const std::string& Fragment)
{
    IXMLNodePtr root = CreateXMLNode("e");
    IXMLNodePtr at = root;
    for (int i = 1; i < Depth; ++i)
    {
        at = at->AddChild("e");
        if (i % 97 == 0)
            at->SetAttribute("v", Fragment);
    }
    at->ChildNodes()->Add(std::make_shared<TVuvareXMLNode>(ntText, std::string_view(), Fragment));
    std::string text;
    std::string error;
    try
    {
        text = IXMLNodeToXMLDocument(root, enUTF8);
    }
    catch (const orb::Exception& e)
    {
        error = e.Message;
    }
    CheckWritten(error, kTooDeepNodes, text, Depth);
    at.reset();
    root.reset();
}

void BuildTree(int Depth, const std::string& Fragment)
{
    TVuvareXMLDocument document;
    TXMLElementList* branch = &document.Elements;
    for (int i = 0; i < Depth; ++i)
    {
        auto* element = new TXMLTagElement(branch, "e");
        if (i % 89 == 0)
            element->Attributes.Add("v", Fragment);
        branch = &element->Children;
    }
    new TXMLTagText(branch, Fragment);
    new TXMLTagComment(branch, "c");
    IXMLNodePtr copy = TVuvareXMLNode::Create(document.RootElement());
    if (Levels(copy) != Depth)
        Fail("the copy has another depth");
    std::string text;
    std::string error;
    try
    {
        text = document.XML();
    }
    catch (const orb::Exception& e)
    {
        error = e.Message;
    }
    CheckWritten(error, kTooDeepTree, text, Depth);
}

/// Mostly around the limit; the last few values reach far beyond it.
int BuiltDepth(int Depth)
{
    return Depth < 2040 ? 1 + Depth % 1100 : (Depth - 2039) * 12000;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    if (Size < 4)
        return 0;
    const int mode = Data[0] % 3;
    const int depth = ((Data[1] << 8) | Data[2]) % 2048;
    const size_t block = 1 + Data[3] % 64;
    const std::string fragment(reinterpret_cast<const char*>(Data) + 4, Size - 4);
    switch (mode)
    {
    case 0:
        ParseNest(depth, block, fragment);
        break;
    case 1:
        BuildNodes(BuiltDepth(depth), fragment);
        break;
    default:
        BuildTree(BuiltDepth(depth), fragment);
        break;
    }
    return 0;
}
