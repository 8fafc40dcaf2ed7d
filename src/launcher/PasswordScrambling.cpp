#include "launcher/PasswordScrambling.h"

#include "base/Base64.h"
#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cstdint>
#include <utility>

namespace orb
{

namespace
{

// The fixed pass phrase of the saved-password scrambling; stored texts of every installation depend on it.
constexpr const char* PassPhrase = "5.8137";
constexpr size_t SaltSize = 4;
constexpr size_t PlainBlockChars = 32;
constexpr size_t RC4KeySize = 16;

std::string RandomBytes(size_t Count)
{
    std::string out(Count, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(Count)) != 1)
        throw EOSError(0, "The random generator failed");
    return out;
}

std::string Sha1(const std::string& Data)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(Data.data(), Data.size(), digest, &length, EVP_sha1(), nullptr) != 1)
        throw EOSError(0, "SHA-1 failed");
    return std::string(reinterpret_cast<char*>(digest), length);
}

std::string SaltedCrypt(const std::string& Data, const std::string& Salt)
{
    if (Data.empty())
        return {};
    // The key derivation of the platform's default RSA provider takes the first 128 bits of the hash.
    std::string key = Sha1(Salt + PassPhrase).substr(0, RC4KeySize);
    return RC4(key, Data);
}

} // namespace

std::string RC4(const std::string& Key, const std::string& Data)
{
    std::array<uint8_t, 256> s{};
    for (int i = 0; i < 256; ++i)
        s[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    uint8_t j = 0;
    for (size_t i = 0; i < 256; ++i)
    {
        j = static_cast<uint8_t>(j + s[i] + static_cast<uint8_t>(Key[i % Key.size()]));
        std::swap(s[i], s[j]);
    }
    std::string out(Data);
    uint8_t a = 0, b = 0;
    for (char& c : out)
    {
        a = static_cast<uint8_t>(a + 1);
        b = static_cast<uint8_t>(b + s[a]);
        std::swap(s[a], s[b]);
        c = static_cast<char>(static_cast<uint8_t>(c) ^ s[static_cast<uint8_t>(s[a] + s[b])]);
    }
    return out;
}

std::string ScrambleSavedPassword(const std::string& Text, bool Encode)
{
    if (Encode)
    {
        std::u16string password = Utf8ToUtf16(Text);
        // The length travels as one UTF-16 unit; lengths in the surrogate range or beyond 16 bits could
        // not be written as UTF-8 or would come back wrong.
        if (password.size() >= 0xD800)
            throw EConvertError("The password is too long to be saved");
        std::u16string block(1, static_cast<char16_t>(password.size()));
        block += password;
        if (block.size() < PlainBlockChars)
        {
            // Filler content is free: random letters, so the block carries no fixed known bytes.
            std::string filler = RandomBytes(PlainBlockChars - block.size());
            for (char c : filler)
                block += static_cast<char16_t>(u'a' + static_cast<uint8_t>(c) % 26);
        }
        std::string salt = RandomBytes(SaltSize);
        return Base64Encode(salt + SaltedCrypt(Utf16ToUtf8(block), salt));
    }

    if (Text.empty())
        return {};
    std::string bytes = Base64Decode(Text, "The saved password");
    if (bytes.size() <= SaltSize)
        throw EConvertError("The saved password cannot be decoded: it is too short");
    std::string salt = bytes.substr(0, SaltSize);
    std::u16string block = Utf8ToUtf16(SaltedCrypt(bytes.substr(SaltSize), salt));
    if (block.empty())
        throw EConvertError("The saved password cannot be decoded");
    size_t length = block[0];
    return Utf16ToUtf8(block.substr(1, length));
}

} // namespace orb
