#pragma once

#include <optional>
#include <string>

namespace orb::platform
{

/// The value of an environment variable of this process; nothing when it is not set.
std::optional<std::string> GetEnvironmentValue(const std::string& Name);
/// Sets an environment variable of this process (inherited by processes started later);
/// raises EOSError when the system refuses it.
void SetEnvironmentValue(const std::string& Name, const std::string& Value);
/// Removes an environment variable of this process; raises EOSError when the system refuses it.
void RemoveEnvironmentValue(const std::string& Name);

} // namespace orb::platform
