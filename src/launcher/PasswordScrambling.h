#pragma once

#include <string>

namespace orb
{

/// Scrambles a password for the user settings file (Encode true) or restores it (Encode false).
/// The stored text is Base64 of a 4-byte random salt and the RC4 cipher of the UTF-8 plain block (a length
/// character, the password, filler up to 32 characters), keyed with the first 16 bytes of SHA-1(salt + pass phrase).
/// An empty stored text gives an empty password; a stored text that cannot be decoded raises EConvertError.
std::string ScrambleSavedPassword(const std::string& Text, bool Encode);

/// Standard Base64 with "=" padding and no line breaks.
std::string Base64Encode(const std::string& Bytes);
/// Decodes standard Base64; raises EConvertError for a wrong length, a bad character or misplaced padding.
std::string Base64Decode(const std::string& Text);
/// RC4 keystream XOR over Data with a fresh keystream (encryption and decryption are the same).
std::string RC4(const std::string& Key, const std::string& Data);

} // namespace orb
