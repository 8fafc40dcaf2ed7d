#include "base/Base64.h"

#include "base/Exceptions.h"

#include <cstdint>

namespace orb
{

namespace
{

bool IsBase64Character(char C)
{
    return (C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9') || C == '+' || C == '/';
}

} // namespace

std::string Base64Encode(std::string_view Bytes)
{
    static constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve(4 * ((Bytes.size() + 2) / 3));
    for (size_t i = 0; i < Bytes.size(); i += 3)
    {
        const size_t left = Bytes.size() - i;
        uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(Bytes[i])) << 16;
        if (left > 1)
            group |= static_cast<uint32_t>(static_cast<unsigned char>(Bytes[i + 1])) << 8;
        if (left > 2)
            group |= static_cast<unsigned char>(Bytes[i + 2]);
        out += Alphabet[(group >> 18) & 63];
        out += Alphabet[(group >> 12) & 63];
        out += left > 1 ? Alphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? Alphabet[group & 63] : '=';
    }
    return out;
}

std::string Base64Decode(std::string_view Text, const std::string& What)
{
    // Strict: no blanks, no line breaks, padding only at the end.
    if (Text.size() % 4 != 0)
        throw EConvertError(What + " is not valid Base64: wrong length");
    size_t padding = 0;
    for (size_t i = 0; i < Text.size(); ++i)
    {
        if (Text[i] == '=')
        {
            if (i + 2 < Text.size())
                throw EConvertError(What + " is not valid Base64: misplaced padding");
            ++padding;
        }
        else if (padding > 0 || !IsBase64Character(Text[i]))
            throw EConvertError(What + " is not valid Base64: bad character");
    }
    // The text is checked: every character is of the alphabet, padding only at the end.
    const auto value = [](char C) -> uint32_t {
        if (C >= 'A' && C <= 'Z')
            return static_cast<uint32_t>(C - 'A');
        if (C >= 'a' && C <= 'z')
            return static_cast<uint32_t>(C - 'a' + 26);
        if (C >= '0' && C <= '9')
            return static_cast<uint32_t>(C - '0' + 52);
        return C == '+' ? 62u : C == '/' ? 63u : 0u;
    };
    std::string out;
    out.reserve(Text.size() / 4 * 3);
    for (size_t i = 0; i < Text.size(); i += 4)
    {
        const uint32_t group =
            value(Text[i]) << 18 | value(Text[i + 1]) << 12 | value(Text[i + 2]) << 6 | value(Text[i + 3]);
        out += static_cast<char>(group >> 16 & 0xFF);
        out += static_cast<char>(group >> 8 & 0xFF);
        out += static_cast<char>(group & 0xFF);
    }
    out.resize(out.size() - padding);
    return out;
}

} // namespace orb
