#pragma once

#include "base/Exceptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orb
{

/// A skin file that cannot be read as a skin package; the message names the file and the line.
ORB_DECLARE_EXCEPTION(ESkinError, Exception)

/// One skin of a skin package: the colour roles of the window look (0xRRGGBB) and an optional Qt style sheet.
struct TSkin
{
    std::string Name;                     ///< the section name
    std::uint32_t Content = 0;            ///< the left panel and other content areas
    std::uint32_t ContentText = 0;        ///< labels on content and on the form
    std::uint32_t DisabledEditorText = 0; ///< labels and editors while disabled
    std::uint32_t HyperlinkText = 0;      ///< the link labels
    std::optional<std::uint32_t> FormColor; ///< the window background; the system colour when absent
    std::string StyleSheet;               ///< Qt style sheet text, empty when the skin has none
};

/// The Qt property ("orbLinkLabel", true) that marks a label as a link: skins give it their hyperlink colour.
inline constexpr const char* LinkLabelProperty = "orbLinkLabel";

/// Reads the skins of a ".skinres" text; Source names the text in error messages. Raises ESkinError on any
/// malformed line, a missing colour role or a text without skins.
std::vector<TSkin> ParseSkinPackage(std::string_view Text, const std::string& Source);
/// Reads a ".skinres" file; EInOutError when it cannot be read, ESkinError when it is malformed.
std::vector<TSkin> LoadSkinPackage(const std::string& FileName);
/// "#RRGGBB" as 0xRRGGBB; nullopt for anything else.
std::optional<std::uint32_t> ParseSkinColor(std::string_view Text);

} // namespace orb
