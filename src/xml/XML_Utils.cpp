#include "xml/XML_Utils.h"

#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <array>
#include <vector>

namespace orb::xml
{

namespace
{
constexpr std::array<bool, 256> MakeSpecial()
{
    std::array<bool, 256> t{};
    for (int c = 0; c < 32; ++c)
        t[c] = true;
    for (unsigned char c : {'&', '<', '>', '"', '\''})
        t[c] = true;
    return t;
}
constexpr std::array<bool, 256> kSpecial = MakeSpecial();
} // namespace

void AppendXMLEscaped(std::string& Out, std::string_view Text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    size_t plain = 0;
    for (size_t i = 0; i < Text.size(); ++i)
    {
        auto c = static_cast<unsigned char>(Text[i]);
        if (!kSpecial[c])
            continue;
        const char* ref = nullptr;
        switch (c)
        {
        case '&':
            ref = "&amp;";
            break;
        case '<':
            ref = "&lt;";
            break;
        case '>':
            ref = "&gt;";
            break;
        case '"':
            ref = "&quot;";
            break;
        case '\'':
            ref = "&apos;";
            break;
        default:
            break;
        }
        Out.append(Text.substr(plain, i - plain));
        plain = i + 1;
        if (ref)
        {
            Out += ref;
            continue;
        }
        Out += "&#x";
        if (c >= 16)
            Out += kHex[c >> 4];
        Out += kHex[c & 15];
        Out += ';';
    }
    Out.append(Text.substr(plain));
}

namespace
{

/// A comment's text as written: unescaped (the reader takes comments literally, so escaping would grow the text on
/// every save), except that nothing may close the comment early.
void AppendCommentText(std::string& Out, std::string_view Text)
{
    size_t from = 0;
    for (size_t at = Text.find("-->"); at != std::string_view::npos; at = Text.find("-->", at + 1))
    {
        Out.append(Text.substr(from, at + 2 - from));
        Out += "&gt;";
        from = at + 3;
    }
    Out.append(Text.substr(from));
}

} // namespace

void AppendCommentXML(std::string& Out, std::string_view Text)
{
    Out += "<!--";
    AppendCommentText(Out, Text);
    Out += "-->";
}

void AppendAttributeXML(std::string& Out, std::string_view Name, std::string_view Value)
{
    Out += ' ';
    Out += Name;
    Out += "=\"";
    AppendXMLEscaped(Out, Value);
    Out += '"';
}

std::vector<IXMLNodePtr> ChildElements(const IXMLNode& Node)
{
    std::vector<IXMLNodePtr> elements;
    if (auto list = Node.ChildNodes())
        for (int i = 0, n = list->Count(); i < n; ++i)
            if (auto child = list->Get(i); child->NodeType() == ntElement)
                elements.push_back(child);
    return elements;
}

std::string XMLEscape(std::string_view Text)
{
    std::string out;
    out.reserve(Text.size());
    AppendXMLEscaped(out, Text);
    return out;
}

namespace
{

[[noreturn]] void UnsupportedNodeType()
{
    throw orb::Exception("IXMLNodeToXML: Unsupported NodeType");
}

/// An element whose children are being written.
struct TOpenElement
{
    const IXMLNode* Node = nullptr;
    /// The same node when it is one of ours: its insides are written without counted references.
    const TVuvareXMLNode* Own = nullptr;
    const TVuvareXMLNodeList* OwnChildren = nullptr;
    /// The children of a node of another implementation, and the node itself, kept alive while written.
    IXMLNodeListPtr Children;
    IXMLNodePtr Hold;
    int Next = 0;
    int Count = 0;
    size_t Indent = 0;
};

/// Writes Item up to its children: the whole of a text, a comment or an element without children, or an element's
/// start tag and line break. Returns true, with Open filled in, when children follow.
bool WriteOpening(std::string& Out, const IXMLNode& Item, size_t Indent, std::string_view LineBreak, TOpenElement& Open)
{
    const auto* own = dynamic_cast<const TVuvareXMLNode*>(&Item);
    switch (Item.NodeType())
    {
    case ntElement: {
        Out.append(Indent, ' ');
        int count = 0;
        if (own)
        {
            own->AppendStartTag(Out);
            Open.OwnChildren = own->ChildList();
            count = Open.OwnChildren ? Open.OwnChildren->Count() : 0;
        }
        else
        {
            Out += '<';
            Out += Item.NodeName();
            if (auto attributes = Item.AttributeNodes())
            {
                for (int i = 0, n = attributes->Count(); i < n; ++i)
                {
                    auto attribute = attributes->Get(i);
                    AppendAttributeXML(Out, attribute->NodeName(), attribute->Text());
                }
            }
            Open.Children = Item.ChildNodes();
            count = Open.Children ? Open.Children->Count() : 0;
        }
        if (count == 0)
        {
            Out += "/>";
            return false;
        }
        Out += '>';
        Out += LineBreak;
        Open.Node = &Item;
        Open.Own = own;
        Open.Count = count;
        Open.Indent = Indent;
        return true;
    }
    case ntText:
        Out.append(Indent, ' ');
        if (own)
            AppendXMLEscaped(Out, own->OwnText());
        else
            AppendXMLEscaped(Out, Item.Text());
        return false;
    case ntComment:
        if (own)
            AppendCommentXML(Out, own->OwnText());
        else
            AppendCommentXML(Out, Item.Text());
        return false;
    default:
        UnsupportedNodeType();
    }
}

} // namespace

void AppendIXMLNodeXML(std::string& Out, const IXMLNode& Node, TEncoding, int Level, std::string_view LineBreak,
                       int IndentSize)
{
    const size_t step = static_cast<size_t>(IndentSize);
    // Depth first with a stack of its own, so that no tree is too deep to write; a tree deeper than the parser reads
    // is refused, since it could not be read back and its indentation alone would grow with the square of the depth.
    std::vector<TOpenElement> open(1);
    if (!WriteOpening(Out, Node, static_cast<size_t>(Level) * step, LineBreak, open.back()))
        return;
    while (!open.empty())
    {
        TOpenElement& top = open.back();
        if (top.Next == top.Count)
        {
            Out.append(top.Indent, ' ');
            Out += "</";
            if (top.Own)
                Out += top.Own->OwnText();
            else
                Out += top.Node->NodeName();
            Out += '>';
            open.pop_back();
            if (!open.empty())
                Out += LineBreak;
            continue;
        }
        const int index = top.Next++;
        IXMLNodePtr held;
        const IXMLNode* child;
        if (top.Own)
        {
            child = top.OwnChildren->NodeList[static_cast<size_t>(index)].get();
        }
        else
        {
            held = top.Children->Get(index);
            child = held.get();
        }
        if (!child)
            UnsupportedNodeType();
        if (open.size() >= static_cast<size_t>(MaxXMLDepth) && child->NodeType() == ntElement)
            throw orb::Exception("IXMLNodeToXML: " + NestingTooDeepText());
        TOpenElement next;
        if (!WriteOpening(Out, *child, top.Indent + step, LineBreak, next))
        {
            Out += LineBreak;
            continue;
        }
        next.Hold = std::move(held);
        open.push_back(std::move(next));
    }
}

std::string IXMLNodeToXML(const IXMLNodePtr& Node, TEncoding Encoding, int Level, std::string_view LineBreak,
                          int IndentSize)
{
    if (!Node)
        throw orb::Exception("IXMLNodeToXML: Unsupported NodeType");
    std::string out;
    AppendIXMLNodeXML(out, *Node, Encoding, Level, LineBreak, IndentSize);
    return out;
}

std::string IXMLNodeToXML(const IXMLNodePtr& Node, TEncoding Encoding, int Level)
{
    return IXMLNodeToXML(Node, Encoding, Level, "\r\n", 2);
}

std::string IXMLNodeToXMLDocument(const IXMLNodePtr& Node, TEncoding Encoding)
{
    std::string out = "<?xml version=\"1.0\"";
    if (Encoding == enUTF8)
        out += " encoding=\"utf-8\"";
    out += "?>\r\n";
    if (!Node)
        throw orb::Exception("IXMLNodeToXML: Unsupported NodeType");
    AppendIXMLNodeXML(out, *Node, Encoding, 0, "\r\n", 2);
    return out;
}

void SaveIXMLNodeToFile(const std::filesystem::path& FileName, const IXMLNodePtr& Node, TEncoding Encoding,
                        orb::TFileAccess Access)
{
    // The text is complete before the file is touched, so an unsupported node leaves the file alone.
    std::string text = IXMLNodeToXMLDocument(Node, Encoding);
    SaveTextToFile(FileName, text, Encoding == enUTF8 ? teUTF8 : teASCII, Access);
}

void SaveTextToFile(const std::filesystem::path& FileName, std::string_view Text, TTextEncoding TextEncoding,
                    orb::TFileAccess Access)
{
    switch (TextEncoding)
    {
    case teUTF8:
        orb::WriteFileAtomic(FileName, Text, Access);
        break;
    case teASCII:
        orb::WriteFileAtomic(FileName, orb::Utf8ToAscii(Text), Access);
        break;
    case teANSI:
        orb::WriteFileAtomic(FileName, orb::Utf8ToAnsi(Text), Access);
        break;
    }
}

} // namespace orb::xml
