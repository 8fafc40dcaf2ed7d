#include "xml/VuvareXMLNode.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "xml/VuvareXMLDocument.h"
#include "xml/XML_Utils.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>

namespace orb::xml
{

// ---------------------------------------------------------------------------------------------------------------
// TVuvareXMLNodeList

namespace
{
[[noreturn]] void IndexError(int Index)
{
    throw orb::EListError("List index out of bounds (" + std::to_string(Index) + ")");
}
} // namespace

int TVuvareXMLNodeList::Count() const
{
    return static_cast<int>(NodeList.size());
}

IXMLNodePtr TVuvareXMLNodeList::Get(int Index) const
{
    if (Index < 0 || Index >= Count())
        IndexError(Index);
    return NodeList[static_cast<size_t>(Index)];
}

IXMLNodePtr TVuvareXMLNodeList::First() const
{
    return Get(0);
}

IXMLNodePtr TVuvareXMLNodeList::Last() const
{
    return Get(Count() - 1);
}

int TVuvareXMLNodeList::Add(const IXMLNodePtr& Node)
{
    NodeList.push_back(Node);
    return Count() - 1;
}

void TVuvareXMLNodeList::Insert(int Index, const IXMLNodePtr& Node)
{
    if (Index < 0 || Index > Count())
        IndexError(Index);
    NodeList.insert(NodeList.begin() + Index, Node);
}

void TVuvareXMLNodeList::Clear()
{
    NodeList.clear();
}

int TVuvareXMLNodeList::Delete(int Index)
{
    if (Index < 0 || Index >= Count())
        IndexError(Index);
    NodeList.erase(NodeList.begin() + Index);
    return Index;
}

int TVuvareXMLNodeList::Delete(const std::string& Name)
{
    int index = IndexOf(Name);
    if (index >= 0)
        NodeList.erase(NodeList.begin() + index);
    return index;
}

int TVuvareXMLNodeList::Remove(const IXMLNodePtr& Node)
{
    int index = IndexOf(Node);
    if (index >= 0)
        NodeList.erase(NodeList.begin() + index);
    return index;
}

int TVuvareXMLNodeList::IndexOf(const IXMLNodePtr& Node) const
{
    auto it = std::find(NodeList.begin(), NodeList.end(), Node);
    return it == NodeList.end() ? -1 : static_cast<int>(it - NodeList.begin());
}

int TVuvareXMLNodeList::IndexOf(const std::string& Name) const
{
    for (size_t i = 0; i < NodeList.size(); ++i)
        if (NodeList[i]->NodeName() == Name)
            return static_cast<int>(i);
    return -1;
}

IXMLNodePtr TVuvareXMLNodeList::FindNode(const std::string& NodeName) const
{
    int index = IndexOf(NodeName);
    return index < 0 ? nullptr : NodeList[static_cast<size_t>(index)];
}

IXMLNodePtr TVuvareXMLNodeList::ReplaceNode(const IXMLNodePtr& OldNode, const IXMLNodePtr& NewNode)
{
    int oldIndex = IndexOf(OldNode);
    int newIndex = IndexOf(NewNode);
    if (oldIndex < 0)
        IndexError(oldIndex);
    if (newIndex < 0)
        IndexError(newIndex);
    std::swap(NodeList[static_cast<size_t>(oldIndex)], NodeList[static_cast<size_t>(newIndex)]);
    return OldNode;
}

// ---------------------------------------------------------------------------------------------------------------
// TVuvareXMLNode

TVuvareXMLNode::TVuvareXMLNode(TNodeType Type, std::string_view AName, std::string_view AValue) : FNodeType(Type)
{
    if (IsNamed())
    {
        FText.assign(AName);
        if (!AValue.empty())
            Extras().Value.assign(AValue);
    }
    else
    {
        FText.assign(AValue);
    }
}

TVuvareXMLNode::~TVuvareXMLNode()
{
    TExtras* extras = FExtras.load(std::memory_order_acquire);
    if (!extras)
        return;
    // Freeing the extras releases the children, theirs release their own, and so on: a tree built thousands of
    // levels deep would run out of stack. Releases nested in another one hand their extras to the outermost,
    // which frees them one after the other.
    thread_local std::vector<TExtras*>* pending = nullptr;
    if (pending)
    {
        try
        {
            pending->push_back(extras);
            return;
        }
        catch (...)
        {
            delete extras;
            return;
        }
    }
    std::vector<TExtras*> queue{extras};
    pending = &queue;
    while (!queue.empty())
    {
        TExtras* next = queue.back();
        queue.pop_back();
        delete next;
    }
    pending = nullptr;
}

std::shared_ptr<TVuvareXMLNode> TVuvareXMLNode::CreateElement(const std::string& Name,
                                                              const std::shared_ptr<TVuvareXMLNode>& Parent)
{
    auto node = std::make_shared<TVuvareXMLNode>(ntElement, Name, std::string_view());
    node->FParentNode = Parent;
    return node;
}

std::shared_ptr<TVuvareXMLNode> TVuvareXMLNode::Copy(const TXMLTagBasic& NodeTag,
                                                     const std::shared_ptr<TVuvareXMLNode>& Parent)
{
    auto copyOne = [](const TXMLTagBasic& Tag, const std::weak_ptr<TVuvareXMLNode>& Up) {
        std::shared_ptr<TVuvareXMLNode> node;
        if (const auto* element = dynamic_cast<const TXMLTagElement*>(&Tag))
        {
            node = std::make_shared<TVuvareXMLNode>(ntElement, element->Name, std::string_view());
            node->AppendAttributes(element->Attributes);
        }
        else if (const auto* comment = dynamic_cast<const TXMLTagComment*>(&Tag))
            node = std::make_shared<TVuvareXMLNode>(ntComment, std::string_view(), comment->Comment);
        else if (const auto* text = dynamic_cast<const TXMLTagText*>(&Tag))
            node = std::make_shared<TVuvareXMLNode>(ntText, std::string_view(), text->Text);
        else
            node = std::make_shared<TVuvareXMLNode>(ntProcessingInstr, std::string_view(), std::string_view());
        node->FParentNode = Up;
        return node;
    };
    // Depth first with a stack of its own, so that no tree is too deep to copy.
    struct TOpen
    {
        const TXMLElementList* Children;
        size_t Next;
        TVuvareXMLNode* Node;
    };
    auto root = copyOne(NodeTag, Parent);
    std::vector<TOpen> open;
    if (const auto* element = dynamic_cast<const TXMLTagElement*>(&NodeTag))
        open.push_back({&element->Children, 0, root.get()});
    while (!open.empty())
    {
        TOpen& top = open.back();
        if (top.Next == top.Children->Elements.size())
        {
            open.pop_back();
            continue;
        }
        const TXMLTagBasic& tag = *top.Children->Elements[top.Next++];
        TVuvareXMLNode* parent = top.Node;
        auto node = copyOne(tag, parent->weak_from_this());
        TVuvareXMLNode* made = node.get();
        parent->AppendChild(std::move(node));
        if (const auto* element = dynamic_cast<const TXMLTagElement*>(&tag))
            open.push_back({&element->Children, 0, made});
    }
    return root;
}

IXMLNodePtr TVuvareXMLNode::Create(const TXMLTagBasic* NodeTag)
{
    if (!NodeTag)
        return std::make_shared<TVuvareXMLNode>();
    return Copy(*NodeTag, nullptr);
}

TVuvareXMLNode::TExtras& TVuvareXMLNode::Extras() const
{
    TExtras* extras = FExtras.load(std::memory_order_acquire);
    if (extras)
        return *extras;
    // Readers on several threads may get here at once: one of them wins, the others drop theirs.
    auto fresh = std::make_unique<TExtras>();
    if (FExtras.compare_exchange_strong(extras, fresh.get(), std::memory_order_acq_rel))
        return *fresh.release();
    return *extras;
}

std::string TVuvareXMLNode::NodeName() const
{
    return IsNamed() ? FText : std::string();
}

TNodeType TVuvareXMLNode::NodeType() const
{
    return FNodeType;
}

std::string TVuvareXMLNode::NodeValue() const
{
    if (!IsNamed())
        return FText;
    const TExtras* extras = FExtras.load(std::memory_order_acquire);
    return extras ? extras->Value : std::string();
}

void TVuvareXMLNode::SetNodeValue(const std::string& AValue)
{
    if (IsNamed())
        Extras().Value = AValue;
    else
        FText = AValue;
}

std::string TVuvareXMLNode::Text() const
{
    return NodeValue();
}

void TVuvareXMLNode::SetText(const std::string& AValue)
{
    SetNodeValue(AValue);
}

namespace
{
uint32_t ReadU32(const char* At)
{
    uint32_t value;
    std::memcpy(&value, At, 4);
    return value;
}
void WriteU32(char* At, size_t Value)
{
    auto value = static_cast<uint32_t>(Value);
    std::memcpy(At, &value, 4);
}
} // namespace

template <typename VisitFn> bool TVuvareXMLNode::ScanPacked(VisitFn&& Visit) const
{
    if (!FPacked)
        return false;
    const char* base = FPacked.get() + 8;
    const size_t used = ReadU32(FPacked.get());
    size_t at = 0;
    while (at < used)
    {
        const uint32_t nameLength = ReadU32(base + at);
        const uint32_t valueLength = ReadU32(base + at + 4);
        std::string_view name(base + at + 8, nameLength);
        std::string_view value(base + at + 8 + nameLength, valueLength);
        if (Visit(name, value))
            return true;
        at += 8 + nameLength + valueLength;
    }
    return false;
}

void TVuvareXMLNode::Pack(std::string_view AName, std::string_view AValue, size_t Reserve)
{
    const size_t used = FPacked ? ReadU32(FPacked.get()) : 0;
    const size_t capacity = FPacked ? ReadU32(FPacked.get() + 4) : 0;
    const size_t needed = used + 8 + AName.size() + AValue.size();
    if (needed > capacity)
    {
        const size_t grown = std::max({needed, Reserve, capacity * 2});
        auto bigger = std::make_unique<char[]>(8 + grown);
        if (FPacked)
            std::memcpy(bigger.get() + 8, FPacked.get() + 8, used);
        WriteU32(bigger.get() + 4, grown);
        FPacked = std::move(bigger);
    }
    char* at = FPacked.get() + 8 + used;
    WriteU32(at, AName.size());
    WriteU32(at + 4, AValue.size());
    std::memcpy(at + 8, AName.data(), AName.size());
    std::memcpy(at + 8 + AName.size(), AValue.data(), AValue.size());
    WriteU32(FPacked.get(), needed);
}

void TVuvareXMLNode::MakeAttributeNodes() const
{
    // Readers on several threads may ask at once; the packed attributes are only read here, never changed.
    static std::mutex making;
    std::lock_guard lock(making);
    if (FAttributeNodesMade.load(std::memory_order_relaxed))
        return;
    auto list = std::make_shared<TVuvareXMLNodeList>();
    ScanPacked([&](std::string_view Name, std::string_view Value) {
        list->NodeList.push_back(std::make_shared<TVuvareXMLNode>(ntAttribute, Name, Value));
        return false;
    });
    Extras().AttributeNodes = std::move(list);
    FAttributeNodesMade.store(true, std::memory_order_release);
}

void TVuvareXMLNode::ForEachAttribute(const std::function<void(std::string_view, std::string_view)>& Visit) const
{
    if (FAttributeNodesMade.load(std::memory_order_acquire))
    {
        for (const auto& attribute : Extras().AttributeNodes->NodeList)
            Visit(attribute->NodeName(), attribute->Text());
        return;
    }
    ScanPacked([&](std::string_view Name, std::string_view Value) {
        Visit(Name, Value);
        return false;
    });
}

void TVuvareXMLNode::AppendAttribute(std::string_view AName, std::string_view AValue)
{
    if (FAttributeNodesMade.load(std::memory_order_acquire))
        Extras().AttributeNodes->NodeList.push_back(std::make_shared<TVuvareXMLNode>(ntAttribute, AName, AValue));
    else
        Pack(AName, AValue);
}

void TVuvareXMLNode::AppendAttributes(const TAttributes& Attributes)
{
    if (Attributes.Count() == 0)
        return;
    if (FAttributeNodesMade.load(std::memory_order_acquire))
    {
        for (int i = 0; i < Attributes.Count(); ++i)
            AppendAttribute(Attributes.Names(i), Attributes.ValueFromIndex(i));
        return;
    }
    size_t bytes = FPacked ? ReadU32(FPacked.get()) : 0;
    for (int i = 0; i < Attributes.Count(); ++i)
        bytes += 8 + Attributes.Names(i).size() + Attributes.ValueFromIndex(i).size();
    for (int i = 0; i < Attributes.Count(); ++i)
        Pack(Attributes.Names(i), Attributes.ValueFromIndex(i), bytes);
}

std::string TVuvareXMLNode::Attributes(const std::string& AName) const
{
    if (FAttributeNodesMade.load(std::memory_order_acquire))
    {
        for (const auto& attribute : Extras().AttributeNodes->NodeList)
            if (attribute->NodeName() == AName)
                return attribute->Text();
        return {};
    }
    std::string result;
    ScanPacked([&](std::string_view Name, std::string_view Value) {
        if (Name != AName)
            return false;
        result.assign(Value);
        return true;
    });
    return result;
}

void TVuvareXMLNode::SetAttribute(const std::string& AName, const std::string& AValue)
{
    if (FAttributeNodesMade.load(std::memory_order_acquire))
    {
        for (const auto& attribute : Extras().AttributeNodes->NodeList)
        {
            if (attribute->NodeName() == AName)
            {
                attribute->SetText(AValue);
                return;
            }
        }
        AppendAttribute(AName, AValue);
        return;
    }
    if (!HasAttribute(AName))
    {
        AppendAttribute(AName, AValue);
        return;
    }
    // Replacing a value repacks the attributes; settings change a handful of values, never in bulk.
    auto old = std::move(FPacked);
    const size_t used = ReadU32(old.get());
    const char* base = old.get() + 8;
    size_t at = 0;
    while (at < used)
    {
        const uint32_t nameLength = ReadU32(base + at);
        const uint32_t valueLength = ReadU32(base + at + 4);
        std::string_view name(base + at + 8, nameLength);
        std::string_view value(base + at + 8 + nameLength, valueLength);
        Pack(name, name == AName ? std::string_view(AValue) : value, used + AValue.size());
        at += 8 + nameLength + valueLength;
    }
}

bool TVuvareXMLNode::HasAttribute(const std::string& AName) const
{
    if (FNodeType != ntElement)
        return false;
    if (FAttributeNodesMade.load(std::memory_order_acquire))
        return Extras().AttributeNodes->IndexOf(AName) >= 0;
    return ScanPacked([&](std::string_view Name, std::string_view) { return Name == AName; });
}

IXMLNodeListPtr TVuvareXMLNode::AttributeNodes() const
{
    if (FNodeType != ntElement)
        return nullptr;
    if (!FAttributeNodesMade.load(std::memory_order_acquire))
        MakeAttributeNodes();
    return Extras().AttributeNodes;
}

void TVuvareXMLNode::MakeChildNodes() const
{
    static std::mutex making;
    std::lock_guard lock(making);
    if (FChildNodesMade.load(std::memory_order_relaxed))
        return;
    Extras().ChildNodes = std::make_shared<TVuvareXMLNodeList>();
    FChildNodesMade.store(true, std::memory_order_release);
}

void TVuvareXMLNode::AppendChild(IXMLNodePtr Child)
{
    if (!FChildNodesMade.load(std::memory_order_acquire))
        MakeChildNodes();
    Extras().ChildNodes->NodeList.push_back(std::move(Child));
}

IXMLNodeListPtr TVuvareXMLNode::ChildNodes() const
{
    if (FNodeType != ntElement)
        return nullptr;
    if (!FChildNodesMade.load(std::memory_order_acquire))
        MakeChildNodes();
    return Extras().ChildNodes;
}

bool TVuvareXMLNode::HasChildNodes() const
{
    return FChildNodesMade.load(std::memory_order_acquire) && Extras().ChildNodes->Count() > 0;
}

IXMLNodePtr TVuvareXMLNode::ParentNode() const
{
    return FParentNode.lock();
}

std::string TVuvareXMLNode::XML() const
{
    std::string out;
    AppendIXMLNodeXML(out, *this, enUTF8, 0, "\r\n", 2);
    return out;
}

void TVuvareXMLNode::AppendStartTag(std::string& Out) const
{
    Out += '<';
    Out += FText;
    if (FAttributeNodesMade.load(std::memory_order_acquire))
    {
        for (const auto& attribute : Extras().AttributeNodes->NodeList)
            AppendAttributeXML(Out, attribute->NodeName(), attribute->Text());
        return;
    }
    ScanPacked([&](std::string_view Name, std::string_view Value) {
        AppendAttributeXML(Out, Name, Value);
        return false;
    });
}

const TVuvareXMLNodeList* TVuvareXMLNode::ChildList() const
{
    return FChildNodesMade.load(std::memory_order_acquire) ? Extras().ChildNodes.get() : nullptr;
}

IXMLNodePtr TVuvareXMLNode::AddChild(const std::string& TagName, int Index)
{
    auto child = CreateElement(TagName, shared_from_this());
    if (!FChildNodesMade.load(std::memory_order_acquire))
        MakeChildNodes();
    auto& children = *Extras().ChildNodes;
    if (Index == -1)
        children.Add(child);
    else
        children.Insert(Index, child);
    return child;
}

// ---------------------------------------------------------------------------------------------------------------
// Free functions

IXMLNodePtr CreateXMLNode(const std::string& Name)
{
    return TVuvareXMLNode::CreateElement(Name);
}

namespace
{

/// Builds the node tree of a document's first top-level element straight from the parser's events. It gives the
/// same nodes as loading a document tree and copying its root element, without building the tree in between.
class TNodeBuilder
{
public:
    TNodeBuilder()
        : Parser([this](const std::string& Name, const TAttributes& Attributes) { StartElement(Name, Attributes); },
                 [this](const std::string& Name) { EndElement(Name); },
                 [this](const std::string& Text) { AddLeaf(ntText, Text); },
                 [this](const std::string& Comment) { AddLeaf(ntComment, Comment); })
    {}

    IXMLNodePtr Result() const
    {
        if (Root)
            return Root;
        return std::make_shared<TVuvareXMLNode>();
    }

    TVuvareSAX Parser;

private:
    void StartElement(const std::string& Name, const TAttributes& Attributes)
    {
        if (!Name.empty() && Name[0] == '?')
        {
            if (!Open.empty())
                AddLeaf(ntProcessingInstr, {});
            return;
        }
        if (Open.empty())
        {
            // Only the first top-level element becomes the result; later ones are read and dropped.
            if (Root)
            {
                ++SkippedDepth;
                return;
            }
            Root = MakeElement(Name, Attributes, nullptr);
            Open.push_back(Root.get());
            return;
        }
        TVuvareXMLNode* parent = Open.back();
        auto child = MakeElement(Name, Attributes, parent);
        Open.push_back(child.get());
        parent->AppendChild(std::move(child));
    }

    void EndElement(const std::string& Name)
    {
        if (!Name.empty() && Name[0] == '?')
            return;
        if (!Open.empty())
            Open.pop_back();
        else if (SkippedDepth > 0)
            --SkippedDepth;
    }

    void AddLeaf(TNodeType Type, const std::string& Value)
    {
        if (Open.empty())
            return;
        TVuvareXMLNode* parent = Open.back();
        auto node = std::make_shared<TVuvareXMLNode>(Type, std::string_view(), Value);
        node->SetParent(parent->weak_from_this());
        parent->AppendChild(std::move(node));
    }

    static std::shared_ptr<TVuvareXMLNode> MakeElement(const std::string& Name, const TAttributes& Attributes,
                                                       TVuvareXMLNode* Parent)
    {
        auto node = std::make_shared<TVuvareXMLNode>(ntElement, Name, std::string_view());
        if (Parent)
            node->SetParent(Parent->weak_from_this());
        node->AppendAttributes(Attributes);
        return node;
    }

    std::shared_ptr<TVuvareXMLNode> Root;
    std::vector<TVuvareXMLNode*> Open;
    int SkippedDepth = 0;
};

} // namespace

IXMLNodePtr LoadXMLNodeFromString(const std::string& Data)
{
    TNodeBuilder builder;
    builder.Parser.ParseString(Data);
    return builder.Result();
}

IXMLNodePtr LoadXMLNodeFromFile(const std::filesystem::path& FileName)
{
    std::ifstream file = OpenFileForReading(FileName);
    TNodeBuilder builder;
    builder.Parser.ParseStream(file);
    if (file.bad())
        throw orb::EInOutError(EIO, "Cannot read file \"" + FileName.string() + "\".");
    return builder.Result();
}

int NextVersionNumber(const std::string& S, int& Pos)
{
    if (Pos < 1 || static_cast<size_t>(Pos) > S.size())
        return -1;
    size_t from = static_cast<size_t>(Pos) - 1;
    size_t dot = S.find('.', from);
    size_t to = dot == std::string::npos ? S.size() : dot;
    int value = orb::StrToInt(std::string_view(S).substr(from, to - from));
    Pos = static_cast<int>(to) + 2;
    return value;
}

int CompareVersions(const std::string& A, const std::string& B)
{
    int posA = 1;
    int posB = 1;
    while (true)
    {
        int a = NextVersionNumber(A, posA);
        int b = NextVersionNumber(B, posB);
        if (a < b)
            return -1;
        if (a > b)
            return 1;
        if (a == -1 && b == -1)
            return 0;
    }
}

} // namespace orb::xml
