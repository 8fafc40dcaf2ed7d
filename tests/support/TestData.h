#pragma once

#include <string>

namespace orb::test
{

/// Text quoted for a POSIX shell command line.
std::string ShellQuote(const std::string& Text);
/// Bytes compressed as a gzip (RFC 1952) or zlib-wrapped deflate (RFC 1950) stream.
std::string Compress(const std::string& Bytes, bool Gzip);

} // namespace orb::test
