#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orb
{

/// The TLS versions a transfer offers for https.
enum class TTLSRange
{
    LibraryDefault, ///< what the HTTP library offers by default
    From10,         ///< TLS 1.0 and every newer version
    Only10,         ///< TLS 1.0 only, with the old ciphers that OpenSSL 3 no longer offers by default
    Only11,         ///< TLS 1.1 only, with the old ciphers
    From12          ///< TLS 1.2 and newer
};

/// An HTTP proxy of a TCurlTransfer.
struct TCurlProxy
{
    std::string Server; ///< host; empty for none
    int Port = 0;
    std::string Username; ///< Basic credentials are sent only when it is not empty
    std::string Password;
};

/// One request of a TCurlTransfer.
struct TCurlRequest
{
    /// The full address; only http and https are requested (or followed, although redirects never are).
    std::string Address;
    /// "GET", "POST" or "PUT"; the two latter send Body.
    std::string Method = "GET";
    /// The request body (not copied: it must outlive Perform).
    std::string_view Body;
    /// Request header lines ("Name: value"; "Name:" suppresses a header the library would add).
    std::vector<std::string> Headers;
    /// The User-Agent header; none when empty.
    std::string UserAgent;
    /// Milliseconds to wait for a connection (TCP and TLS); 0 for the library's default.
    long ConnectTimeoutMs = 0;
    /// Milliseconds without any data, once connected, after which the transfer ends; 0 for no limit.
    long ReadTimeoutMs = 0;
    /// The proxy; a direct connection when its server is empty (the environment's proxy settings are never used).
    TCurlProxy Proxy;
    /// Digest credentials answered to a Digest challenge; none when the user name is empty.
    std::string DigestUsername;
    /// Digest password.
    std::string DigestPassword;
    /// A PEM file of authorities trusted beside the system's; empty for none.
    std::string CAFile;
    /// The TLS versions offered.
    TTLSRange TLS = TTLSRange::LibraryDefault;
    /// The handshake carries the TLS fallback signal (RFC 7507): the request is a fallback to an older version.
    bool FallbackSignal = false;
    /// Opens a new connection instead of reusing the last one.
    bool FreshConnect = false;
    /// The most body bytes of a successful (2xx) answer, as they come over the wire; -1 for no limit. A larger
    /// answer ends the transfer with the error given by TooLargeError.
    std::int64_t MaxBody = -1;
    /// The failure for an answer past MaxBody.
    std::function<std::exception_ptr()> TooLargeError;
};

/// How a transfer ended.
struct TCurlOutcome
{
    /// Why the library ended the transfer.
    enum TFailure
    {
        fNone,            ///< the answer arrived (whatever its status)
        fConnectionLost,  ///< the connection broke or was closed while it was used
        fNoStatusLine,    ///< the answer had no usable status line
        fProtocolRefused, ///< the address names a protocol other than http or https
        fTimedOut,        ///< the library's own time limit (the connect time-out) ran out
        fTLSHandshake,    ///< the TLS handshake failed
        fFallbackRefused, ///< the server refused the fallback signal: it speaks a newer TLS version
        fCertificate,     ///< the server's certificate could not be verified
        fOther            ///< name resolution, refused connection and every other failure
    };
    TFailure Failure = fNone;
    /// The library's description of the failure.
    std::string Detail;
    /// Abort was called while the transfer ran (or before it started).
    bool Aborted = false;
    /// Nothing arrived within the read time-out.
    bool ReadTimedOut = false;
    /// An error answer's body was longer than MaxErrorBodySize: reading stopped there on purpose.
    bool ErrorBodyCut = false;
    /// The failure raised by a hook or by the answer limit; the transfer ended at once.
    std::exception_ptr HookError;
    /// The final status code; 0 when none arrived.
    int Status = 0;
    /// The status a proxy answered to a tunnel request; 0 when none.
    int ConnectStatus = 0;
    /// A connection had been made (to the server or the proxy).
    bool Connected = false;
};

class TCurlTransfer;

/// A libcurl multi handle that drives several transfers at once on one thread and keeps their connections for reuse
/// (its connection cache): the update's downloads run on one, and each TCurlTransfer has one of its own for Perform.
class TCurlMulti
{
public:
    TCurlMulti();
    ~TCurlMulti();
    TCurlMulti(const TCurlMulti&) = delete;
    TCurlMulti& operator=(const TCurlMulti&) = delete;

    /// A transfer that ended, with how it ended.
    struct TFinished
    {
        TCurlTransfer* Transfer;
        TCurlOutcome Outcome;
    };

    /// Starts Request on Transfer (configured as Perform configures it); Request must outlive the transfer. A
    /// transfer runs on one multi handle at a time.
    void Add(TCurlTransfer& Transfer, const TCurlRequest& Request);
    /// Moves the transfers on until at least one has ended, MaxWaitMs passed or Wakeup was called; gives the ended
    /// ones (an aborted one as Aborted, a stalled one as ReadTimedOut), which are then no longer on this handle.
    std::vector<TFinished> Run(int MaxWaitMs);
    /// Ends the transfer at once (as aborted) if it runs here; its connection is closed, not reused.
    void Remove(TCurlTransfer& Transfer);
    /// Makes a Run in progress (or the next one) return at once; safe from any thread.
    void Wakeup();
    /// The transfers added and not yet ended.
    std::size_t Running() const { return FActive.size(); }

private:
    void Collect(std::vector<TFinished>& Done);
    void Finish(TCurlTransfer& Transfer, TCurlOutcome Outcome, std::vector<TFinished>& Done);

    void* FMulti = nullptr;
    std::vector<TCurlTransfer*> FActive;
};

/// The one libcurl transfer beneath every HTTP client of the launcher: one connection at a time, the shared cookie
/// store, time-outs, a cancellation from another thread that ends a blocked transfer at once, proxy, extra
/// certificate authorities, TLS versions, the allowed protocols and the answer limits. Perform runs it on a multi
/// handle of its own; TCurlMulti runs several side by side.
class TCurlTransfer
{
public:
    /// SharedCookies: cookies received by any transfer made so are offered on later requests of all of them.
    explicit TCurlTransfer(bool SharedCookies);
    ~TCurlTransfer();
    TCurlTransfer(const TCurlTransfer&) = delete;
    TCurlTransfer& operator=(const TCurlTransfer&) = delete;

    /// Receives each header line as it arrives, line end included; a status line ("HTTP/...") starts a new answer
    /// (a proxy's, a challenge's, the final one).
    std::function<void(std::string_view Line)> OnHeader;
    /// Receives the body of a successful (2xx) answer piece by piece. An error answer's body goes to ErrorBody.
    std::function<void(const char* Data, std::size_t Size)> OnBody;
    /// Called after each body piece with the body bytes of the current answer received so far.
    std::function<void(std::int64_t BytesReceived)> OnProgress;
    /// The body of the last error answer (a status outside 2xx), at most MaxErrorBodySize bytes.
    std::string ErrorBody;

    /// Performs one request. Failures of the library are reported in the outcome, not raised.
    TCurlOutcome Perform(const TCurlRequest& Request);
    /// Ends the running transfer at once from any thread (on whichever multi handle it runs), and every later one
    /// until ClearAbort.
    void Abort();
    /// Lets the next transfer run.
    void ClearAbort() { FAborted = false; }
    /// The multi handle Perform runs on (its connections are this transfer's reused connections).
    TCurlMulti& OwnMulti() { return *FOwnMulti; }

private:
    friend class TCurlMulti;
    struct TState;
    std::unique_ptr<TState> FState;
    std::atomic<bool> FAborted{false};
    /// The multi handle the transfer runs on, for Abort's wake-up.
    std::atomic<TCurlMulti*> FRunningOn{nullptr};
    std::unique_ptr<TCurlMulti> FOwnMulti;
};

} // namespace orb
