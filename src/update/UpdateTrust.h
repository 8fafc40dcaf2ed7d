#pragma once

#include "base/Exceptions.h"
#include "update/IndexTime.h"
#include "xml/VuvareXMLNode.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct evp_md_ctx_st;

namespace orb
{

/// An update the launcher refuses to install because it cannot trust it: an unsigned or wrongly signed index, an
/// older or expired one, a file whose content is not the published one.
ORB_DECLARE_EXCEPTION(EUpdateRefused, Exception)

/// The name of the signature file published beside an index.
inline constexpr const char* IndexSignatureFileName = "index.xml.sig";
/// The file of the application directory that remembers the highest serial accepted per update address.
inline constexpr const char* UpdateSerialsFileName = "update_serials.xml";

/// The attribute the launcher adds to a gunzipped file's entry of a saved index: the SHA-256 of the stored content.
inline constexpr const char* StoredSha256Attribute = "local_sha256";

/// SHA-256 computed piece by piece through OpenSSL's EVP interface.
class TSha256
{
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    /// Adds the next bytes.
    void Update(const void* Data, size_t Size);
    /// The digest of everything added, as 64 lower-case hexadecimal digits; the hash starts anew afterwards.
    std::string HexDigest();

private:
    evp_md_ctx_st* FContext;
};

/// SHA-256 of Bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(std::string_view Bytes);
/// SHA-256 of a file's content as 64 lower-case hexadecimal digits; raises EOSError naming the file.
std::string FileSha256(const std::filesystem::path& FileName);

/// The `sha256` of a file entry in lower case, or empty when the entry has none (absent or empty). Raises
/// EUpdateRefused naming Path when it is not 64 hexadecimal digits.
std::string ReadIndexSha256(const xml::IXMLNode& File, const std::string& Path);

/// One public key the launcher accepts update indexes from.
struct TUpdateKey
{
    /// The key's label in the settings (shown in messages about the key only).
    std::string Name;
    /// The 32 bytes of the Ed25519 public key.
    std::string PublicKey;
};
using TUpdateKeys = std::vector<TUpdateKey>;

/// An Ed25519 public key from its Base64 text (32 bytes); raises EConvertError naming Name.
TUpdateKey ParseUpdateKey(const std::string& Name, const std::string& Base64Text);

/// A new Ed25519 key pair for signing update indexes.
struct TUpdateKeyPair
{
    /// The private key as PEM (PKCS #8).
    std::string PrivateKeyPem;
    /// The 32 bytes of the public key.
    std::string PublicKey;
};
/// Generates a new Ed25519 key pair.
TUpdateKeyPair GenerateUpdateKey();
/// The Ed25519 signature (64 bytes) of Bytes by the PEM private key; PublicKey receives its public key when given.
/// Raises Exception when the key is not an Ed25519 private key.
std::string SignBytes(std::string_view Bytes, const std::string& PrivateKeyPem, std::string* PublicKey = nullptr);
/// True when Signature is a valid Ed25519 signature of Bytes by the 32-byte PublicKey.
bool VerifySignature(std::string_view Bytes, std::string_view Signature, std::string_view PublicKey);

/// The signature of a signature file: Base64 of 64 bytes on one line, optionally ended by a line break. Raises
/// EConvertError saying what is wrong.
std::string ParseIndexSignature(std::string_view FileText);

/// Refuses (EUpdateRefused) an index whose bytes carry no valid signature by one of Keys. SignatureFile is the
/// fetched signature file, or nothing when it could not be fetched (FetchError says why). IndexAddress names the index.
void VerifyIndexSignature(std::string_view IndexBytes, const std::optional<std::string>& SignatureFile,
                          const std::string& FetchError, const TUpdateKeys& Keys, const std::string& IndexAddress);

/// A `serial`: decimal digits only, at most 18 of them; raises EConvertError otherwise.
int64_t ParseIndexSerial(const std::string& Text);
/// An `expires` time: exactly 14 digits yyyymmddhhnnss of a valid UTC date and time; raises EConvertError otherwise.
TIndexTime ParseIndexExpires(const std::string& Text);
/// The current time in UTC, to the second, moved by OffsetSeconds.
TIndexTime UtcNow(int64_t OffsetSeconds = 0);

/// Refuses a signed index that lacks a `serial` or has a malformed one, has a malformed `expires` or one before
/// NowUtc, whose serial is lower than the highest accepted for IndexAddress in the file SerialsFile, or that gives a
/// file without `sha256`; otherwise records its serial in SerialsFile (replaced atomically; a damaged one is started
/// afresh).
void CheckSignedIndex(const xml::IXMLNode& Index, const std::string& IndexAddress,
                      const std::filesystem::path& SerialsFile, const TIndexTime& NowUtc);

/// Fetches the text at an address (through the connection progress window in the launcher); raises on failure.
using TFetchText = std::function<std::string(const std::string& Address)>;

/// What a login does with a fetched index when the installation lists update keys (nothing when Keys is empty):
/// fetches "<IndexAddress>.sig" through Fetch, refuses the index unless its exact bytes IndexBytes carry a valid
/// signature by one of Keys, then CheckSignedIndex against SerialsFile at the current time.
void VerifyUpdateIndex(std::string_view IndexBytes, const xml::IXMLNode& Index, const std::string& IndexAddress,
                       const TUpdateKeys& Keys, const TFetchText& Fetch, const std::filesystem::path& SerialsFile);

/// The highest serial accepted for IndexAddress according to SerialsFile, or nothing.
std::optional<int64_t> AcceptedSerial(const std::filesystem::path& SerialsFile, const std::string& IndexAddress);

} // namespace orb
