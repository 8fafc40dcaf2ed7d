#pragma once

#include "net/CurlTransfer.h"

#include <functional>
#include <optional>
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
    bool System = false;  ///< the desktop's proxy settings name the proxy of each address (the others are ignored)
};

/// Routes Provider's requests through Proxy when it is enabled, through the system's proxy of each address when
/// System is set, directly otherwise.
void UseProxy(THTTPDataProvider& Provider, const TProxySettings& Proxy);

/// User name and password for a proxy.
struct TProxyCredentials
{
    std::string Login;    ///< user name
    std::string Password; ///< its password
};

/// Asks the user for the user name and password of the system's proxy Proxy ("host:port"); nothing when the user
/// gives none. Raises an exception with the reason when it cannot ask at all.
using TProxyCredentialsPrompt = std::function<std::optional<TProxyCredentials>(const std::string& Proxy)>;

/// Sets the front end's prompt, asked when a system proxy demands authentication (407).
void SetProxyCredentialsPrompt(TProxyCredentialsPrompt Prompt);

/// The credentials the user gave for the system's proxy in this run; nothing before the first 407.
std::optional<TProxyCredentials> SystemProxyCredentials();

/// After a system proxy answered 407 to a request sent with the login Sent: the credentials to send the request
/// again with, or nothing. The user is asked at most once per run; later refusals end in the 407 error.
std::optional<TProxyCredentials> SystemProxyCredentialsAfterChallenge(const std::string& Proxy,
                                                                      const std::string& Sent);

/// Forgets the credentials given and whether the user was asked: the next 407 asks again (the proxy settings
/// changed).
void ForgetSystemProxyCredentials();

/// The proxy the desktop's settings name for Address, with the credentials the user gave in this run; no server for
/// a direct connection.
TCurlProxy SystemProxyOf(const std::string& Address);

/// After Request went through a system proxy and ended with Outcome: when that was the proxy's 407 and the user gives
/// credentials (asked at most once per run), puts them on Request and returns true: send it once more.
bool TakeSystemProxyCredentials(TCurlRequest& Request, const TCurlOutcome& Outcome);

/// Performs Request on Transfer through the system's proxy of its address. When that proxy answers 407, the user is
/// asked (at most once per run) and the request is sent once more with the answer; BeforeRetry runs right before,
/// to drop what the refused answer left behind.
TCurlOutcome PerformThroughSystemProxy(TCurlTransfer& Transfer, TCurlRequest& Request,
                                       const std::function<void()>& BeforeRetry);

/// Whether the account services (registration and password reset) go through the system's proxy. They never use a
/// typed proxy; the launcher sets this whenever it applies the user's proxy choice.
void SetAccountServicesUseSystemProxy(bool Use);
/// See SetAccountServicesUseSystemProxy; false until set.
bool AccountServicesUseSystemProxy();

} // namespace orb
