#include "net/XMLDataProvider.h"

namespace orb
{

TXMLDataProvider::TXMLDataProvider()
{
    VuvareXMLDocument.IgnoreComments = true;
}

TXMLDataProvider::~TXMLDataProvider()
{
    StopWorker();
}

void TXMLDataProvider::ExecuteRequest()
{
    TOrbCommonDataProvider::ExecuteRequest();
    // A failed request must not leave the previous answer looking like this one's.
    FXMLData = nullptr;
    std::string data;
    FetchData(data);
    if (data.empty())
        return;
    VuvareXMLDocument.LoadFromBuffer(data);
    const xml::TXMLTagElement* root = VuvareXMLDocument.RootElement();
    FXMLData = root != nullptr ? xml::TVuvareXMLNode::Create(root) : nullptr;
}

void TXMLDataProvider::GetXMLData()
{
    ExecuteRequest();
}

void TXMLDataProvider::RequestXMLData()
{
    StartRequest();
}

std::string TXMLDataProvider::Encoding() const
{
    return VuvareXMLDocument.Encoding();
}

} // namespace orb
