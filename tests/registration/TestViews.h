#pragma once

#include "xml/VuvareXMLNode.h"

#include <map>
#include <string>

namespace orb::test
{

/// An element with the given attributes, standing for an entry of the settings files.
inline xml::IXMLNodePtr Element(const std::map<std::string, std::string>& Attributes)
{
    auto node = xml::CreateXMLNode("entry");
    for (const auto& [name, value] : Attributes)
        node->SetAttribute(name, value);
    return node;
}

} // namespace orb::test
