#pragma once

#include <string>

namespace orb
{

class THTTPDataProvider;

/// The HTTP proxy the user chose, read once from the user file by the launcher and handed to every client.
struct TProxySettings
{
    bool Enabled = false; ///< whether requests go through the proxy
    std::string Server;   ///< host name or address
    int Port = 0;         ///< port (0 when not a number)
    std::string Login;    ///< user name for the proxy, or empty
    std::string Password; ///< its password
};

/// Routes Provider's requests through Proxy when it is enabled, directly otherwise.
void UseProxy(THTTPDataProvider& Provider, const TProxySettings& Proxy);

} // namespace orb
