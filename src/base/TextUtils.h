#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orb
{

/// UTF-8 to UTF-16 code units; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view Text);
/// UTF-8 to UTF-16 code units; false (and Out unchanged) when Text is not valid UTF-8.
bool TryUtf8ToUtf16(std::string_view Text, std::u16string& Out);
/// True when Text is well-formed UTF-8 (no overlongs, no surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view Text);
/// Whether UTF-8 Text holds a control character (C0, DEL or C1: line breaks, tabs, escapes).
bool ContainsControlCharacters(std::string_view Text);
/// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view Text);
/// The number of UTF-16 code units of a UTF-8 text.
size_t Utf16Length(std::string_view Text);
/// One code point as UTF-8, appended to Out.
void AppendUtf8(std::string& Out, char32_t CodePoint);

/// Bytes of the 8-bit code page (Windows-1252) to UTF-8.
std::string AnsiToUtf8(std::string_view Bytes);
/// UTF-8 to bytes of the 8-bit code page (Windows-1252); characters it lacks become Replacement.
std::string Utf8ToAnsi(std::string_view Text, char Replacement = '?');
/// UTF-8 to 7-bit ASCII; every other character becomes Replacement.
std::string Utf8ToAscii(std::string_view Text, char Replacement = '?');

/// Removes leading and trailing blanks and control characters (codes 0 to 32).
std::string Trim(std::string_view Text);
/// Removes leading blanks and control characters.
std::string TrimLeft(std::string_view Text);
/// Removes trailing blanks and control characters.
std::string TrimRight(std::string_view Text);

/// Upper case of a UTF-8 text, for Latin, Greek and Cyrillic letters.
std::string UpperCase(std::string_view Text);
/// Lower case of a UTF-8 text, for Latin, Greek and Cyrillic letters.
std::string LowerCase(std::string_view Text);
/// Compares two UTF-8 texts ignoring letter case: negative, zero or positive.
int CompareText(std::string_view A, std::string_view B);
/// True when two UTF-8 texts are equal ignoring letter case.
bool SameText(std::string_view A, std::string_view B);
/// Lower-case mapping of one code point.
char32_t FoldCase(char32_t CodePoint);

/// A decimal or hexadecimal ("$" or "0x") integer of 32 bits; raises EConvertError otherwise.
int32_t StrToInt(std::string_view Text);
/// As StrToInt, but Default when the text does not convert.
int32_t StrToIntDef(std::string_view Text, int32_t Default);
/// As StrToInt for 64 bits.
int64_t StrToInt64(std::string_view Text);
/// False (and Value unchanged) when the text does not convert.
bool TryStrToInt(std::string_view Text, int32_t& Value);
/// False (and Value unchanged) when the text does not convert.
bool TryStrToInt64(std::string_view Text, int64_t& Value);

/// Replaces every occurrence of From by To.
std::string StringReplaceAll(std::string_view Text, std::string_view From, std::string_view To);

} // namespace orb
