#include "base/TextFile.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace orb
{

std::string Utf16BytesToUtf8(std::string_view Bytes, bool BigEndian)
{
    std::u16string units;
    units.reserve(Bytes.size() / 2);
    for (size_t i = 0; i + 1 < Bytes.size(); i += 2)
    {
        auto first = static_cast<unsigned char>(Bytes[i]);
        auto second = static_cast<unsigned char>(Bytes[i + 1]);
        units += static_cast<char16_t>(BigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return Utf16ToUtf8(units);
}

std::string DecodeText(std::string_view Bytes, TDefaultEncoding DefaultEncoding)
{
    if (Bytes.starts_with("\xEF\xBB\xBF"))
        return std::string(Bytes.substr(3));
    if (Bytes.starts_with("\xFF\xFE"))
        return Utf16BytesToUtf8(Bytes.substr(2), false);
    if (Bytes.starts_with("\xFE\xFF"))
        return Utf16BytesToUtf8(Bytes.substr(2), true);
    switch (DefaultEncoding)
    {
    case TDefaultEncoding::deUTF8:
        return std::string(Bytes);
    case TDefaultEncoding::deANSI:
        return AnsiToUtf8(Bytes);
    case TDefaultEncoding::deASCII:
    default: {
        std::string text(Bytes);
        for (char& c : text)
            if (static_cast<unsigned char>(c) > 127)
                c = '?';
        return text;
    }
    }
}

std::string LoadTextFromFile(const std::string& FileName, TDefaultEncoding DefaultEncoding)
{
    // Names are UTF-8; the path type takes them as such on every platform.
    std::ifstream in(std::filesystem::path(std::u8string(FileName.begin(), FileName.end())), std::ios::binary);
    if (!in)
    {
        int code = errno ? errno : ENOENT;
        throw EInOutError(code, "Cannot open file \"" + FileName + "\". " + SysErrorMessage(code));
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw EInOutError(EIO, "Cannot read file \"" + FileName + "\".");
    return DecodeText(bytes, DefaultEncoding);
}

} // namespace orb
