#include "net/HTTPDataProvider.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "localisation/Unit_Language.h"
#include "net/CurlTransfer.h"
#include "net/ProxySettings.h"
#include "net/StreamInflater.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <memory>
#include <mutex>
#include <new>

namespace orb
{

namespace
{

struct UrlDeleter
{
    void operator()(CURLU* Url) const { curl_url_cleanup(Url); }
};

struct CurlText
{
    char* Text = nullptr;
    ~CurlText() { curl_free(Text); }
};

// One part of a parsed address; empty when the address has none.
std::string GetPart(CURLU* Url, CURLUPart Part, CURLUcode* Code = nullptr)
{
    CurlText part;
    CURLUcode rc = curl_url_get(Url, Part, &part.Text, 0);
    if (Code)
        *Code = rc;
    return rc == CURLUE_OK && part.Text ? std::string(part.Text) : std::string();
}

bool IsUnreserved(unsigned char C)
{
    if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9'))
        return true;
    switch (C)
    {
    case '!':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '-':
    case '.':
    case '_':
    case '~':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string EncodeParameterBytes(std::string_view Bytes)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Bytes.size() * 3);
    for (char ch : Bytes)
    {
        auto c = static_cast<unsigned char>(ch);
        if (c == ' ')
            out += '+';
        else if (IsUnreserved(c))
            out += static_cast<char>(c);
        else
        {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
        }
    }
    return out;
}

void TURL::SetURL(const std::string& URL_String)
{
    // A local address keeps everything after "file://" as written (it may hold drive letters and
    // backslashes, which no URI parser accepts).
    if (URL_String.rfind("file://", 0) == 0)
    {
        Protocol = "file";
        std::string rest = URL_String.substr(7);
        // Backslash and colon end the folder part as on Windows; the slash too, this system's separator.
        auto cut = rest.find_last_of("\\:/");
        Path = cut == std::string::npos ? std::string() : rest.substr(0, cut + 1);
        Document = cut == std::string::npos ? rest : rest.substr(cut + 1);
        return;
    }

    // The URI parser normalises the host (percent-decoding, numeric IPv4 forms) one step at a time: "3%33166"
    // becomes "33166", which read again is the address 0.0.129.142. The parts are taken once they no longer change,
    // so that the address written by URL_String names the same parts when it is read back.
    std::string text = URL_String;
    for (int round = 0;; ++round)
    {
        std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
        if (!url)
            throw std::bad_alloc();
        CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, text.c_str(),
                                    CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE);
        if (rc == CURLUE_BAD_PORT_NUMBER)
            throw EConvertError("Invalid port number in the address \"" + URL_String + "\"");
        if (rc != CURLUE_OK)
            throw EConvertError("Invalid address \"" + URL_String + "\": " + curl_url_strerror(rc));

        const std::string protocol = GetPart(url.get(), CURLUPART_SCHEME);
        const std::string host = GetPart(url.get(), CURLUPART_HOST);
        CURLUcode portRc;
        const std::string portText = GetPart(url.get(), CURLUPART_PORT, &portRc);
        const int port =
            portRc == CURLUE_OK && !portText.empty() ? StrToInt(portText) : (SameText(protocol, "https") ? 443 : 80);
        std::string path = GetPart(url.get(), CURLUPART_PATH);
        if (path.empty() || path[0] != '/')
            path.insert(0, "/");
        const auto slash = path.rfind('/');
        const bool stable = round > 0 && protocol == Protocol && host == Host && port == Port &&
                            path.substr(0, slash + 1) == Path && path.substr(slash + 1) == Document;
        Protocol = protocol;
        Host = host;
        Port = port;
        Path = path.substr(0, slash + 1);
        Document = path.substr(slash + 1);
        if (stable)
            break;
        if (round == 3)
            throw EConvertError("Invalid address \"" + URL_String + "\": its host name does not settle");
        text = Protocol + "://" + Host + ":" + std::to_string(Port) + Path + Document;
    }
    ClearParameters();
}

std::string TURL::EncodedParameters() const
{
    std::string out;
    for (int i = 0; i < Parameters.Count(); ++i)
    {
        if (i > 0)
            out += '&';
        std::string value = Parameters.ValueFromIndex(i);
        out += EncodeParameterBytes(Utf8ToAnsi(Parameters.Names(i)));
        out += '=';
        out += EncodeParameterBytes(UTF8_Parameters ? value : Utf8ToAnsi(value));
    }
    return out;
}

std::string TURL::URL_String() const
{
    std::string out = Protocol + "://" + Host + ":" + std::to_string(Port) + Path + Document;
    if (Parameters.Count() > 0)
        out += "?" + EncodedParameters();
    return out;
}

std::string TURL::RequestString() const
{
    std::string out = URL_String();
    if (Body.empty())
        return out;
    if (BodyType != btBinary)
        out += "\r\nPOST\r\n" + Body;
    else
        out += "\r\n<<POST " + std::to_string(Body.size()) + " BYTES OF BINARY DATA>>";
    return out;
}

void TURL::ClearParameters()
{
    Parameters.Clear();
    Body.clear();
    BodyType = btText;
}

void TURL::MoveParametersToBody()
{
    Body = EncodedParameters();
    BodyType = btParameters;
    Parameters.Clear();
}

// ---------------------------------------------------------------------------------------------------------------
// THTTPDataProvider

namespace
{

std::mutex GDefaultsLock;
std::string GDefaultUserAgent = "HTTPDataProvider";
std::string GDefaultCAFile;
std::string GRequestAbortedMessage = "Request to server was cancelled by user";

std::string_view Trimmed(std::string_view S)
{
    while (!S.empty() && (S.front() == ' ' || S.front() == '\t' || S.front() == '\r' || S.front() == '\n'))
        S.remove_prefix(1);
    while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r' || S.back() == '\n'))
        S.remove_suffix(1);
    return S;
}

} // namespace

std::string DefaultUserAgent()
{
    std::lock_guard lock(GDefaultsLock);
    return GDefaultUserAgent;
}

void SetDefaultUserAgent(const std::string& Value)
{
    std::lock_guard lock(GDefaultsLock);
    GDefaultUserAgent = Value;
}

std::string DefaultCAFile()
{
    std::lock_guard lock(GDefaultsLock);
    return GDefaultCAFile;
}

void SetDefaultCAFile(const std::string& Value)
{
    std::lock_guard lock(GDefaultsLock);
    GDefaultCAFile = Value;
}

std::string RequestAbortedMessage()
{
    std::lock_guard lock(GDefaultsLock);
    return GRequestAbortedMessage;
}

void SetRequestAbortedMessage(const std::string& Value)
{
    std::lock_guard lock(GDefaultsLock);
    GRequestAbortedMessage = Value;
}

EHTTPDataProvider AnswerTooLargeError(const std::string& Address)
{
    return EHTTPDataProvider("The server's answer from " + Address + " is larger than " +
                                 std::to_string(MaxAnswerSize / (1024 * 1024)) + " MB; the request was stopped.",
                             httpUndefined);
}

EHTTPDataProvider ProtocolRefusedError(const std::string& Address)
{
    return EHTTPDataProvider("The address " + Address + " was refused: only http and https addresses are allowed.",
                             httpUndefined);
}

bool KeepErrorBody(std::string& Body, const char* Data, std::size_t Size)
{
    const std::size_t room = Body.size() < MaxErrorBodySize ? MaxErrorBodySize - Body.size() : 0;
    Body.append(Data, std::min(room, Size));
    return Size <= room;
}

void MarkErrorBodyCut(std::string& Body)
{
    Body += "\r\n(answer cut after " + std::to_string(MaxErrorBodySize) + " bytes)";
}

EHTTPServiceUnavailable::EHTTPServiceUnavailable(int RetryAfter)
    : Exception(RetryAfter != 0
                    ? "The system is temporarily unavailable due to scheduled maintenance and will be available in "
                      "about " +
                          std::to_string(RetryAfter / 60 + 1) + (RetryAfter / 60 != 0 ? " minutes." : " minute.")
                    : "We are currently performing scheduled maintenance. We will be back soon!"),
      RetryAfter(RetryAfter)
{}

std::string THTTPResponse::Header(std::string_view Name) const
{
    std::string_view rest = RawHeaders;
    while (!rest.empty())
    {
        const auto end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos && SameText(Trimmed(line.substr(0, colon)), Name))
            return std::string(Trimmed(line.substr(colon + 1)));
    }
    return "";
}

std::string THTTPResponse::ContentType() const
{
    const std::string value = Header("Content-Type");
    return std::string(Trimmed(std::string_view(value).substr(0, value.find(';'))));
}

/// The transfer of one provider and where the body of its answer in progress goes.
struct THTTPDataProvider::TTransfer
{
    explicit TTransfer(THTTPDataProvider* AOwner) : Owner(AOwner), Curl(/*SharedCookies=*/true) {}

    THTTPDataProvider* Owner;
    TCurlTransfer Curl;

    /// Where the body of a successful answer goes.
    enum class TBodyMode
    {
        Undecided,    ///< no body byte seen yet
        Collect,      ///< into InputStream (up to MaxAnswerSize)
        CollectCoded, ///< into InputStream and, decoded through Inflater, into Decoded (each up to MaxAnswerSize)
        Pass,         ///< to OnData as it arrives
        Decode        ///< through Inflater to OnData
    };
    TBodyMode BodyMode = TBodyMode::Undecided;
    std::unique_ptr<TStreamInflater> Inflater;
    /// The decoded body of a gzip or deflate answer that is collected in memory.
    std::string Decoded;
    /// Hands decoded pieces to Decoded (kept to build it once, not per piece).
    std::function<void(const char*, size_t)> DecodedSink;

    /// Forgets the body of the previous answer (a challenge, a proxy's answer, an earlier attempt).
    void StartAnswer()
    {
        BodyMode = TBodyMode::Undecided;
        Inflater.reset();
        Decoded.clear();
        Owner->InputStream.clear();
    }

    /// Appends a piece of an answer held in memory; an answer growing past MaxAnswerSize is refused before it is.
    void Hold(std::string& Target, const char* Data, size_t Size) const
    {
        if (static_cast<std::int64_t>(Target.size() + Size) > MaxAnswerSize)
            throw AnswerTooLargeError(Owner->URL.URL_String());
        Target.append(Data, Size);
    }

    /// Chooses where the body of a successful answer goes once its headers are complete.
    void DecideBody()
    {
        const std::string coding = Owner->HTTP_Client.Response.Header("Content-Encoding");
        const bool gzip = SameText(coding, "gzip");
        const bool coded = gzip || SameText(coding, "deflate");
        if (coded)
        {
            const std::string name = gzip ? "gzip" : "deflate";
            Inflater = std::make_unique<TStreamInflater>(
                gzip ? TInflateFormat::Gzip : TInflateFormat::Zlib, /*Members=*/false,
                TInflateMessages{"Cannot decode the " + name + " answer: ", "the data is damaged",
                                 "the data ends too early"});
        }
        if (Owner->OnData)
            BodyMode = coded ? TBodyMode::Decode : TBodyMode::Pass;
        else if (coded)
        {
            // Decoded while it arrives, so that a small coded body that expands without end is stopped in time.
            BodyMode = TBodyMode::CollectCoded;
            if (!DecodedSink)
                DecodedSink = [this](const char* Piece, size_t Length) { Hold(Decoded, Piece, Length); };
        }
        else
            BodyMode = TBodyMode::Collect;
    }

    void Body(const char* Data, size_t Size)
    {
        if (BodyMode == TBodyMode::Undecided)
            DecideBody();
        switch (BodyMode)
        {
        case TBodyMode::Pass:
            Owner->OnData(Data, Size);
            break;
        case TBodyMode::Decode:
            Inflater->Feed(Data, Size, Owner->OnData);
            break;
        case TBodyMode::CollectCoded:
            Owner->InputStream.append(Data, Size);
            Inflater->Feed(Data, Size, DecodedSink);
            break;
        default:
            Owner->InputStream.append(Data, Size);
            break;
        }
    }

    void Header(std::string_view Line)
    {
        THTTPResponse& response = Owner->HTTP_Client.Response;
        if (Line.starts_with("HTTP/"))
        {
            // Every answer (a proxy's, a Digest challenge, the final one) starts afresh.
            response.ResponseText = std::string(Trimmed(Line));
            response.RawHeaders.clear();
            StartAnswer();
        }
        else if (!Trimmed(Line).empty())
        {
            response.RawHeaders += std::string(Trimmed(Line)) + "\r\n";
        }
    }
};

namespace
{

/// Keeps the cancellation text in the loaded language from the first provider on.
void FollowLanguage()
{
    static std::once_flag once;
    std::call_once(once, [] {
        AddLanguageLoadedHook(
            [](TLanguage& Language) { SetRequestAbortedMessage(Language.Get("RequestAbortedMessage")); });
        if (LanguageTable)
            SetRequestAbortedMessage(LanguageTable->Get("RequestAbortedMessage"));
    });
}

} // namespace

THTTPDataProvider::THTTPDataProvider()
    : FTransfer(std::make_unique<TTransfer>(this)), FRequest(std::make_unique<TCurlRequest>())
{
    FollowLanguage();
    HTTP_Client.UserAgent = orb::DefaultUserAgent();
    HTTP_Client.CAFile = orb::DefaultCAFile();
    FTransfer->Curl.OnHeader = [t = FTransfer.get()](std::string_view Line) { t->Header(Line); };
    FTransfer->Curl.OnBody = [t = FTransfer.get()](const char* Data, size_t Size) { t->Body(Data, Size); };
}

THTTPDataProvider::~THTTPDataProvider() = default;

void THTTPDataProvider::Abort()
{
    ResultCode = httpAborted;
    FTransfer->Curl.Abort();
}

TCurlTransfer& THTTPDataProvider::Transfer()
{
    return FTransfer->Curl;
}

void THTTPDataProvider::ChangeSSLVersion()
{
    FSSLVersion = LastSSLVersion == sslvTLSv1 ? sslvTLSv1_2 : sslvTLSv1;
    FFallback = FSSLVersion == sslvTLSv1;
}

void THTTPDataProvider::GetString(std::string& Data)
{
    TCurlMulti& multi = FTransfer->Curl.OwnMulti();
    StartRequest(multi);
    for (;;)
    {
        for (auto& done : multi.Run(1000))
            if (FinishRequest(done.Outcome, Data))
                return;
    }
}

void THTTPDataProvider::StartRequest(TCurlMulti& Multi)
{
    LastSSLVersion = FSSLVersion;
    // An Abort before the request starts has no effect on it.
    FTransfer->Curl.ClearAbort();
    ResultCode = httpSuccess;
    AuthorizationString.clear();
    InputStream.clear();
    FMulti = &Multi;
    FTLSRetried = false;
    try
    {
        Send();
    }
    catch (...)
    {
        FFreshConnect = true;
        throw;
    }
}

bool THTTPDataProvider::FinishRequest(const TCurlOutcome& Outcome, std::string& Data)
{
    try
    {
        try
        {
            if (!SendFinished(Outcome))
                return false;
        }
        catch (const ESSLError&)
        {
            if (FTLSRetried)
                throw;
            FTLSRetried = true;
            ChangeSSLVersion();
            InputStream.clear();
            Send();
            return false;
        }
        TTransfer& t = *FTransfer;
        // A successful answer without any body byte has not chosen its way yet.
        if (t.BodyMode == TTransfer::TBodyMode::Undecided)
            t.DecideBody();
        switch (t.BodyMode)
        {
        case TTransfer::TBodyMode::Decode:
        case TTransfer::TBodyMode::CollectCoded:
            t.Inflater->Finish();
            t.Inflater.reset();
            Data = std::move(t.Decoded);
            t.Decoded.clear();
            break;
        case TTransfer::TBodyMode::Pass:
            Data.clear();
            break;
        default:
            Data = InputStream;
            break;
        }
    }
    catch (...)
    {
        // The connection is not reused after a failure: the next request starts on a fresh one.
        FFreshConnect = true;
        throw;
    }
    if (ResultCode == httpAborted)
        throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
    ResultIsBinary = false;
    return true;
}

void THTTPDataProvider::Send()
{
    TTransfer& t = *FTransfer;
    HTTP_Client.Response = THTTPResponse{};
    t.StartAnswer();

    *FRequest = TCurlRequest{};
    TCurlRequest& request = *FRequest;
    FProxyRetried = false;
    request.Address = URL.URL_String();
    if (!SameText(URL.Protocol, "http") && !SameText(URL.Protocol, "https"))
        throw ProtocolRefusedError(request.Address);
    request.UserAgent = HTTP_Client.UserAgent;
    // libcurl would add Accept and Expect of its own; the launcher's requests carry neither.
    request.Headers = {"Accept:", "Expect:"};
    if (FCompression)
        request.Headers.emplace_back("Accept-Encoding: gzip, deflate");
    request.Headers.insert(request.Headers.end(), ExtraHeaders.begin(), ExtraHeaders.end());
    if (!URL.Body.empty())
    {
        request.Headers.emplace_back(URL.BodyType == btParameters ? "Content-Type: application/x-www-form-urlencoded"
                                                                  : "Content-Type: application/octet-stream");
        request.Method = "POST";
        request.Body = URL.Body;
    }
    request.DigestUsername = URL.UserName;
    request.DigestPassword = URL.Password;
    request.Proxy = {HTTP_Client.ProxyServer, HTTP_Client.ProxyPort, HTTP_Client.ProxyUsername,
                     HTTP_Client.ProxyPassword};
    if (HTTP_Client.ProxySystem)
        request.Proxy = SystemProxyOf(request.Address);
    request.CAFile = HTTP_Client.CAFile;
    request.TLS = FSSLVersion == sslvTLSv1     ? TTLSRange::Only10
                  : FSSLVersion == sslvTLSv1_1 ? TTLSRange::Only11
                                               : TTLSRange::From12;
    request.FallbackSignal = FFallback && FSSLVersion != sslvTLSv1_2;
    request.ConnectTimeoutMs = std::max(1, HTTP_Client.ConnectTimeout);
    request.ReadTimeoutMs = std::max(1, HTTP_Client.ReadTimeout);
    request.FreshConnect = FFreshConnect;
    FFreshConnect = false;
    // Bodies handed to OnData are not held, so not limited either.
    request.MaxBody = OnData ? -1 : MaxAnswerSize;
    request.TooLargeError = [this] { return std::make_exception_ptr(AnswerTooLargeError(URL.URL_String())); };
    t.Curl.OnProgress = HTTP_Client.OnWork;
    FMulti->Add(t.Curl, request);
}

bool THTTPDataProvider::SendFinished(const TCurlOutcome& Outcome)
{
    TTransfer& t = *FTransfer;
    TCurlRequest& request = *FRequest;
    const TCurlOutcome& outcome = Outcome;
    if (HTTP_Client.ProxySystem && !FProxyRetried && TakeSystemProxyCredentials(request, outcome))
    {
        HTTP_Client.Response = THTTPResponse{};
        t.StartAnswer();
        FProxyRetried = true;
        FMulti->Add(t.Curl, request);
        return false;
    }
    if (outcome.HookError)
        std::rethrow_exception(outcome.HookError);
    if (outcome.Aborted)
        throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
    if (outcome.ReadTimedOut)
        throw EReadTimeout("Read timed out.");
    const bool errorAnswer = outcome.Status < 200 || outcome.Status > 299;
    if (errorAnswer)
        InputStream = t.Curl.ErrorBody;
    if (outcome.ErrorBodyCut)
    {
        // The transfer was stopped on purpose inside a long error answer: the error is that answer's status.
        MarkErrorBodyCut(InputStream);
        HTTP_Client.Response.ResponseCode = outcome.Status;
        RaiseForStatus();
    }
    if (outcome.Failure != TCurlOutcome::fNone)
        RaiseTransferError(outcome);
    HTTP_Client.Response.ResponseCode = outcome.Status;
    RaiseForStatus();
    return true;
}

void THTTPDataProvider::RaiseTransferError(const TCurlOutcome& Outcome)
{
    const std::string& detail = Outcome.Detail;
    switch (Outcome.Failure)
    {
    case TCurlOutcome::fConnectionLost:
        if (Outcome.ConnectStatus >= 300)
        {
            // The proxy refused the tunnel; its answer is the error, as for any other status.
            HTTP_Client.Response.ResponseCode = Outcome.ConnectStatus;
            throw EHTTPProtocolException(Outcome.ConnectStatus, HTTP_Client.Response.ResponseText,
                                         HTTP_Client.Response.RawHeaders, InputStream);
        }
        if (ResultCode == httpAborted)
            throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
        throw EConnectionClosed("Connection closed: " + detail);
    case TCurlOutcome::fNoStatusLine:
        // An answer without a status line: libcurl refuses it; the launcher reports it as a read time-out.
        throw EReadTimeout("HTTP Read Timeout");
    case TCurlOutcome::fProtocolRefused:
        throw ProtocolRefusedError(URL.URL_String());
    case TCurlOutcome::fTimedOut:
        throw EConnectTimeout("Connect timed out: " + detail);
    case TCurlOutcome::fFallbackRefused:
        throw ESSLError("TLS handshake failed: the server refused the fallback to an older TLS version because it "
                        "speaks a newer one (inappropriate fallback). The failed first attempt may have been "
                        "forced by someone on the way, so the request was stopped for safety.");
    case TCurlOutcome::fTLSHandshake:
        throw ESSLError("TLS handshake failed: " + detail);
    case TCurlOutcome::fCertificate:
        throw ECertificateError("The server's certificate could not be verified (" + detail +
                                "); the connection was refused for safety.");
    default:
        throw ESocketError(detail);
    }
}

void THTTPDataProvider::RaiseForStatus()
{
    const THTTPResponse& response = HTTP_Client.Response;
    const int status = response.ResponseCode;
    if (status >= 200 && status <= 299)
        return;
    if (status <= 0)
        throw EReadTimeout("HTTP Read Timeout");
    if (status == 404)
        throw EHTTPDataProvider("URL: " + URL.URL_String() + " not found", httpNotFound);
    if (status == 500)
        throw EHTTPProtocolException(status,
                                     response.ResponseText + "\r\nPlease restart your application. " +
                                         "If the problem persists please contact Tech Support.",
                                     response.RawHeaders, InputStream);
    if (status == 503 && response.ContentType() == "text/plain" && InputStream.starts_with("Schema Unavailable"))
    {
        int retryAfter = 0;
        const std::string value(Trimmed(response.Header("Retry-After")));
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), retryAfter);
        if (ec != std::errc() || end != value.data() + value.size())
            retryAfter = 0;
        throw EHTTPServiceUnavailable(retryAfter);
    }
    throw EHTTPProtocolException(status, response.ResponseText, response.RawHeaders, InputStream);
}

} // namespace orb
