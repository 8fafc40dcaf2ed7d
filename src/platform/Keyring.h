#pragma once

#include "base/Exceptions.h"

#include <optional>
#include <string>

namespace orb::platform
{

/// Whether the system keyring can be used, and when not, why.
enum class TKeyringState
{
    ksAvailable,    ///< a keyring service answers (or is started on demand)
    ksNoSessionBus, ///< there is no session bus to reach a keyring service on
    ksNoService     ///< the session bus has no keyring service (Secret Service)
};

/// The keyring refused or failed an operation (locked, access denied, service gone); the message says why.
ORB_DECLARE_EXCEPTION(EKeyringError, Exception)

/// Whether the system keyring can be used now.
TKeyringState KeyringState();
/// The secret stored in the keyring under Service and Key; nothing when there is no such entry.
/// Raises EKeyringError when the keyring cannot be read.
std::optional<std::string> ReadKeyring(const std::string& Service, const std::string& Key);
/// Stores Secret under Service and Key, replacing an entry that was there; raises EKeyringError when it cannot.
void WriteKeyring(const std::string& Service, const std::string& Key, const std::string& Secret);
/// Removes the entry of Service and Key (none there is no error); raises EKeyringError when it cannot.
void ForgetKeyring(const std::string& Service, const std::string& Key);

} // namespace orb::platform
