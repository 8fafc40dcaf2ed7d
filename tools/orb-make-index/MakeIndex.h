#pragma once

#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orb::tools
{

/// What orb-make-index publishes.
struct TMakeIndexOptions
{
    /// The tree to publish; the index is written to its top as "index.xml" unless Output says otherwise.
    std::filesystem::path Root;
    /// Where the index goes (empty: Root / "index.xml").
    std::filesystem::path Output;
    /// Files whose names match one of these patterns are published gzipped as "<name>.gz".
    std::vector<std::string> GzipPatterns;
    /// Files and directories whose names match one of these patterns are left out.
    std::vector<std::string> ExcludePatterns;
    /// The root element's tag name.
    std::string RootTag = "update";
    /// Gives every file a `sha256` attribute (implied by SignKey).
    bool Sha256 = false;
    /// An Ed25519 private key (PEM): the index is signed into "<index>.sig" and carries a `serial`.
    std::filesystem::path SignKey;
    /// The `serial` of a signed index (default: the publishing time in seconds since 1970).
    std::optional<int64_t> Serial;
    /// With it, a signed index `expires` this many days after publishing.
    std::optional<int> ExpiresDays;
};

/// A summary of what was published.
struct TMakeIndexResult
{
    int Files = 0;
    int Directories = 0;
    int Gzipped = 0;
    long long Bytes = 0;
    /// The `serial` of a signed index, else empty.
    std::string Serial;
    /// The signature file written, else empty.
    std::filesystem::path SignatureFile;
};

/// True when Name matches Pattern ("*" any run of characters, "?" one character; case-sensitive).
bool MatchPattern(const std::string& Pattern, const std::string& Name);

/// Builds the index of Options.Root, writing "<name>.gz" companions for files that match a gzip pattern
/// (and for empty files, which the launcher cannot download as they are). Raises orb::Exception naming the
/// entry for a name the launcher would refuse or mistake.
xml::IXMLNodePtr BuildIndex(const TMakeIndexOptions& Options, TMakeIndexResult& Result);

/// BuildIndex and then writes the index file (replaced only once completely written).
TMakeIndexResult MakeIndex(const TMakeIndexOptions& Options);

/// Writes a new Ed25519 private key (PEM) to KeyFile, readable by its owner alone, and returns the `update_keys`
/// element with its public key, named after the file's stem. Refuses to replace an existing file.
std::string GenerateKeyFile(const std::filesystem::path& KeyFile);

/// Gzips Source into Target (through a temporary file beside it) and gives Target Source's last-write time.
void GzipFile(const std::filesystem::path& Source, const std::filesystem::path& Target);

} // namespace orb::tools
