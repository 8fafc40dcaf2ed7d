#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace orb::platform
{

/// A path as UTF-8 text (path::string() gives the 8-bit code page on Windows).
inline std::string PathToUtf8(const std::filesystem::path& Path)
{
    std::u8string text = Path.u8string();
    return std::string(text.begin(), text.end());
}

/// A path from UTF-8 text.
inline std::filesystem::path Utf8ToPath(std::string_view Text)
{
    return std::filesystem::path(std::u8string(Text.begin(), Text.end()));
}

} // namespace orb::platform
