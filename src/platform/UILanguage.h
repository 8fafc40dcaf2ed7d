#pragma once

#include <cstdint>
#include <string_view>

namespace orb::platform
{

/// The user's interface language as a Windows language identifier: primary language in the low
/// 10 bits, sub-language in the high 6 bits; 0 when the system names none.
/// On POSIX systems it comes from the first set of LANGUAGE, LC_ALL, LC_MESSAGES and LANG.
uint16_t UserInterfaceLanguage();

/// Maps a POSIX locale name (for example "de_AT.UTF-8", "zh_HK", "pt_BR@euro"; for LANGUAGE the
/// first entry of a colon-separated list) to a Windows language identifier; 0 for "C", "POSIX",
/// an empty or an unknown name.
uint16_t LangIdFromLocaleName(std::string_view LocaleName);

} // namespace orb::platform
