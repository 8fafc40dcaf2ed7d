#pragma once

#include <string>
#include <string_view>

namespace orb
{

/// Standard Base64 with "=" padding and no line breaks.
std::string Base64Encode(std::string_view Bytes);
/// Decodes standard Base64; raises EConvertError "<What> is not valid Base64: <reason>" for a wrong length, a bad
/// character or misplaced padding.
std::string Base64Decode(std::string_view Text, const std::string& What = "The text");

} // namespace orb
