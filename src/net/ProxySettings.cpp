#include "net/ProxySettings.h"

#include "net/HTTPDataProvider.h"

namespace orb
{

void UseProxy(THTTPDataProvider& Provider, const TProxySettings& Proxy)
{
    auto& client = Provider.HTTP_Client;
    if (!Proxy.Enabled)
    {
        client.ProxyServer.clear();
        return;
    }
    client.ProxyServer = Proxy.Server;
    client.ProxyPort = Proxy.Port;
    client.ProxyUsername = Proxy.Login;
    client.ProxyPassword = Proxy.Password;
}

} // namespace orb
