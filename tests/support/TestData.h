#pragma once

#include <string>

namespace orb::test
{

/// Text quoted for a POSIX shell command line.
std::string ShellQuote(const std::string& Text);
/// Bytes compressed as a gzip (RFC 1952) or zlib-wrapped deflate (RFC 1950) stream.
std::string Compress(const std::string& Bytes, bool Gzip);

/// Sets an environment variable and restores its value (or its absence) when it goes.
class TScopedEnv
{
public:
    TScopedEnv(const char* Name, const std::string& Value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    std::string FOld;
    bool FHadOld = false;
};

} // namespace orb::test
