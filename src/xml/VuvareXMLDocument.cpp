#include "xml/VuvareXMLDocument.h"

#include "base/AtomicFile.h"
#include "base/TextUtils.h"
#include "xml/XML_Utils.h"

#include <cerrno>
#include <fstream>
#include <vector>

namespace orb::xml
{

namespace
{

void AppendIndent(std::string& Out, int Level, int Margin)
{
    Out.append(static_cast<size_t>(Level) * static_cast<size_t>(Margin), ' ');
}

void AppendBreaks(std::string& Out, const TXMLFormatSettings& Settings)
{
    for (int i = 0; i < Settings.BreaksBetweenElements; ++i)
        Out += "\r\n";
}

} // namespace

std::ifstream OpenFileForReading(const std::filesystem::path& FileName)
{
    auto fail = [&](int Code) {
        throw EFOpenError(Code, "Cannot open file \"" + FileName.string() + "\". " + orb::SysErrorMessage(Code));
    };
    std::error_code ec;
    // A directory opens like a file here and then reads as empty; refuse it as the platform does.
    if (std::filesystem::is_directory(FileName, ec))
        fail(EISDIR);
    errno = 0;
    std::ifstream file(FileName, std::ios::binary);
    if (!file)
        fail(errno ? errno : ENOENT);
    return file;
}

// ---------------------------------------------------------------------------------------------------------------
// Tree items

TXMLTagBasic::TXMLTagBasic(TXMLElementList* Parent)
{
    if (Parent)
    {
        Parent->Elements.emplace_back(this);
        ParentElementList = Parent;
    }
}

std::string TXMLTagBasic::XML(const TXMLFormatSettings& Settings, TEncoding Enc, int Level) const
{
    std::string out;
    WriteXML(out, Settings, Enc, Level);
    return out;
}

std::string TXMLTagBasic::XML(int Level) const
{
    if (ParentElementList)
        return XML(ParentElementList->FormatSettings, ParentElementList->Encoding, Level);
    return XML(FormatSettings, Encoding, Level);
}

namespace
{

/// Writes an element's start tag with its attributes; true when children follow (then also the breaks after ">").
bool WriteElementOpening(std::string& Out, const TXMLTagElement& Element, const TXMLFormatSettings& Settings, int Level)
{
    AppendIndent(Out, Level, Settings.Margin);
    Out += '<';
    Out += Element.Name;
    for (int i = 0; i < Element.Attributes.Count(); ++i)
    {
        if (Settings.FormatMode == fmBreakAttributes)
        {
            Out += "\r\n";
            AppendIndent(Out, Level + 1, Settings.Margin);
        }
        else
        {
            Out += ' ';
        }
        Out += Element.Attributes.Names(i);
        Out += "=\"";
        Out += XMLEscape(Element.Attributes.ValueFromIndex(i));
        Out += '"';
    }
    if (Element.Children.Count() == 0)
    {
        Out += "/>";
        return false;
    }
    Out += '>';
    AppendBreaks(Out, Settings);
    return true;
}

/// Writes the items of List at Level and everything below them, depth first with a stack of its own so that no
/// tree is too deep to write. Elements deeper than the parser reads are refused (see AppendIXMLNodeXML).
void WriteItems(std::string& Out, const TXMLElementList& List, const TXMLFormatSettings& Settings, TEncoding Enc,
                int Level, int Depth)
{
    struct TOpen
    {
        const TXMLElementList* List;
        size_t Next;
    };
    std::vector<TOpen> open{{&List, 0}};
    while (!open.empty())
    {
        TOpen& top = open.back();
        const int level = Level + static_cast<int>(open.size()) - 1;
        if (top.Next == top.List->Elements.size())
        {
            const TXMLTagElement* element = top.List->ParentElement;
            open.pop_back();
            if (open.empty())
                break;
            AppendBreaks(Out, Settings);
            AppendIndent(Out, level - 1, Settings.Margin);
            Out += "</";
            Out += element->Name;
            Out += '>';
            continue;
        }
        if (top.Next > 0)
            AppendBreaks(Out, Settings);
        const TXMLTagBasic& item = *top.List->Elements[top.Next++];
        const auto* element = dynamic_cast<const TXMLTagElement*>(&item);
        if (!element)
        {
            item.WriteXML(Out, Settings, Enc, level);
            continue;
        }
        if (Depth + static_cast<int>(open.size()) > MaxXMLDepth)
            throw orb::Exception("TVuvareXMLDocument.XML: " + NestingTooDeepText());
        if (WriteElementOpening(Out, *element, Settings, level))
            open.push_back({&element->Children, 0});
    }
}

} // namespace

void TXMLTagElement::WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Enc, int Level) const
{
    if (!WriteElementOpening(Out, *this, Settings, Level))
        return;
    WriteItems(Out, Children, Settings, Enc, Level + 1, 1);
    AppendBreaks(Out, Settings);
    AppendIndent(Out, Level, Settings.Margin);
    Out += "</";
    Out += Name;
    Out += '>';
}

void TXMLTagText::WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding, int Level) const
{
    AppendIndent(Out, Level, Settings.Margin);
    Out += XMLEscape(Text);
}

void TXMLTagComment::WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding, int Level) const
{
    AppendIndent(Out, Level, Settings.Margin);
    Out += "<!--";
    Out += Comment;
    Out += "-->";
}

void TXMLTagPI::WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding, int Level) const
{
    AppendIndent(Out, Level, Settings.Margin);
    Out += "<?";
    Out += Name;
    for (int i = 0; i < Attributes.Count(); ++i)
    {
        Out += ' ';
        Out += Attributes.Names(i);
        Out += "=\"";
        Out += XMLEscape(Attributes.ValueFromIndex(i));
        Out += '"';
    }
    Out += "?>";
}

// ---------------------------------------------------------------------------------------------------------------
// TXMLElementList

TXMLTagBasic* TXMLElementList::Item(int Index) const
{
    if (Index < 0 || Index >= Count())
        throw orb::EListError("List index out of bounds (" + std::to_string(Index) + ")");
    return Elements[static_cast<size_t>(Index)].get();
}

TXMLTagElement* TXMLElementList::FindElement(const std::string& ElementName) const
{
    for (const auto& item : Elements)
        if (auto* element = dynamic_cast<TXMLTagElement*>(item.get()); element && element->Name == ElementName)
            return element;
    return nullptr;
}

void TXMLElementList::Remove(int Index)
{
    Item(Index);
    Elements.erase(Elements.begin() + Index);
}

TXMLTagBasic* TXMLElementList::Append(std::unique_ptr<TXMLTagBasic> Tag)
{
    Tag->ParentElementList = this;
    Elements.push_back(std::move(Tag));
    return Elements.back().get();
}

std::string TXMLElementList::XML(const TXMLFormatSettings& Settings, TEncoding Enc, int Level) const
{
    std::string out;
    WriteXML(out, Settings, Enc, Level);
    return out;
}

void TXMLElementList::WriteXML(std::string& Out, const TXMLFormatSettings& Settings, TEncoding Enc, int Level) const
{
    WriteItems(Out, *this, Settings, Enc, Level, 0);
}

void TXMLElementList::Clear()
{
    // Each element's children are moved out before it is freed, so freeing never nests: no tree is too deep.
    std::vector<std::unique_ptr<TXMLTagBasic>> doomed = std::move(Elements);
    Elements.clear();
    while (!doomed.empty())
    {
        std::unique_ptr<TXMLTagBasic> item = std::move(doomed.back());
        doomed.pop_back();
        if (auto* element = dynamic_cast<TXMLTagElement*>(item.get()))
        {
            for (auto& child : element->Children.Elements)
                doomed.push_back(std::move(child));
            element->Children.Elements.clear();
        }
    }
}

// ---------------------------------------------------------------------------------------------------------------
// TVuvareXMLDocument

TVuvareXMLDocument::TVuvareXMLDocument()
    : CurrentBranch(&Elements),
      VuvareSAX(std::make_unique<TVuvareSAX>(
          [this](const std::string& Name, const TAttributes& Attributes) { StartElement(Name, Attributes); },
          [this](const std::string& Name) { EndElement(Name); }, [this](const std::string& Text) { AddText(Text); },
          [this](const std::string& Comment) { AddComment(Comment); }))
{}

void TVuvareXMLDocument::StartElement(const std::string& Name, const TAttributes& Attributes)
{
    if (!Name.empty() && Name[0] == '?')
    {
        auto* pi = new TXMLTagPI(CurrentBranch, Name.substr(1));
        pi->Attributes = Attributes;
        return;
    }
    auto* element = new TXMLTagElement(CurrentBranch, Name);
    element->Attributes = Attributes;
    CurrentBranch = &element->Children;
}

void TVuvareXMLDocument::EndElement(const std::string& Name)
{
    if (!Name.empty() && Name[0] == '?')
        return;
    // The parser has already checked the pairing; only the nesting matters here.
    if (CurrentBranch->ParentElement && CurrentBranch->ParentElement->ParentElementList)
        CurrentBranch = CurrentBranch->ParentElement->ParentElementList;
}

void TVuvareXMLDocument::AddText(const std::string& Text)
{
    new TXMLTagText(CurrentBranch, Text);
}

void TVuvareXMLDocument::AddComment(const std::string& Comment)
{
    if (!IgnoreComments)
        new TXMLTagComment(CurrentBranch, Comment);
}

void TVuvareXMLDocument::LoadFromBuffer(std::string_view Data)
{
    Elements.Clear();
    CurrentBranch = &Elements;
    VuvareSAX->ParseString(Data);
}

void TVuvareXMLDocument::LoadFromString(std::string_view Data)
{
    LoadFromBuffer(Data);
}

void TVuvareXMLDocument::LoadFromStream(std::istream& Stream)
{
    Elements.Clear();
    CurrentBranch = &Elements;
    VuvareSAX->ParseStream(Stream);
}

void TVuvareXMLDocument::LoadFromFile(const std::filesystem::path& FileName)
{
    std::ifstream file = OpenFileForReading(FileName);
    LoadFromStream(file);
    if (file.bad())
        throw orb::EInOutError(EIO, "Cannot read file \"" + FileName.string() + "\".");
}

TXMLTagElement* TVuvareXMLDocument::RootElement() const
{
    for (const auto& item : Elements.Elements)
        if (auto* element = dynamic_cast<TXMLTagElement*>(item.get()))
            return element;
    return nullptr;
}

std::string TVuvareXMLDocument::Encoding() const
{
    for (const auto& item : Elements.Elements)
        if (auto* pi = dynamic_cast<TXMLTagPI*>(item.get()))
            return pi->Attributes.Values("encoding");
    return {};
}

std::string TVuvareXMLDocument::XML()
{
    Elements.Encoding = orb::SameText(Encoding(), "utf-8") ? enUTF8 : enUnknown;
    return Elements.XML(Elements.FormatSettings, Elements.Encoding, 0);
}

void TVuvareXMLDocument::SaveToFile(const std::filesystem::path& FileName)
{
    orb::WriteFileAtomic(FileName, orb::Utf8ToAnsi(XML()));
}

} // namespace orb::xml
