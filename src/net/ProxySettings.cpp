#include "net/ProxySettings.h"

#include "base/TextUtils.h"
#include "net/HTTPDataProvider.h"
#include "platform/SystemProxy.h"

#include <atomic>
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

std::atomic<bool> AccountServicesSystemProxy{false};

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

TCurlProxy SystemProxyOf(const std::string& Address)
{
    TCurlProxy result;
    std::string proxy = platform::SystemProxyFor(Address);
    if (proxy.empty())
        return result;
    proxy.erase(0, proxy.find("://") + 3);
    if (const auto slash = proxy.find('/'); slash != std::string::npos)
        proxy.erase(slash);
    const auto colon = proxy.rfind(':');
    const bool hasPort = colon != std::string::npos && proxy.find(']', colon) == std::string::npos;
    result.Server = hasPort ? proxy.substr(0, colon) : proxy;
    result.Port = hasPort ? StrToIntDef(proxy.substr(colon + 1), 80) : 80;
    if (const auto credentials = SystemProxyCredentials())
    {
        result.Username = credentials->Login;
        result.Password = credentials->Password;
    }
    return result;
}

bool TakeSystemProxyCredentials(TCurlRequest& Request, const TCurlOutcome& Outcome)
{
    // For https the proxy's refusal comes as the answer to the tunnel request, and the transfer ends there.
    const bool refused =
        Outcome.Status == 407 || (Outcome.Failure == TCurlOutcome::fConnectionLost && Outcome.ConnectStatus == 407);
    if (Request.Proxy.Server.empty() || !refused)
        return false;
    const std::string proxy = Request.Proxy.Server + ":" + std::to_string(Request.Proxy.Port);
    const auto credentials = SystemProxyCredentialsAfterChallenge(proxy, Request.Proxy.Username);
    if (!credentials)
        return false;
    Request.Proxy.Username = credentials->Login;
    Request.Proxy.Password = credentials->Password;
    return true;
}

TCurlOutcome PerformThroughSystemProxy(TCurlTransfer& Transfer, TCurlRequest& Request,
                                       const std::function<void()>& BeforeRetry)
{
    Request.Proxy = SystemProxyOf(Request.Address);
    TCurlOutcome outcome = Transfer.Perform(Request);
    if (!TakeSystemProxyCredentials(Request, outcome))
        return outcome;
    if (BeforeRetry)
        BeforeRetry();
    return Transfer.Perform(Request);
}

void SetAccountServicesUseSystemProxy(bool Use)
{
    AccountServicesSystemProxy = Use;
}

bool AccountServicesUseSystemProxy()
{
    return AccountServicesSystemProxy;
}

} // namespace orb
