// Untrusted stored passwords: decoding never crashes; a decodable text re-encodes and decodes to the same password.
// The same bytes as version.info content must give a version text or nothing, never a crash.
#include "base/Exceptions.h"
#include "launcher/ClientLaunch.h"
#include "launcher/PasswordScrambling.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    std::string text(reinterpret_cast<const char*>(Data), Size);
    try
    {
        std::string password = orb::ScrambleSavedPassword(text, false);
        std::string again = orb::ScrambleSavedPassword(orb::ScrambleSavedPassword(password, true), false);
        if (again != password)
        {
            std::fprintf(stderr, "round trip changed the password\n");
            std::abort();
        }
    }
    catch (const orb::EConvertError&)
    {}
    std::string version = orb::VersionInfoText(text);
    if (version.find('-') != std::string::npos || version.find_first_of("\r\n") != std::string::npos)
    {
        std::fprintf(stderr, "version text keeps a dash or a line break\n");
        std::abort();
    }
    return 0;
}
