#pragma once

#include "base/Attributes.h"
#include "base/Exceptions.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orb
{

/// The kind of a request body.
enum TBodyType
{
    btBinary = 0,
    btText = 1,
    btParameters = 2,
};

/// The address of one HTTP request as separate parts, with ordered query parameters and an optional body.
class TURL
{
public:
    TURL() = default;

    /// "http", "https", or "file" after SetURL of a local address.
    std::string Protocol;
    /// Host name or address.
    std::string Host;
    /// TCP port; always written out by URL_String.
    int Port = 0;
    /// Directory part with its leading and trailing "/" (for example /a/b/).
    std::string Path;
    /// Last part of the address (for example index.xml); may be empty.
    std::string Document;
    /// Query parameters as name=value lines; their order is the order on the wire.
    TAttributes Parameters;
    /// Request body; when not empty the request is a POST.
    std::string Body;
    /// Kind of Body.
    TBodyType BodyType = btBinary;
    /// User name for Digest authentication.
    std::string UserName;
    /// Password for Digest authentication.
    std::string Password;
    /// When true parameter values are sent as UTF-8, otherwise in the 8-bit code page (Windows-1252).
    bool UTF8_Parameters = false;

    /// Splits an address text into the parts. The query of the text is dropped: parameters are added afterwards.
    /// Raises EConvertError for a text that is no address or names a port that is not a number.
    void SetURL(const std::string& URL_String);
    /// The address text to send: protocol, host, port (always), path, document and the encoded parameters.
    std::string URL_String() const;
    /// A readable description of the whole request (address and body), for request logs.
    std::string RequestString() const;
    /// The parameters as "name=value" pairs joined by "&", percent-encoded byte by byte.
    std::string EncodedParameters() const;
    /// Empties Parameters and Body; BodyType := btText.
    void ClearParameters();
    /// Body := the encoded parameters, BodyType := btParameters, Parameters emptied: the request becomes a form POST.
    void MoveParametersToBody();
};

/// Percent-encodes bytes as form parameters do: a space becomes "+", letters, digits and ! ' ( ) * - . _ ~ stay,
/// every other byte becomes "%" and two upper-case hexadecimal digits.
std::string EncodeParameterBytes(std::string_view Bytes);

/// Outcome of the request in progress of a THTTPDataProvider.
enum THTTPResultCode : std::uint8_t
{
    httpSuccess = 0,
    httpUndefined = 1,
    httpAborted = 2, ///< the user cancelled the request
    httpNotFound = 3
};

/// TLS protocol versions a provider can use for https addresses.
enum TSSLVersion
{
    sslvTLSv1,   ///< TLS 1.0 only (for old servers)
    sslvTLSv1_1, ///< TLS 1.1 only
    sslvTLSv1_2  ///< TLS 1.2 or newer
};

/// A failed request that callers tell apart by ErrorCode (httpAborted is the user's cancellation).
class EHTTPDataProvider : public Exception
{
public:
    EHTTPDataProvider(std::string Msg, THTTPResultCode Code) : Exception(std::move(Msg)), ErrorCode(Code) {}
    /// Why the request failed.
    THTTPResultCode ErrorCode;
    std::string ClassName() const override { return "EHTTPDataProvider"; }
};

/// The server's scheduled-maintenance answer; the message tells the user when to come back.
class EHTTPServiceUnavailable : public Exception
{
public:
    /// Builds the maintenance message from the Retry-After seconds (0 when the server named no time).
    explicit EHTTPServiceUnavailable(int RetryAfter);
    /// Seconds after which the server expects to be back; 0 when unknown.
    int RetryAfter;
    std::string ClassName() const override { return "EHTTPServiceUnavailable"; }
};

/// An answer with a status outside 2xx; the message is the status line, the answer travels with it.
class EHTTPProtocolException : public Exception
{
public:
    EHTTPProtocolException(int Code, std::string StatusLine, std::string Headers, std::string Body)
        : Exception(std::move(StatusLine)), ErrorCode(Code), RawHeaders(std::move(Headers)),
          ErrorMessage(std::move(Body))
    {}
    /// The HTTP status code.
    int ErrorCode;
    /// The answer's header lines, each ending with CR LF.
    std::string RawHeaders;
    /// The answer's body, at most MaxErrorBodySize bytes; a longer one ends with the line
    /// "(answer cut after 65536 bytes)".
    std::string ErrorMessage;
    std::string ClassName() const override { return "EHTTPProtocolException"; }
};

/// A connection that was closed, reset or could not be used while the request ran.
ORB_DECLARE_EXCEPTION(EConnectionClosed, Exception)
/// A connection that could not be made (name resolution, refused connection, proxy unreachable and the like).
ORB_DECLARE_EXCEPTION(ESocketError, Exception)
/// No connection within the connect time-out.
ORB_DECLARE_EXCEPTION(EConnectTimeout, Exception)
/// No data within the read time-out, or an answer without a usable status line.
ORB_DECLARE_EXCEPTION(EReadTimeout, Exception)
/// A failed TLS handshake.
ORB_DECLARE_EXCEPTION(ESSLError, Exception)
/// A server whose certificate could not be verified against the trusted authorities.
ORB_DECLARE_EXCEPTION(ECertificateError, Exception)
/// A compressed body that could not be decoded.
ORB_DECLARE_EXCEPTION(EDecompressionError, Exception)

/// The most bytes of an answer held whole in memory (configuration, index, registration and password answers),
/// counted after content decoding as the answer arrives; a larger answer is refused at once. Bodies handed to
/// THTTPDataProvider::OnData (the update's downloads) are not held and not limited by it.
inline constexpr std::int64_t MaxAnswerSize = 64LL * 1024 * 1024;
/// The most bytes of an error answer's body (a status outside 2xx) kept for the error's details; reading stops there.
inline constexpr std::size_t MaxErrorBodySize = 64 * 1024;
/// The protocols a request or a redirect may use, in libcurl's list form.
inline constexpr const char* AllowedProtocols = "http,https";

/// The failure for an answer from Address that grew past MaxAnswerSize.
EHTTPDataProvider AnswerTooLargeError(const std::string& Address);
/// The failure for an Address whose protocol is neither http nor https.
EHTTPDataProvider ProtocolRefusedError(const std::string& Address);
/// Appends an error answer's body piece to Body up to MaxErrorBodySize; false when bytes were dropped, so that the
/// caller stops reading and marks the body with MarkErrorBodyCut.
bool KeepErrorBody(std::string& Body, const char* Data, std::size_t Size);
/// Ends an error body that was cut at MaxErrorBodySize with the line "(answer cut after 65536 bytes)".
void MarkErrorBodyCut(std::string& Body);

/// The User-Agent given to providers made from now on; initially "HTTPDataProvider".
std::string DefaultUserAgent();
/// Sets the User-Agent of providers made from now on (existing ones keep theirs).
void SetDefaultUserAgent(const std::string& Value);
/// An extra CA bundle (PEM) trusted, besides the system's, by providers and account-service clients made from now
/// on; empty for none.
std::string DefaultCAFile();
/// Sets the extra CA bundle of providers and account-service clients made from now on.
void SetDefaultCAFile(const std::string& Value);
/// The text of a user's cancellation; initially "Request to server was cancelled by user".
std::string RequestAbortedMessage();
/// Replaces the text of a user's cancellation (done whenever a language is loaded).
void SetRequestAbortedMessage(const std::string& Value);

/// The last answer a provider received.
struct THTTPResponse
{
    /// The status code; 0 before any answer.
    int ResponseCode = 0;
    /// The status line, for example "HTTP/1.1 404 Not Found".
    std::string ResponseText;
    /// The header lines (without the status line), each ending with CR LF.
    std::string RawHeaders;
    /// The value of the first header called Name (compared ignoring case), or "".
    std::string Header(std::string_view Name) const;
    /// The media type of Content-Type, without parameters.
    std::string ContentType() const;
};

/// The HTTP client settings that owners change after construction, and its last answer.
struct THTTPClient
{
    /// Sent as User-Agent.
    std::string UserAgent;
    /// Milliseconds to wait for a connection (TCP and TLS).
    int ConnectTimeout = 60000;
    /// Milliseconds to wait for any data while a request runs; bounds each read, not the whole request.
    int ReadTimeout = 180000;
    /// Proxy host; empty for a direct connection.
    std::string ProxyServer;
    /// Proxy port.
    int ProxyPort = 0;
    /// Proxy user name; credentials are sent only when it is not empty.
    std::string ProxyUsername;
    /// Proxy password.
    std::string ProxyPassword;
    /// The desktop's settings name the proxy of each address; ProxyServer is then ignored.
    bool ProxySystem = false;
    /// An extra CA bundle trusted besides the system's; empty for none.
    std::string CAFile;
    /// Called on the requesting thread with the body bytes received so far in the current request.
    std::function<void(std::int64_t BytesReceived)> OnWork;
    /// The last answer.
    THTTPResponse Response;
};

struct TCurlOutcome;
struct TCurlRequest;
class TCurlMulti;
class TCurlTransfer;

/// The launcher's HTTP client object: one connection, one address, one request at a time.
class THTTPDataProvider
{
public:
    THTTPDataProvider();
    ~THTTPDataProvider();
    THTTPDataProvider(const THTTPDataProvider&) = delete;
    THTTPDataProvider& operator=(const THTTPDataProvider&) = delete;

    /// Performs one request to URL (a POST when URL.Body is set) and gives the decoded body; raises on failure,
    /// among them for an address other than http or https and for a body past MaxAnswerSize.
    void GetString(std::string& Data);
    /// GetString in two halves, for several requests driven side by side on one multi handle: starts the request
    /// to URL on Multi (which must outlive it); raises what GetString raises before anything is sent.
    void StartRequest(TCurlMulti& Multi);
    /// Takes the outcome Multi gave for this provider's transfer: true when the request is complete (Data as
    /// GetString gives it); false when it was sent once more on the same multi handle (the TLS fallback, a proxy's
    /// credentials); raises what GetString raises.
    bool FinishRequest(const TCurlOutcome& Outcome, std::string& Data);
    /// The transfer beneath, to tell which provider a multi handle's outcome belongs to.
    TCurlTransfer& Transfer();
    /// Cancels the request in progress; safe from any thread, ends a blocked transfer at once.
    void Abort();
    /// Switches between TLS 1.0 and TLS 1.2 (the fallback for servers that refuse the other). While it stays on the
    /// older version its handshakes carry the fallback signal, so that a server that speaks a newer one refuses.
    void ChangeSSLVersion();

    /// True when gzip and deflate answers are asked for (the provider decodes them itself).
    bool Compression() const { return FCompression; }
    /// Switches the Accept-Encoding request header on or off.
    void SetCompression(bool Value) { FCompression = Value; }
    /// The TLS version used for https.
    TSSLVersion SSLVersion() const { return FSSLVersion; }
    /// Sets the TLS version used for https (a chosen version, not a fallback: no fallback signal is sent).
    void SetSSLVersion(TSSLVersion Value)
    {
        FSSLVersion = Value;
        FFallback = false;
    }

    /// Outcome of the request in progress; httpAborted once Abort was called during it.
    std::atomic<THTTPResultCode> ResultCode{httpSuccess};
    /// The raw (undecoded) body of the last answer; at most MaxAnswerSize bytes, MaxErrorBodySize for an error answer.
    std::string InputStream;
    /// Digest credentials of the request in progress (computed by the HTTP library; kept empty here).
    std::string AuthorizationString;
    /// The TLS version in force when the request in progress started.
    TSSLVersion LastSSLVersion = sslvTLSv1_2;
    /// Target of the next request.
    TURL URL;
    /// Client settings (proxy, time-outs, progress notification) and the last answer.
    THTTPClient HTTP_Client;
    /// Marks the next answer as binary for request logs; reset after every successful request.
    bool ResultIsBinary = false;
    /// When set, receives the body of a successful (2xx) answer piece by piece as it arrives, gzip and deflate
    /// content coding already decoded, instead of collecting it: GetString then gives an empty Data and
    /// InputStream stays empty, and MaxAnswerSize does not apply. Error answers are still collected for their
    /// exception. Runs on the requesting thread; an exception it raises ends the request with that exception.
    std::function<void(const char* Data, size_t Size)> OnData;
    /// Request header lines ("Name: value") added to the next requests, for example a Range.
    std::vector<std::string> ExtraHeaders;

private:
    struct TTransfer;
    void Send();
    bool SendFinished(const TCurlOutcome& Outcome);
    [[noreturn]] void RaiseTransferError(const TCurlOutcome& Outcome);
    void RaiseForStatus();

    bool FCompression = true;
    TSSLVersion FSSLVersion = sslvTLSv1_2;
    bool FFreshConnect = false;
    /// FSSLVersion is an older version that ChangeSSLVersion fell back to.
    bool FFallback = false;
    std::unique_ptr<TTransfer> FTransfer;
    /// The request in progress, kept for its transfer and a second sending.
    std::unique_ptr<TCurlRequest> FRequest;
    TCurlMulti* FMulti = nullptr;
    bool FTLSRetried = false;
    bool FProxyRetried = false;
};

} // namespace orb
