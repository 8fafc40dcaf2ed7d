#include "base/Base64.h"

#include "base/Exceptions.h"

#include <openssl/evp.h>

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
    std::string out(4 * ((Bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(Bytes.data()), static_cast<int>(Bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string Base64Decode(std::string_view Text, const std::string& What)
{
    // OpenSSL's block decoder skips blanks and counts padding as data; check the text strictly first.
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
    std::string out(Text.size() / 4 * 3, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(Text.data()), static_cast<int>(Text.size()));
    if (n < 0)
        throw EConvertError(What + " is not valid Base64");
    out.resize(static_cast<size_t>(n) - padding);
    return out;
}

} // namespace orb
