// The signature file, serial, expiry and key texts of a signed update, as a hostile server or a damaged settings
// file could give them: parsed, checked against a fixed key, and the serial store driven with them.

#include "base/Exceptions.h"
#include "update/IndexTime.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

const fs::path& Scratch()
{
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("fuzz-update-signature-" + std::to_string(::getpid()));
        fs::create_directories(d);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::temp_directory_path() / ("fuzz-update-signature-" + std::to_string(::getpid())), ec);
        });
        return d;
    }();
    return dir;
}

const orb::TUpdateKeys& Keys()
{
    static const orb::TUpdateKeys keys{{"fixed", orb::GenerateUpdateKey().PublicKey}};
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const std::string text(reinterpret_cast<const char*>(Data), Size);

    // A signature file: 64 bytes or a conversion error, and never a valid signature by a key nobody holds.
    try
    {
        if (orb::ParseIndexSignature(text).size() != 64)
            std::abort();
    }
    catch (const orb::EConvertError&)
    {}
    try
    {
        orb::VerifyIndexSignature("<update serial=\"1\"/>", text, "", Keys(), "http://h/index.xml");
        std::abort();
    }
    catch (const orb::EUpdateRefused&)
    {}

    // A serial reads back as its digits without leading zeros; an expiry as its 14 digits.
    try
    {
        const int64_t serial = orb::ParseIndexSerial(text);
        const size_t first = text.find_first_not_of('0');
        if (serial < 0 || std::to_string(serial) != (first == std::string::npos ? "0" : text.substr(first)))
            std::abort();
    }
    catch (const orb::EConvertError&)
    {}
    try
    {
        if (orb::FormatIndexTime(orb::ParseIndexExpires(text)) != text)
            std::abort();
    }
    catch (const orb::EConvertError&)
    {}
    try
    {
        if (orb::ParseUpdateKey("k", text).PublicKey.size() != 32)
            std::abort();
    }
    catch (const orb::EConvertError&)
    {}

    // A whole index with serial and expiry against the store of accepted serials.
    try
    {
        auto root = orb::xml::LoadXMLNodeFromString(text);
        orb::CheckSignedIndex(*root, "http://h/index.xml", Scratch() / orb::UpdateSerialsFileName,
                              orb::TIndexTime{2026, 12, 10, 12, 0, 0});
    }
    catch (const orb::Exception&)
    {}
    return 0;
}
