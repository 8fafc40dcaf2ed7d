#include "xml/XML_Utils.h"

#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <array>

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

std::string XMLEscape(std::string_view Text)
{
    std::string out;
    out.reserve(Text.size());
    AppendXMLEscaped(out, Text);
    return out;
}

void AppendIXMLNodeXML(std::string& Out, const IXMLNode& Node, TEncoding Encoding, int Level,
                       std::string_view LineBreak, int IndentSize)
{
    if (const auto* own = dynamic_cast<const TVuvareXMLNode*>(&Node))
    {
        // Our own nodes are written from their insides, without counted references or attribute nodes.
        own->AppendXML(Out, Level, LineBreak, IndentSize);
        return;
    }
    const size_t indent = static_cast<size_t>(Level) * static_cast<size_t>(IndentSize);
    switch (Node.NodeType())
    {
    case ntElement: {
        const std::string name = Node.NodeName();
        Out.append(indent, ' ');
        Out += '<';
        Out += name;
        if (auto attributes = Node.AttributeNodes())
        {
            for (int i = 0, n = attributes->Count(); i < n; ++i)
            {
                auto attribute = attributes->Get(i);
                AppendAttributeXML(Out, attribute->NodeName(), attribute->Text());
            }
        }
        auto children = Node.ChildNodes();
        if (!children || children->Count() == 0)
        {
            Out += "/>";
            return;
        }
        Out += '>';
        Out += LineBreak;
        for (int i = 0, n = children->Count(); i < n; ++i)
        {
            AppendIXMLNodeXML(Out, *children->Get(i), Encoding, Level + 1, LineBreak, IndentSize);
            Out += LineBreak;
        }
        Out.append(indent, ' ');
        Out += "</";
        Out += name;
        Out += '>';
        return;
    }
    case ntText:
        Out.append(indent, ' ');
        AppendXMLEscaped(Out, Node.Text());
        return;
    case ntComment:
        AppendCommentXML(Out, Node.Text());
        return;
    default:
        throw orb::Exception("IXMLNodeToXML: Unsupported NodeType");
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
