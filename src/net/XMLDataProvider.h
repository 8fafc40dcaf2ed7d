#pragma once

#include "net/OrbCommonDataProvider.h"
#include "xml/VuvareXMLDocument.h"
#include "xml/VuvareXMLNode.h"

#include <string>

namespace orb
{

/// A request object whose answers are XML documents; the launcher's shared provider is one of these.
class TXMLDataProvider : public TOrbCommonDataProvider
{
public:
    TXMLDataProvider();
    ~TXMLDataProvider() override;

    /// Fetches the answer and parses it; an empty answer leaves XMLData null. Parse errors propagate.
    void ExecuteRequest() override;
    /// Runs the request at once in the calling thread; failures propagate to the caller.
    void GetXMLData();
    /// Hands one request to the worker and returns at once (SuspendEvent tells when it is done).
    void RequestXMLData();
    /// The root element of the last answer, or null.
    xml::IXMLNodePtr XMLData() const { return FXMLData; }
    /// The bytes of the last answer exactly as received (after content decoding), from which XMLData was parsed.
    const std::string& RawData() const { return FRawData; }
    /// The encoding named by the last parsed document.
    std::string Encoding() const;

    /// Parser and tree of the answers; comments are ignored.
    xml::TVuvareXMLDocument VuvareXMLDocument;

private:
    xml::IXMLNodePtr FXMLData;
    std::string FRawData;
};

} // namespace orb
