#include "support/TestData.h"

#include <zlib.h>

#include <cstdlib>
#include <stdexcept>

namespace orb::test
{

std::string ShellQuote(const std::string& Text)
{
    std::string quoted = "'";
    for (char c : Text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string Compress(const std::string& Bytes, bool Gzip)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, Gzip ? 16 + MAX_WBITS : MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        throw std::runtime_error("deflateInit2 failed");
    std::string out(deflateBound(&z, static_cast<uLong>(Bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Bytes.data()));
    z.avail_in = static_cast<uInt>(Bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    if (rc != Z_STREAM_END)
        throw std::runtime_error("deflate failed");
    return out;
}

namespace
{

void SetVariable(const char* Name, const char* Value)
{
#ifdef _WIN32
    ::_putenv_s(Name, Value);
#else
    ::setenv(Name, Value, 1);
#endif
}

void RemoveVariable(const char* Name)
{
#ifdef _WIN32
    ::_putenv_s(Name, ""); // an empty value removes the variable on Windows
#else
    ::unsetenv(Name);
#endif
}

} // namespace

TScopedEnv::TScopedEnv(const char* Name, const std::string& Value) : FName(Name)
{
    if (const char* old = std::getenv(Name))
        FOld = old, FHadOld = true;
    SetVariable(Name, Value.c_str());
}

TScopedEnv::~TScopedEnv()
{
    if (FHadOld)
        SetVariable(FName, FOld.c_str());
    else
        RemoveVariable(FName);
}

} // namespace orb::test
