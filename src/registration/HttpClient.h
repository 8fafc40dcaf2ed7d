#pragma once

#include "net/HTTPDataProvider.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orb
{

class TCurlTransfer;

/// One answer of THttpClient.
struct THttpResponse
{
    int Status = 0;
    std::string StatusLine;
    std::string RawHeaders;
    std::string Body;
};

/// A small HTTP/1.1 client for the account services: one request at a time, never through a typed proxy (through
/// the system's proxy when the user chose it, see AccountServicesUseSystemProxy), and a request that another thread
/// can cancel at once.
class THttpClient
{
public:
    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient&) = delete;
    THttpClient& operator=(const THttpClient&) = delete;

    /// Request headers sent with every request ("Name: value").
    std::vector<std::string> Headers;
    /// The User-Agent header; none when empty.
    std::string UserAgent;
    /// Connect time limit in milliseconds; 0 for the library's default.
    long ConnectTimeoutMs = 0;
    /// A stall of this many milliseconds without data ends the transfer; 0 for none.
    long ReadTimeoutMs = 0;
    /// The oldest TLS version accepted for https (true: TLS 1.0 and later; false: the library's default).
    bool AllowTLS10 = false;
    /// A PEM file of authorities trusted beside the system's; initially DefaultCAFile().
    std::string CAFile;

    /// Sends Method ("POST", "PUT", "GET") with Body to URL. Returns the answer for 2xx statuses; raises
    /// EHTTPProtocolException for other statuses (the body cut at MaxErrorBodySize), EConnectTimeout or EReadTimeout
    /// when the time limits ran out, EConnectionClosed when aborted, EHTTPDataProvider for an address other than
    /// http or https or a body past MaxAnswerSize, and ESocketError for any other failure. Requests from several
    /// threads are sent one after the other.
    THttpResponse Send(const std::string& Method, const std::string& URL, const std::string& Body);
    /// Ends a running Send from any thread (it raises EConnectionClosed), and every later one at once: used
    /// when the owner goes away.
    void Abort();

private:
    std::unique_ptr<TCurlTransfer> FTransfer;
    /// Held by Send: one request at a time on the one transfer.
    std::mutex FSendLock;
};

} // namespace orb
