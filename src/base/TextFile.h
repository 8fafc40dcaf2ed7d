#pragma once

#include <string>
#include <string_view>

namespace orb
{

/// Text encodings DecodeText falls back to when the bytes have no byte-order mark.
enum class TDefaultEncoding
{
    deASCII, ///< 7-bit text; other bytes become "?"
    deANSI,  ///< the 8-bit code page
    deUTF8
};

/// UTF-16 code units in the given byte order (a trailing odd byte ignored) as UTF-8 text.
std::string Utf16BytesToUtf8(std::string_view Bytes, bool BigEndian);

/// Bytes of a text file as UTF-8 text: a byte-order mark (UTF-8, UTF-16 LE or BE) selects the encoding and is
/// skipped, otherwise DefaultEncoding is used.
std::string DecodeText(std::string_view Bytes, TDefaultEncoding DefaultEncoding);

/// The whole file as UTF-8 text, decoded as DecodeText does. Raises EInOutError when the file cannot be read.
std::string LoadTextFromFile(const std::string& FileName, TDefaultEncoding DefaultEncoding);

} // namespace orb
