#pragma once

#include <string>

namespace orb::platform
{

/// The proxy the desktop's settings name for Url (environment variables, desktop settings, a PAC file found by
/// WPAD), as "http://host:port"; empty for a direct connection or when the system names no usable proxy.
std::string SystemProxyFor(const std::string& Url);

} // namespace orb::platform
