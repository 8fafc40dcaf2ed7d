#pragma once

#include "base/AtomicFile.h"
#include "xml/VuvareSAX.h"
#include "xml/VuvareXMLNode.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orb::xml
{

/// How SaveTextToFile turns text into bytes.
enum TTextEncoding
{
    /// UTF-8 without a byte-order mark.
    teUTF8,
    /// 7-bit ASCII; every other character becomes a question mark.
    teASCII,
    /// The 8-bit code page (Windows-1252); characters it lacks become question marks.
    teANSI,
};

/// The child elements of Node in document order (text, comments and the like left out).
std::vector<IXMLNodePtr> ChildElements(const IXMLNode& Node);

/// Text with "&", "<", ">", double quote, apostrophe and codes below 32 replaced by references.
std::string XMLEscape(std::string_view Text);

/// Appends Text escaped as XMLEscape does.
void AppendXMLEscaped(std::string& Out, std::string_view Text);

/// Appends a comment as the node writer writes it.
void AppendCommentXML(std::string& Out, std::string_view Text);
/// Appends " name="escaped value"".
void AppendAttributeXML(std::string& Out, std::string_view Name, std::string_view Value);

/// The XML text of Node and its descendants; raises "IXMLNodeToXML: Unsupported NodeType" for a node that is not
/// an element, text or comment.
std::string IXMLNodeToXML(const IXMLNodePtr& Node, TEncoding Encoding, int Level, std::string_view LineBreak,
                          int IndentSize);
/// The same with CR LF line breaks and two spaces per level.
std::string IXMLNodeToXML(const IXMLNodePtr& Node, TEncoding Encoding, int Level);
/// The XML text of Node and its descendants appended to Out.
void AppendIXMLNodeXML(std::string& Out, const IXMLNode& Node, TEncoding Encoding, int Level,
                       std::string_view LineBreak, int IndentSize);
/// The declaration line followed by the node's XML.
std::string IXMLNodeToXMLDocument(const IXMLNodePtr& Node, TEncoding Encoding);
/// Writes the node as a whole document: UTF-8 for enUTF8, otherwise 7-bit ASCII. The file is replaced only once
/// the new text is completely on disk; raises EInOutError otherwise.
void SaveIXMLNodeToFile(const std::filesystem::path& FileName, const IXMLNodePtr& Node, TEncoding Encoding = enUTF8,
                        orb::TFileAccess Access = orb::TFileAccess::faDefault);
/// Writes the text in the given encoding without byte-order mark; the file is replaced only once the new bytes are
/// completely on disk, and on any failure the old file stays as it was and EInOutError is raised.
void SaveTextToFile(const std::filesystem::path& FileName, std::string_view Text, TTextEncoding TextEncoding,
                    orb::TFileAccess Access = orb::TFileAccess::faDefault);

} // namespace orb::xml
