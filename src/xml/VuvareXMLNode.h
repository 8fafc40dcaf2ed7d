#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orb::xml
{

/// Node types, numbered as the platform's node-type enumeration.
enum TNodeType
{
    ntReserved = 0,
    ntElement = 1,
    ntAttribute = 2,
    ntText = 3,
    ntProcessingInstr = 7,
    ntComment = 8,
};

class IXMLNode;
class IXMLNodeList;
/// Nodes and lists are reference counted; a node lives as long as anything refers to it.
using IXMLNodePtr = std::shared_ptr<IXMLNode>;
using IXMLNodeListPtr = std::shared_ptr<IXMLNodeList>;

/// An XML node: element, attribute, text, comment, processing instruction or an empty node.
class IXMLNode
{
public:
    virtual ~IXMLNode() = default;

    /// The element or attribute name; empty for other kinds.
    virtual std::string NodeName() const = 0;
    /// The kind of node.
    virtual TNodeType NodeType() const = 0;
    /// The attribute value, the text of a text node or comment; empty for elements unless set.
    virtual std::string NodeValue() const = 0;
    /// Replaces the value.
    virtual void SetNodeValue(const std::string& Value) = 0;
    /// Same as NodeValue; an element's text lives in its first text child, not here.
    virtual std::string Text() const = 0;
    /// Same as SetNodeValue.
    virtual void SetText(const std::string& Value) = 0;
    /// The value of the attribute with exactly this name (case-sensitive); empty when missing.
    virtual std::string Attributes(const std::string& Name) const = 0;
    /// Replaces the attribute's value, or appends a new attribute at the end of the list.
    virtual void SetAttribute(const std::string& Name, const std::string& Value) = 0;
    /// True when an attribute of exactly this name exists.
    virtual bool HasAttribute(const std::string& Name) const = 0;
    /// The attribute list itself (shared); null for non-element nodes.
    virtual IXMLNodeListPtr AttributeNodes() const = 0;
    /// The child list itself (shared); null for non-element nodes.
    virtual IXMLNodeListPtr ChildNodes() const = 0;
    /// True when the node has at least one child.
    virtual bool HasChildNodes() const = 0;
    /// The parent element; null when there is none or it has been released (the back reference does not own it).
    virtual IXMLNodePtr ParentNode() const = 0;
    /// The node and its descendants as indented XML (CR LF, two spaces per level).
    virtual std::string XML() const = 0;
    /// Makes a new element child; appended when Index is -1, otherwise inserted at Index.
    virtual IXMLNodePtr AddChild(const std::string& TagName, int Index = -1) = 0;
};

/// An ordered list of node references.
class IXMLNodeList
{
public:
    virtual ~IXMLNodeList() = default;

    /// Number of nodes.
    virtual int Count() const = 0;
    /// The node at Index (0-based); raises EListError when out of range.
    virtual IXMLNodePtr Get(int Index) const = 0;
    /// Get(0).
    virtual IXMLNodePtr First() const = 0;
    /// Get(Count - 1).
    virtual IXMLNodePtr Last() const = 0;
    /// Appends; returns the new index.
    virtual int Add(const IXMLNodePtr& Node) = 0;
    /// Inserts before Index.
    virtual void Insert(int Index, const IXMLNodePtr& Node) = 0;
    /// Removes every node.
    virtual void Clear() = 0;
    /// Removes the node at Index; returns Index.
    virtual int Delete(int Index) = 0;
    /// Removes the first node of that name; returns its former index or -1.
    virtual int Delete(const std::string& Name) = 0;
    /// Removes that very node; returns its former index or -1.
    virtual int Remove(const IXMLNodePtr& Node) = 0;
    /// Index of that very node, or -1.
    virtual int IndexOf(const IXMLNodePtr& Node) const = 0;
    /// Index of the first node whose name equals Name exactly, or -1.
    virtual int IndexOf(const std::string& Name) const = 0;
    /// The first node of that name, or null.
    virtual IXMLNodePtr FindNode(const std::string& NodeName) const = 0;
    /// Exchanges the positions of two member nodes; returns OldNode.
    virtual IXMLNodePtr ReplaceNode(const IXMLNodePtr& OldNode, const IXMLNodePtr& NewNode) = 0;
};

/// A new element node with empty attribute and child lists and no parent.
IXMLNodePtr CreateXMLNode(const std::string& Name);
/// Parses a UTF-8 text and returns the node of its root element (an ntReserved node when there is none).
IXMLNodePtr LoadXMLNodeFromString(const std::string& Data);
/// Parses a file and returns the node of its root element (an ntReserved node when there is none).
IXMLNodePtr LoadXMLNodeFromFile(const std::filesystem::path& FileName);

/// The next dotted number of S from the 1-based position Pos, which is advanced past the dot;
/// -1 when Pos lies beyond the end. Raises EConvertError for a piece that is not a number.
int NextVersionNumber(const std::string& S, int& Pos);
/// -1, 0 or 1 as A is lower than, equal to or higher than B ("1.2" < "1.2.0", "1.9" < "1.10").
int CompareVersions(const std::string& A, const std::string& B);

class TXMLTagBasic;
class TAttributes;

/// The node list: an ordered list of counted node references.
class TVuvareXMLNodeList : public IXMLNodeList
{
public:
    int Count() const override;
    IXMLNodePtr Get(int Index) const override;
    IXMLNodePtr First() const override;
    IXMLNodePtr Last() const override;
    int Add(const IXMLNodePtr& Node) override;
    void Insert(int Index, const IXMLNodePtr& Node) override;
    void Clear() override;
    int Delete(int Index) override;
    int Delete(const std::string& Name) override;
    int Remove(const IXMLNodePtr& Node) override;
    int IndexOf(const IXMLNodePtr& Node) const override;
    int IndexOf(const std::string& Name) const override;
    IXMLNodePtr FindNode(const std::string& NodeName) const override;
    IXMLNodePtr ReplaceNode(const IXMLNodePtr& OldNode, const IXMLNodePtr& NewNode) override;

    /// The nodes.
    std::vector<IXMLNodePtr> NodeList;
};

/// The node: a private, mutable copy of an item of a document tree, or a node made anew.
class TVuvareXMLNode : public IXMLNode, public std::enable_shared_from_this<TVuvareXMLNode>
{
public:
    /// An empty node (ntReserved).
    TVuvareXMLNode() = default;
    /// A node of the given type; the name counts for elements and attributes, the value for every kind.
    TVuvareXMLNode(TNodeType Type, std::string_view AName, std::string_view AValue);
    ~TVuvareXMLNode() override;
    TVuvareXMLNode(const TVuvareXMLNode&) = delete;
    TVuvareXMLNode& operator=(const TVuvareXMLNode&) = delete;

    /// A node copied from a tree item and everything below it; an ntReserved node for a null item.
    static IXMLNodePtr Create(const TXMLTagBasic* NodeTag);
    /// A new element node with empty lists and the given parent (none when null).
    static std::shared_ptr<TVuvareXMLNode> CreateElement(const std::string& Name,
                                                         const std::shared_ptr<TVuvareXMLNode>& Parent = nullptr);

    std::string NodeName() const override;
    TNodeType NodeType() const override;
    std::string NodeValue() const override;
    void SetNodeValue(const std::string& Value) override;
    std::string Text() const override;
    void SetText(const std::string& Value) override;
    std::string Attributes(const std::string& Name) const override;
    void SetAttribute(const std::string& Name, const std::string& Value) override;
    bool HasAttribute(const std::string& Name) const override;
    IXMLNodeListPtr AttributeNodes() const override;
    IXMLNodeListPtr ChildNodes() const override;
    bool HasChildNodes() const override;
    IXMLNodePtr ParentNode() const override;
    std::string XML() const override;
    IXMLNodePtr AddChild(const std::string& TagName, int Index = -1) override;

    /// Calls Visit with each attribute's name and value, in order.
    void ForEachAttribute(const std::function<void(std::string_view, std::string_view)>& Visit) const;
    /// Appends an attribute without looking for an existing one.
    void AppendAttribute(std::string_view AName, std::string_view AValue);
    /// Appends every attribute of a parsed tag, in order.
    void AppendAttributes(const TAttributes& Attributes);
    /// Appends a child node (its parent reference is left to the caller).
    void AppendChild(IXMLNodePtr Child);
    /// Appends "<", the name and the attributes (each as " name="escaped value"") of an element to Out.
    void AppendStartTag(std::string& Out) const;
    /// The children, or null when none were ever made; for writers that walk the tree without counted references.
    const TVuvareXMLNodeList* ChildList() const;
    /// The name of an element or attribute, the text of the other kinds, without a copy.
    std::string_view OwnText() const { return FText; }
    /// Sets the parent back reference.
    void SetParent(std::weak_ptr<TVuvareXMLNode> Parent) { FParentNode = std::move(Parent); }

private:
    /// What most nodes of a large document never need, made on first use.
    struct TExtras
    {
        std::string Value;
        std::shared_ptr<TVuvareXMLNodeList> ChildNodes;
        std::shared_ptr<TVuvareXMLNodeList> AttributeNodes;
    };

    static std::shared_ptr<TVuvareXMLNode> Copy(const TXMLTagBasic& NodeTag,
                                                const std::shared_ptr<TVuvareXMLNode>& Parent);
    bool IsNamed() const { return FNodeType == ntElement || FNodeType == ntAttribute; }
    TExtras& Extras() const;
    void MakeChildNodes() const;
    void MakeAttributeNodes() const;
    template <typename VisitFn> bool ScanPacked(VisitFn&& Visit) const;
    void Pack(std::string_view AName, std::string_view AValue, size_t Reserve = 0);

    // The node is kept small (it fits the allocator's fast bins) because an update index has hundreds of
    // thousands of them: elements and attributes keep their name here and their value in the extras, the other
    // kinds keep their value here.
    std::string FText;
    /// The parent element; a back reference that does not keep it alive.
    std::weak_ptr<TVuvareXMLNode> FParentNode;
    // Attributes stay packed (32-bit used and capacity sizes, then per attribute 32-bit name and value lengths,
    // name, value) until someone asks for them as nodes; most are only ever read by name.
    std::unique_ptr<char[]> FPacked;
    mutable std::atomic<TExtras*> FExtras{nullptr};
    TNodeType FNodeType = ntReserved;
    mutable std::atomic<bool> FChildNodesMade{false};
    mutable std::atomic<bool> FAttributeNodesMade{false};
};

} // namespace orb::xml
