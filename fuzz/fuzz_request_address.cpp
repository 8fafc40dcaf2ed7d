// Untrusted address texts: SetURL either raises EConvertError or gives parts that URL_String writes back and that
// parse again to the same parts.
#include "base/Exceptions.h"
#include "net/HTTPDataProvider.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    std::string text(reinterpret_cast<const char*>(Data), Size);
    orb::TURL url;
    try
    {
        url.SetURL(text);
    }
    catch (const orb::EConvertError&)
    {
        return 0;
    }
    url.Parameters.SetText(text);
    (void)url.URL_String();
    url.MoveParametersToBody();
    (void)url.RequestString();
    if (url.Protocol == "file")
        return 0;
    url.Parameters.Clear();
    orb::TURL again;
    try
    {
        again.SetURL(url.URL_String());
    }
    catch (const orb::EConvertError&)
    {
        std::fprintf(stderr, "written address does not parse again: %s\n", url.URL_String().c_str());
        std::abort();
    }
    if (again.Host != url.Host || again.Port != url.Port || again.Path != url.Path || again.Document != url.Document)
    {
        std::fprintf(stderr, "parts changed: %s\n", url.URL_String().c_str());
        std::abort();
    }
    return 0;
}
