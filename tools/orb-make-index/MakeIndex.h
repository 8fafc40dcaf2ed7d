#pragma once

#include "xml/VuvareXMLNode.h"

#include <filesystem>
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
};

/// A summary of what was published.
struct TMakeIndexResult
{
    int Files = 0;
    int Directories = 0;
    int Gzipped = 0;
    long long Bytes = 0;
};

/// True when Name matches Pattern ("*" any run of characters, "?" one character; case-sensitive).
bool MatchPattern(const std::string& Pattern, const std::string& Name);

/// Builds the index of Options.Root, writing "<name>.gz" companions for files that match a gzip pattern
/// (and for empty files, which the launcher cannot download as they are). Raises orb::Exception naming the
/// entry for a name the launcher would refuse or mistake.
xml::IXMLNodePtr BuildIndex(const TMakeIndexOptions& Options, TMakeIndexResult& Result);

/// BuildIndex and then writes the index file (replaced only once completely written).
TMakeIndexResult MakeIndex(const TMakeIndexOptions& Options);

/// Gzips Source into Target (through a temporary file beside it) and gives Target Source's last-write time.
void GzipFile(const std::filesystem::path& Source, const std::filesystem::path& Target);

} // namespace orb::tools
