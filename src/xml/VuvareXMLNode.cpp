#include "xml/VuvareXMLNode.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "xml/VuvareXMLDocument.h"
#include "xml/XML_Utils.h"

#include <algorithm>

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

std::shared_ptr<TVuvareXMLNode> TVuvareXMLNode::CreateElement(const std::string& Name,
                                                              const std::shared_ptr<TVuvareXMLNode>& Parent)
{
    auto node = std::make_shared<TVuvareXMLNode>();
    node->FNodeType = ntElement;
    node->Name = Name;
    node->IChildNodes = std::make_shared<TVuvareXMLNodeList>();
    node->IAttributeNodes = std::make_shared<TVuvareXMLNodeList>();
    node->FParentNode = Parent;
    return node;
}

std::shared_ptr<TVuvareXMLNode> TVuvareXMLNode::Copy(const TXMLTagBasic& NodeTag,
                                                     const std::shared_ptr<TVuvareXMLNode>& Parent)
{
    if (const auto* element = dynamic_cast<const TXMLTagElement*>(&NodeTag))
    {
        auto node = CreateElement(element->Name, Parent);
        const int attributeCount = element->Attributes.Count();
        node->IAttributeNodes->NodeList.reserve(static_cast<size_t>(attributeCount));
        for (int i = 0; i < attributeCount; ++i)
        {
            auto attribute = std::make_shared<TVuvareXMLNode>();
            attribute->FNodeType = ntAttribute;
            attribute->Name = element->Attributes.Names(i);
            attribute->Value = element->Attributes.ValueFromIndex(i);
            node->IAttributeNodes->NodeList.push_back(std::move(attribute));
        }
        const auto& children = element->Children.Elements;
        node->IChildNodes->NodeList.reserve(children.size());
        for (const auto& child : children)
            node->IChildNodes->NodeList.push_back(Copy(*child, node));
        return node;
    }
    auto node = std::make_shared<TVuvareXMLNode>();
    node->FParentNode = Parent;
    if (const auto* comment = dynamic_cast<const TXMLTagComment*>(&NodeTag))
    {
        node->FNodeType = ntComment;
        node->Value = comment->Comment;
    }
    else if (const auto* text = dynamic_cast<const TXMLTagText*>(&NodeTag))
    {
        node->FNodeType = ntText;
        node->Value = text->Text;
    }
    else
    {
        node->FNodeType = ntProcessingInstr;
    }
    return node;
}

IXMLNodePtr TVuvareXMLNode::Create(const TXMLTagBasic* NodeTag)
{
    if (!NodeTag)
        return std::make_shared<TVuvareXMLNode>();
    return Copy(*NodeTag, nullptr);
}

std::string TVuvareXMLNode::NodeName() const
{
    return Name;
}

TNodeType TVuvareXMLNode::NodeType() const
{
    return FNodeType;
}

std::string TVuvareXMLNode::NodeValue() const
{
    return Value;
}

void TVuvareXMLNode::SetNodeValue(const std::string& AValue)
{
    Value = AValue;
}

std::string TVuvareXMLNode::Text() const
{
    return Value;
}

void TVuvareXMLNode::SetText(const std::string& AValue)
{
    Value = AValue;
}

std::string TVuvareXMLNode::Attributes(const std::string& AName) const
{
    if (IAttributeNodes)
        for (const auto& attribute : IAttributeNodes->NodeList)
            if (attribute->NodeName() == AName)
                return attribute->Text();
    return {};
}

void TVuvareXMLNode::SetAttribute(const std::string& AName, const std::string& AValue)
{
    if (!IAttributeNodes)
        IAttributeNodes = std::make_shared<TVuvareXMLNodeList>();
    for (const auto& attribute : IAttributeNodes->NodeList)
    {
        if (attribute->NodeName() == AName)
        {
            attribute->SetText(AValue);
            return;
        }
    }
    auto attribute = std::make_shared<TVuvareXMLNode>();
    attribute->FNodeType = ntAttribute;
    attribute->Name = AName;
    attribute->Value = AValue;
    IAttributeNodes->NodeList.push_back(std::move(attribute));
}

bool TVuvareXMLNode::HasAttribute(const std::string& AName) const
{
    return IAttributeNodes && IAttributeNodes->IndexOf(AName) >= 0;
}

IXMLNodeListPtr TVuvareXMLNode::AttributeNodes() const
{
    return IAttributeNodes;
}

IXMLNodeListPtr TVuvareXMLNode::ChildNodes() const
{
    return IChildNodes;
}

bool TVuvareXMLNode::HasChildNodes() const
{
    return IChildNodes && IChildNodes->Count() > 0;
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

IXMLNodePtr TVuvareXMLNode::AddChild(const std::string& TagName, int Index)
{
    auto child = CreateElement(TagName, shared_from_this());
    if (!IChildNodes)
        IChildNodes = std::make_shared<TVuvareXMLNodeList>();
    if (Index == -1)
        IChildNodes->Add(child);
    else
        IChildNodes->Insert(Index, child);
    return child;
}

// ---------------------------------------------------------------------------------------------------------------
// Free functions

IXMLNodePtr CreateXMLNode(const std::string& Name)
{
    return TVuvareXMLNode::CreateElement(Name);
}

IXMLNodePtr LoadXMLNodeFromString(const std::string& Data)
{
    TVuvareXMLDocument document;
    document.LoadFromString(Data);
    return TVuvareXMLNode::Create(document.RootElement());
}

IXMLNodePtr LoadXMLNodeFromFile(const std::filesystem::path& FileName)
{
    TVuvareXMLDocument document;
    document.LoadFromFile(FileName);
    return TVuvareXMLNode::Create(document.RootElement());
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
