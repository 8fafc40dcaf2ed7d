// Untrusted bytes through the parser (whole, split into two blocks and in small blocks), the document tree, the node
// copy and both writers; anything the writers produce must parse again.
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

struct Log
{
    std::string Events;
    TVuvareSAX Parser{[this](const std::string& Name, const TAttributes& Attributes) {
                          Events += "S" + Name;
                          for (int i = 0; i < Attributes.Count(); ++i)
                              Events += " " + Attributes.Names(i) + "=" + Attributes.ValueFromIndex(i);
                          Events += '\n';
                      },
                      [this](const std::string& Name) { Events += "E" + Name + '\n'; },
                      [this](const std::string& Text) { Events += "T" + Text + '\n'; },
                      [this](const std::string& Comment) { Events += "C" + Comment + '\n'; }};
};

[[noreturn]] void Fail(const char* What)
{
    std::fprintf(stderr, "%s\n", What);
    std::abort();
}

bool IsAscii(const std::string& Text)
{
    for (char c : Text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

/// True when every element and attribute name below Node is plain ASCII (names are read byte for byte, so other
/// characters change on the way back) and element names are short enough to be read back.
bool NamesReadBack(const IXMLNode& Node)
{
    const std::string name = Node.NodeName();
    if (name.size() > 1025 || !IsAscii(name))
        return false;
    if (auto attributes = Node.AttributeNodes())
        for (int i = 0; i < attributes->Count(); ++i)
            if (!IsAscii(attributes->Get(i)->NodeName()))
                return false;
    if (auto children = Node.ChildNodes())
        for (int i = 0; i < children->Count(); ++i)
            if (!NamesReadBack(*children->Get(i)))
                return false;
    return true;
}

bool HasOnlyWritableNodes(const IXMLNode& Node)
{
    auto type = Node.NodeType();
    if (type != ntElement && type != ntText && type != ntComment)
        return false;
    if (auto children = Node.ChildNodes())
        for (int i = 0; i < children->Count(); ++i)
            if (!HasOnlyWritableNodes(*children->Get(i)))
                return false;
    return true;
}

std::string Attributes(const IXMLNode& Node)
{
    std::string out;
    if (auto attributes = Node.AttributeNodes())
        for (int i = 0; i < attributes->Count(); ++i)
            out += attributes->Get(i)->NodeName() + "=" + attributes->Get(i)->NodeValue() + "\n";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const std::string input(reinterpret_cast<const char*>(Data), Size);

    // Whole, then split into two blocks: a document that parses gives the same events either way.
    Log whole;
    bool parsed = true;
    try
    {
        whole.Parser.ParseString(input);
    }
    catch (const EVuvareSAX&)
    {
        parsed = false;
    }
    if (parsed && Size > 0 && Size < 131072)
    {
        Log split;
        const size_t cut = Data[0] % (Size + 1);
        try
        {
            split.Parser.BeginOfParsing();
            split.Parser.ParseBlock(std::string_view(input).substr(0, cut));
            split.Parser.ParseBlock(std::string_view(input).substr(cut));
            split.Parser.EndOfParsing();
        }
        catch (const EVuvareSAX&)
        {
            Fail("a split document failed where the whole one parsed");
        }
        if (split.Events != whole.Events)
            Fail("a split document gave other events");

        // In small blocks, so that items are left unfinished and continued many times.
        Log pieces;
        const size_t block = 1 + Data[Size - 1] % 16;
        try
        {
            pieces.Parser.BeginOfParsing();
            for (size_t at = 0; at < Size; at += block)
                pieces.Parser.ParseBlock(std::string_view(input).substr(at, block));
            pieces.Parser.EndOfParsing();
        }
        catch (const EVuvareSAX&)
        {
            Fail("a document in small blocks failed where the whole one parsed");
        }
        if (pieces.Events != whole.Events)
            Fail("a document in small blocks gave other events");
    }

    TVuvareXMLDocument document;
    try
    {
        document.LoadFromString(input);
    }
    catch (const EVuvareSAX&)
    {
        return 0;
    }
    if (!parsed)
        Fail("the document loaded what the parser refused");
    const std::string treeText = document.XML();

    auto copied = TVuvareXMLNode::Create(document.RootElement());
    auto direct = LoadXMLNodeFromString(input);
    if (copied->NodeType() != direct->NodeType() || copied->NodeName() != direct->NodeName() ||
        Attributes(*copied) != Attributes(*direct))
        Fail("loading nodes directly differs from copying the tree");
    if (direct->NodeType() != ntElement)
        return 0;

    // Touch the node interface the way settings code does.
    if (direct->AttributeNodes()->Count() > 0)
    {
        const std::string name = direct->AttributeNodes()->First()->NodeName();
        direct->SetAttribute(name, std::to_string(treeText.size()));
        if (direct->Attributes(name) != std::to_string(treeText.size()))
            Fail("an attribute did not keep its value");
    }
    direct->AddChild("added", 0);

    if (!HasOnlyWritableNodes(*direct))
    {
        try
        {
            (void)direct->XML();
        }
        catch (const orb::Exception&)
        {
            return 0;
        }
        Fail("an unsupported node was written");
    }
    const std::string nodeText = IXMLNodeToXMLDocument(direct, enUTF8);
    if (!NamesReadBack(*direct))
        return 0;
    IXMLNodePtr back;
    try
    {
        back = LoadXMLNodeFromString(nodeText);
    }
    catch (const EVuvareSAX& e)
    {
        std::fprintf(stderr, "%s\n%s\n", e.what(), nodeText.c_str());
        Fail("the node writer produced XML that does not parse");
    }
    if (back->NodeName() != direct->NodeName() || Attributes(*back) != Attributes(*direct))
        Fail("the written root does not read back with the same name and attributes");
    return 0;
}
