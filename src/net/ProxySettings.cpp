#include "net/ProxySettings.h"

#include "net/HTTPDataProvider.h"

#include <mutex>

namespace orb
{

namespace
{

/// The run's prompt and answer; requests of several threads may meet a 407 at once.
struct TSystemProxyAuth
{
    std::mutex Lock;
    TProxyCredentialsPrompt Prompt;
    bool Asked = false;
    std::optional<TProxyCredentials> Credentials;
};

TSystemProxyAuth& Auth()
{
    static TSystemProxyAuth auth;
    return auth;
}

} // namespace

void UseProxy(THTTPDataProvider& Provider, const TProxySettings& Proxy)
{
    auto& client = Provider.HTTP_Client;
    client.ProxySystem = Proxy.System;
    if (!Proxy.Enabled || Proxy.System)
    {
        client.ProxyServer.clear();
        return;
    }
    client.ProxyServer = Proxy.Server;
    client.ProxyPort = Proxy.Port;
    client.ProxyUsername = Proxy.Login;
    client.ProxyPassword = Proxy.Password;
}

void SetProxyCredentialsPrompt(TProxyCredentialsPrompt Prompt)
{
    std::lock_guard guard(Auth().Lock);
    Auth().Prompt = std::move(Prompt);
}

void ForgetSystemProxyCredentials()
{
    std::lock_guard guard(Auth().Lock);
    Auth().Asked = false;
    Auth().Credentials.reset();
}

std::optional<TProxyCredentials> SystemProxyCredentials()
{
    std::lock_guard guard(Auth().Lock);
    return Auth().Credentials;
}

std::optional<TProxyCredentials> SystemProxyCredentialsAfterChallenge(const std::string& Proxy, const std::string& Sent)
{
    auto& auth = Auth();
    std::lock_guard guard(auth.Lock);
    // Another request may have asked meanwhile: its answer is used without asking again.
    if (auth.Credentials && auth.Credentials->Login != Sent)
        return auth.Credentials;
    if (auth.Asked || !auth.Prompt)
        return std::nullopt;
    auth.Asked = true;
    auth.Credentials = auth.Prompt(Proxy);
    if (auth.Credentials && auth.Credentials->Login.empty())
        auth.Credentials.reset();
    return auth.Credentials;
}

} // namespace orb
