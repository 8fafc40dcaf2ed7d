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
    FRawData.clear();
    FetchData(FRawData);
    if (FRawData.empty())
        return;
    VuvareXMLDocument.LoadFromBuffer(FRawData);
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
