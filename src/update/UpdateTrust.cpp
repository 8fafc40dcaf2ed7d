#include "update/UpdateTrust.h"

#include "base/Base64.h"
#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "update/UpdateErrors.h"
#include "xml/XML_Utils.h"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <tuple>

namespace fs = std::filesystem;

namespace orb
{

namespace
{

constexpr size_t PublicKeySize = 32;
constexpr size_t SignatureSize = 64;

struct TKeyFree
{
    void operator()(EVP_PKEY* Key) const { EVP_PKEY_free(Key); }
};
using TKey = std::unique_ptr<EVP_PKEY, TKeyFree>;

struct TContextFree
{
    void operator()(EVP_MD_CTX* Context) const { EVP_MD_CTX_free(Context); }
};
using TContext = std::unique_ptr<EVP_MD_CTX, TContextFree>;

struct TBioFree
{
    void operator()(BIO* Bio) const { BIO_free(Bio); }
};
using TBio = std::unique_ptr<BIO, TBioFree>;

std::string RawPublicKey(EVP_PKEY* Key)
{
    std::string out(PublicKeySize, '\0');
    size_t size = out.size();
    if (EVP_PKEY_get_raw_public_key(Key, reinterpret_cast<unsigned char*>(out.data()), &size) != 1 ||
        size != PublicKeySize)
        throw Exception("The Ed25519 public key cannot be read");
    return out;
}

bool IsHexDigit(char C)
{
    return (C >= '0' && C <= '9') || (C >= 'a' && C <= 'f') || (C >= 'A' && C <= 'F');
}

bool AllDigits(const std::string& Text)
{
    for (char c : Text)
        if (c < '0' || c > '9')
            return false;
    return !Text.empty();
}

std::string ReadableTime(const TIndexTime& T)
{
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", T.Year, T.Month, T.Day, T.Hour, T.Minute,
                  T.Second);
    return text;
}

bool Before(const TIndexTime& A, const TIndexTime& B)
{
    auto key = [](const TIndexTime& T) { return std::make_tuple(T.Year, T.Month, T.Day, T.Hour, T.Minute, T.Second); };
    return key(A) < key(B);
}

[[noreturn]] void RaiseBadAttribute(const std::string& What, const std::string& Value)
{
    throw EUpdateRefused(UpdateMessage(
        "UpdateIndexBadAttribute",
        "The update index has a bad {0}: \"{1}\". Nothing was installed. Please contact your broker.", {What, Value}));
}

void RequireHashesBelow(const xml::IXMLNode& Node, const std::string& Prefix)
{
    for (const auto& child : xml::ChildElements(Node))
    {
        const std::string path = Prefix + child->Attributes("name");
        if (child->NodeName() == "directory")
            RequireHashesBelow(*child, path + "\\");
        else if (child->NodeName() == "file" && ReadIndexSha256(*child, path).empty())
            RaiseBadAttribute("sha256 of \"" + path + "\"", "");
    }
}

xml::IXMLNodePtr LoadSerials(const fs::path& SerialsFile)
{
    std::error_code ec;
    if (fs::exists(SerialsFile, ec))
    {
        // A damaged file (a crash cannot leave one, it is replaced atomically; a disk fault can) must not stop every
        // update for good: it is started afresh and rewritten with the index now accepted.
        try
        {
            auto root = xml::LoadXMLNodeFromFile(SerialsFile);
            if (root && root->NodeType() == xml::ntElement)
                return root;
        }
        catch (const Exception&)
        {}
    }
    return xml::LoadXMLNodeFromString("<update_serials/>");
}

xml::IXMLNodePtr SerialEntry(const xml::IXMLNodePtr& Serials, const std::string& IndexAddress)
{
    auto list = Serials->ChildNodes();
    for (int i = 0, n = list ? list->Count() : 0; i < n; ++i)
    {
        auto child = list->Get(i);
        if (child->NodeType() == xml::ntElement && child->Attributes("address") == IndexAddress)
            return child;
    }
    return nullptr;
}

} // namespace

TSha256::TSha256() : FContext(EVP_MD_CTX_new())
{
    if (!FContext || EVP_DigestInit_ex(FContext, EVP_sha256(), nullptr) != 1)
    {
        EVP_MD_CTX_free(FContext);
        throw Exception("SHA-256 is not available");
    }
}

TSha256::~TSha256()
{
    EVP_MD_CTX_free(FContext);
}

void TSha256::Update(const void* Data, size_t Size)
{
    if (Size > 0 && EVP_DigestUpdate(FContext, Data, Size) != 1)
        throw Exception("SHA-256 failed");
}

std::string TSha256::HexDigest()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(FContext, digest, &length) != 1 || EVP_DigestInit_ex(FContext, EVP_sha256(), nullptr) != 1)
        throw Exception("SHA-256 failed");
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i)
    {
        out += hex[digest[i] >> 4];
        out += hex[digest[i] & 15];
    }
    return out;
}

std::string Sha256Hex(std::string_view Bytes)
{
    TSha256 hash;
    hash.Update(Bytes.data(), Bytes.size());
    return hash.HexDigest();
}

std::string FileSha256(const fs::path& FileName)
{
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        RaiseOSError(std::error_code(errno ? errno : ENOENT, std::generic_category()), FileName);
    TSha256 hash;
    std::vector<char> buffer(256 * 1024);
    while (in)
    {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<size_t>(in.gcount()));
    }
    if (in.bad())
        RaiseOSError(std::error_code(EIO, std::generic_category()), FileName);
    return hash.HexDigest();
}

std::string ReadIndexSha256(const xml::IXMLNode& File, const std::string& Path)
{
    std::string text = File.Attributes("sha256");
    if (text.empty())
        return text;
    bool good = text.size() == 64;
    for (char& c : text)
    {
        good = good && IsHexDigit(c);
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    }
    if (!good)
        RaiseBadAttribute("sha256 of \"" + Path + "\"", File.Attributes("sha256"));
    return text;
}

TUpdateKey ParseUpdateKey(const std::string& Name, const std::string& Base64Text)
{
    const std::string what = "The update key \"" + Name + "\"";
    std::string raw = Base64Decode(Base64Text, what);
    if (raw.size() != PublicKeySize)
        throw EConvertError(what + " is not an Ed25519 public key: it has " + std::to_string(raw.size()) +
                            " bytes instead of 32.");
    return {Name, raw};
}

TUpdateKeyPair GenerateUpdateKey()
{
    TKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    if (!key)
        throw Exception("No Ed25519 key could be generated");
    TBio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw Exception("The Ed25519 key could not be written");
    char* data = nullptr;
    long size = BIO_get_mem_data(bio.get(), &data);
    return {std::string(data, static_cast<size_t>(size)), RawPublicKey(key.get())};
}

std::string SignBytes(std::string_view Bytes, const std::string& PrivateKeyPem, std::string* PublicKey)
{
    TBio bio(BIO_new_mem_buf(PrivateKeyPem.data(), static_cast<int>(PrivateKeyPem.size())));
    TKey key(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        throw Exception("The signing key is not an Ed25519 private key in PEM form");
    TContext context(EVP_MD_CTX_new());
    std::string signature(SignatureSize, '\0');
    size_t size = signature.size();
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size()) != 1 ||
        size != SignatureSize)
        throw Exception("Signing failed");
    if (PublicKey)
        *PublicKey = RawPublicKey(key.get());
    return signature;
}

bool VerifySignature(std::string_view Bytes, std::string_view Signature, std::string_view PublicKey)
{
    if (Signature.size() != SignatureSize || PublicKey.size() != PublicKeySize)
        return false;
    TKey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                         reinterpret_cast<const unsigned char*>(PublicKey.data()), PublicKey.size()));
    TContext context(EVP_MD_CTX_new());
    if (!key || !context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(Signature.data()), Signature.size(),
                            reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size()) == 1;
}

std::string ParseIndexSignature(std::string_view FileText)
{
    std::string_view text = FileText;
    if (text.size() >= 2 && text.substr(text.size() - 2) == "\r\n")
        text.remove_suffix(2);
    else if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    if (text.empty())
        throw EConvertError("the file is empty");
    if (text.find_first_of("\r\n") != std::string_view::npos)
        throw EConvertError("it has more than one line");
    // A valid signature is 88 characters; anything much longer is not worth decoding.
    if (text.size() > 4 * SignatureSize)
        throw EConvertError("it has " + std::to_string(FileText.size()) + " characters");
    std::string raw = Base64Decode(text, "it");
    if (raw.size() != SignatureSize)
        throw EConvertError("it holds " + std::to_string(raw.size()) + " bytes instead of 64");
    return raw;
}

void VerifyIndexSignature(std::string_view IndexBytes, const std::optional<std::string>& SignatureFile,
                          const std::string& FetchError, const TUpdateKeys& Keys, const std::string& IndexAddress)
{
    const std::string signatureAddress = IndexAddress + ".sig";
    if (!SignatureFile)
    {
        EUpdateRefused refused(UpdateMessage("UpdateIndexUnsigned",
                                             "The update index {0} is not signed: its signature {1} could not be "
                                             "fetched ({2}). This installation accepts only signed updates, so "
                                             "nothing was installed. Please contact your broker.",
                                             {IndexAddress, signatureAddress, FetchError}));
        throw refused;
    }
    std::string signature;
    try
    {
        signature = ParseIndexSignature(*SignatureFile);
    }
    catch (const EConvertError& e)
    {
        throw EUpdateRefused(UpdateMessage(
            "UpdateSignatureMalformed",
            "The signature {0} of the update index is malformed: {1}. Nothing was installed. Please contact your "
            "broker.",
            {signatureAddress, e.Message}));
    }
    for (const auto& key : Keys)
        if (VerifySignature(IndexBytes, signature, key.PublicKey))
            return;
    throw EUpdateRefused(UpdateMessage("UpdateSignatureInvalid",
                                       "The update index {0} is not signed by a key this installation trusts, or it "
                                       "was changed after it was signed. Nothing was installed. Please contact your "
                                       "broker.",
                                       {IndexAddress}));
}

int64_t ParseIndexSerial(const std::string& Text)
{
    if (!AllDigits(Text) || Text.size() > 18)
        throw EConvertError("Wrong serial: \"" + Text + "\"");
    return std::stoll(Text);
}

TIndexTime ParseIndexExpires(const std::string& Text)
{
    if (Text.size() != 14 || !AllDigits(Text))
        throw EConvertError("Wrong date: \"" + Text + "\"");
    return ParseIndexTime(Text);
}

TIndexTime UtcNow(int64_t OffsetSeconds)
{
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now()) + seconds(OffsetSeconds);
    const auto day = floor<days>(now);
    const year_month_day date(day);
    const hh_mm_ss time(now - day);
    return {static_cast<int>(date.year()),
            static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
}

std::optional<int64_t> AcceptedSerial(const fs::path& SerialsFile, const std::string& IndexAddress)
{
    auto entry = SerialEntry(LoadSerials(SerialsFile), IndexAddress);
    int64_t serial = 0;
    if (!entry)
        return std::nullopt;
    try
    {
        serial = ParseIndexSerial(entry->Attributes("serial"));
    }
    catch (const EConvertError&)
    {
        return std::nullopt;
    }
    return serial;
}

void CheckSignedIndex(const xml::IXMLNode& Index, const std::string& IndexAddress, const fs::path& SerialsFile,
                      const TIndexTime& NowUtc)
{
    const std::string serialText = Index.Attributes("serial");
    int64_t serial = 0;
    try
    {
        serial = ParseIndexSerial(serialText);
    }
    catch (const EConvertError&)
    {
        RaiseBadAttribute("serial", serialText);
    }
    if (Index.HasAttribute("expires"))
    {
        const std::string expiresText = Index.Attributes("expires");
        TIndexTime expires;
        try
        {
            expires = ParseIndexExpires(expiresText);
        }
        catch (const EConvertError&)
        {
            RaiseBadAttribute("expires", expiresText);
        }
        if (Before(expires, NowUtc))
            throw EUpdateRefused(UpdateMessage("UpdateIndexExpired",
                                               "The update index {0} expired on {1} UTC. The outdated update was "
                                               "refused and nothing was installed. Please contact your broker.",
                                               {IndexAddress, ReadableTime(expires)}));
    }
    RequireHashesBelow(Index, "");

    xml::IXMLNodePtr serials = LoadSerials(SerialsFile);
    xml::IXMLNodePtr entry = SerialEntry(serials, IndexAddress);
    int64_t accepted = -1;
    if (entry && AllDigits(entry->Attributes("serial")) && entry->Attributes("serial").size() <= 18)
        accepted = std::stoll(entry->Attributes("serial"));
    if (serial < accepted)
        throw EUpdateRefused(UpdateMessage("UpdateIndexRolledBack",
                                           "The update index {0} is older (serial {1}) than one this launcher has "
                                           "already accepted from there (serial {2}). The older update was refused "
                                           "and nothing was installed. Please contact your broker.",
                                           {IndexAddress, std::to_string(serial), std::to_string(accepted)}));
    if (serial == accepted)
        return;
    if (!entry)
    {
        entry = serials->AddChild("index");
        entry->SetAttribute("address", IndexAddress);
    }
    entry->SetAttribute("serial", std::to_string(serial));
    xml::SaveIXMLNodeToFile(SerialsFile, serials, xml::enUTF8);
}

void VerifyUpdateIndex(std::string_view IndexBytes, const xml::IXMLNode& Index, const std::string& IndexAddress,
                       const TUpdateKeys& Keys, const TFetchText& Fetch, const fs::path& SerialsFile)
{
    if (Keys.empty())
        return;
    std::optional<std::string> signature;
    std::string fetchError;
    try
    {
        signature = Fetch(IndexAddress + ".sig");
    }
    catch (const ESmartException& e)
    {
        // The progress window reports every failed request as a connection error; the cause says more here.
        fetchError = e.Message;
        if (e.ParentException)
        {
            try
            {
                std::rethrow_exception(e.ParentException);
            }
            catch (const std::exception& cause)
            {
                fetchError = cause.what();
            }
            catch (...)
            {}
        }
    }
    catch (const std::exception& e)
    {
        fetchError = e.what();
    }
    VerifyIndexSignature(IndexBytes, signature, fetchError, Keys, IndexAddress);
    CheckSignedIndex(Index, IndexAddress, SerialsFile, UtcNow());
}

} // namespace orb
