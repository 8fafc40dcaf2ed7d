#pragma once

// Typed readers of node attributes. They belong to the launcher core but live here, below the update
// engine, which reads its index with them.
#include "base/Exceptions.h"
#include "platform/FileTimes.h"
#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <string>

namespace orb
{

/// A required value that is empty.
ORB_DECLARE_EXCEPTION(EVariantIsEmptyError, Exception)
/// A required value that is absent.
ORB_DECLARE_EXCEPTION(EVariantIsAbsentError, Exception)
/// A value that does not convert to the wanted type.
ORB_DECLARE_EXCEPTION(EVariantTypeCastError, Exception)

/// The attribute's text; empty when the node has no such attribute.
std::string ReadStrAttribute(const xml::IXMLNode& Node, const std::string& Name);
/// The attribute as a decimal 32-bit integer; raises EVariantIsEmptyError when it is empty or absent and
/// EVariantTypeCastError when it is no such integer.
int32_t ReadIntAttribute(const xml::IXMLNode& Node, const std::string& Name);
/// The attribute read with ParseCompactDateTime.
TDateTime ReadDateTimeAttribute(const xml::IXMLNode& Node, const std::string& Name);
/// A compact time stamp yyyymmddhhnnss (characters after the 14th ignored) as a local date-time with
/// 0 milliseconds; raises Exception "Wrong date: \"Text\"" for a missing or non-numeric part or a date or
/// time that does not exist.
TDateTime ParseCompactDateTime(const std::string& Text);
/// The same readers for a node reference.
inline std::string ReadStrAttribute(const xml::IXMLNodePtr& Node, const std::string& Name)
{
    return ReadStrAttribute(*Node, Name);
}
/// See ReadIntAttribute above.
inline int32_t ReadIntAttribute(const xml::IXMLNodePtr& Node, const std::string& Name)
{
    return ReadIntAttribute(*Node, Name);
}
/// See ReadDateTimeAttribute above.
inline TDateTime ReadDateTimeAttribute(const xml::IXMLNodePtr& Node, const std::string& Name)
{
    return ReadDateTimeAttribute(*Node, Name);
}
/// Text with every From replaced by To.
std::string ReplaceChar(const std::string& Text, char From, char To);
/// Text with every backslash turned into a slash: a relative file path as the path part of an address.
std::string BackslashToSlash(const std::string& Text);

} // namespace orb
