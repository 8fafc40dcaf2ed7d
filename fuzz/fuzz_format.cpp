// Fills arbitrary templates with arbitrary arguments; the input is split at NUL bytes into the template
// and up to twelve arguments.
#include "localisation/Unit_Language.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    std::string input(reinterpret_cast<const char*>(Data), Size);
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = input.find('\0', start)) != std::string::npos && parts.size() < 12; start = at + 1)
        parts.push_back(input.substr(start, at - start));
    parts.push_back(input.substr(start));
    std::string templ = parts.front();
    std::vector<std::string> args(parts.begin() + 1, parts.end());
    std::string result = orb::FormatTemplate(templ, args);
    // Without braces in the template there is nothing to replace.
    if (templ.find_first_of("{}") == std::string::npos && result != templ)
        std::abort();
    return 0;
}
