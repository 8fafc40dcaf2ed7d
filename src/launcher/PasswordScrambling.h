#pragma once

#include "base/Base64.h"

#include <string>

namespace orb
{

/// Scrambles a password for the user settings file (Encode true) or restores it (Encode false).
/// The stored text is Base64 of a 4-byte random salt and the RC4 cipher of the UTF-8 plain block (a length
/// character, the password, filler up to 32 characters), keyed with the first 16 bytes of SHA-1(salt + pass phrase).
/// An empty stored text gives an empty password; a stored text that cannot be decoded raises EConvertError.
std::string ScrambleSavedPassword(const std::string& Text, bool Encode);

/// RC4 keystream XOR over Data with a fresh keystream (encryption and decryption are the same).
std::string RC4(const std::string& Key, const std::string& Data);

} // namespace orb
