#include "net/HTTPDataProvider.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "localisation/Unit_Language.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <zlib.h>

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

/// The process-wide libcurl state: global initialisation and the cookie store every provider shares.
class TCurlGlobal
{
public:
    static TCurlGlobal& Get()
    {
        static TCurlGlobal global;
        return global;
    }

    CURLSH* Share() const { return FShare; }

private:
    TCurlGlobal()
    {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        FShare = curl_share_init();
        curl_share_setopt(FShare, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(FShare, CURLSHOPT_LOCKFUNC, &TCurlGlobal::Lock);
        curl_share_setopt(FShare, CURLSHOPT_UNLOCKFUNC, &TCurlGlobal::Unlock);
        curl_share_setopt(FShare, CURLSHOPT_USERDATA, this);
    }
    ~TCurlGlobal()
    {
        curl_share_cleanup(FShare);
        curl_global_cleanup();
    }

    static void Lock(CURL*, curl_lock_data Data, curl_lock_access, void* User)
    {
        static_cast<TCurlGlobal*>(User)->FLocks[Data % CURL_LOCK_DATA_LAST].lock();
    }
    static void Unlock(CURL*, curl_lock_data Data, void* User)
    {
        static_cast<TCurlGlobal*>(User)->FLocks[Data % CURL_LOCK_DATA_LAST].unlock();
    }

    CURLSH* FShare = nullptr;
    std::mutex FLocks[CURL_LOCK_DATA_LAST];
};

/// Decodes a gzip (RFC 1952) or zlib (RFC 1950) stream piece by piece, handing the output on as it is made.
class TStreamInflater
{
public:
    explicit TStreamInflater(bool Gzip) : FGzip(Gzip)
    {
        if (inflateInit2(&FStream, Gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK)
            throw EDecompressionError("Cannot start decompression");
    }
    ~TStreamInflater() { inflateEnd(&FStream); }
    TStreamInflater(const TStreamInflater&) = delete;
    TStreamInflater& operator=(const TStreamInflater&) = delete;

    /// Decodes the next piece of the body; Out receives each decoded piece. Bytes after the stream's end are
    /// ignored, as the whole-body decoder does.
    void Feed(const char* Data, size_t Size, const std::function<void(const char*, size_t)>& Out)
    {
        FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data));
        FStream.avail_in = static_cast<uInt>(Size);
        while (!FEnded)
        {
            FStream.next_out = reinterpret_cast<Bytef*>(FBuffer.get());
            FStream.avail_out = BufferSize;
            const int rc = inflate(&FStream, Z_NO_FLUSH);
            const size_t produced = BufferSize - FStream.avail_out;
            if (produced != 0)
                Out(FBuffer.get(), produced);
            if (rc == Z_STREAM_END)
                FEnded = true;
            else if (rc == Z_BUF_ERROR)
                break; // all input taken and all output given: the next piece is needed
            else if (rc != Z_OK)
                Fail(FStream.msg != nullptr ? FStream.msg : "the data is damaged");
            else if (FStream.avail_in == 0 && FStream.avail_out != 0)
                break;
        }
    }

    /// Raises unless the stream reached its end: a body cut short must not pass for a complete one.
    void Finish() const
    {
        if (!FEnded)
            Fail("the data ends too early");
    }

private:
    static constexpr uInt BufferSize = 64 * 1024;

    [[noreturn]] void Fail(const char* Reason) const
    {
        throw EDecompressionError(std::string("Cannot decode the ") + (FGzip ? "gzip" : "deflate") +
                                  " answer: " + Reason);
    }

    z_stream FStream{};
    bool FGzip;
    bool FEnded = false;
    std::unique_ptr<char[]> FBuffer = std::make_unique<char[]>(BufferSize);
};

/// The status code of a status line such as "HTTP/1.1 200 OK"; 0 when it names none.
int StatusOfLine(std::string_view StatusLine)
{
    const auto space = StatusLine.find(' ');
    if (space == std::string_view::npos)
        return 0;
    int code = 0;
    const char* first = StatusLine.data() + space + 1;
    const auto [end, ec] = std::from_chars(first, StatusLine.data() + StatusLine.size(), code);
    return ec == std::errc() && end == first + 3 ? code : 0;
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

/// The libcurl handles of one provider and the state of its transfer in progress.
struct THTTPDataProvider::TTransfer
{
    CURL* Easy = nullptr;
    CURLM* Multi = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    std::chrono::steady_clock::time_point LastActivity;
    bool Connected = false;
    curl_off_t LastUploaded = 0;
    std::exception_ptr CallbackError;
    THTTPDataProvider* Owner = nullptr;
    curl_slist* Headers = nullptr;
    int HeaderKey = -1;

    /// Where the body of the current answer goes.
    enum class TBodyMode
    {
        Undecided,    ///< no body byte seen yet
        Collect,      ///< into InputStream (up to MaxAnswerSize)
        CollectCoded, ///< into InputStream and, decoded through Inflater, into Decoded (each up to MaxAnswerSize)
        CollectError, ///< an error answer: into InputStream up to MaxErrorBodySize, then reading stops
        Pass,         ///< to OnData as it arrives
        Decode        ///< through Inflater to OnData
    };
    TBodyMode BodyMode = TBodyMode::Undecided;
    std::unique_ptr<TStreamInflater> Inflater;
    /// The decoded body of a gzip or deflate answer that is collected in memory.
    std::string Decoded;
    /// Hands decoded pieces to Decoded (kept to build it once, not per piece).
    std::function<void(const char*, size_t)> DecodedSink;
    /// The error answer's body was longer than MaxErrorBodySize: the transfer was stopped on purpose.
    bool ErrorBodyCut = false;
    /// Body bytes of the current answer received so far, as they came over the wire.
    std::int64_t BodyBytes = 0;
    /// The handshakes of this request carry the TLS fallback signal (RFC 7507).
    bool SendFallbackSignal = false;

    /// Forgets the body of the previous answer (a challenge, a proxy's answer, an earlier attempt).
    void StartAnswer()
    {
        BodyMode = TBodyMode::Undecided;
        Inflater.reset();
        Decoded.clear();
        ErrorBodyCut = false;
        BodyBytes = 0;
        Owner->InputStream.clear();
    }

    /// Appends a piece of an answer held in memory; an answer growing past MaxAnswerSize is refused before it is.
    void Hold(std::string& Target, const char* Data, size_t Size) const
    {
        if (static_cast<std::int64_t>(Target.size() + Size) > MaxAnswerSize)
            throw AnswerTooLargeError(Owner->URL.URL_String());
        Target.append(Data, Size);
    }

    /// Chooses where the body goes once the answer's headers are complete.
    void DecideBody()
    {
        const THTTPResponse& response = Owner->HTTP_Client.Response;
        const int status = StatusOfLine(response.ResponseText);
        if (status < 200 || status > 299)
        {
            // Only the beginning of an error answer is kept for its exception; a huge one is not read to its end.
            BodyMode = TBodyMode::CollectError;
            return;
        }
        const std::string coding = response.Header("Content-Encoding");
        const bool gzip = SameText(coding, "gzip");
        const bool coded = gzip || SameText(coding, "deflate");
        if (coded)
            Inflater = std::make_unique<TStreamInflater>(gzip);
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

    static size_t Write(char* Data, size_t Size, size_t Count, void* User)
    {
        auto* self = static_cast<TTransfer*>(User);
        try
        {
            const size_t size = Size * Count;
            self->LastActivity = std::chrono::steady_clock::now();
            if (self->BodyMode == TBodyMode::Undecided)
                self->DecideBody();
            switch (self->BodyMode)
            {
            case TBodyMode::Pass:
                self->Owner->OnData(Data, size);
                break;
            case TBodyMode::Decode:
                self->Inflater->Feed(Data, size, self->Owner->OnData);
                break;
            case TBodyMode::CollectCoded:
                self->Hold(self->Owner->InputStream, Data, size);
                self->Inflater->Feed(Data, size, self->DecodedSink);
                break;
            case TBodyMode::CollectError:
                if (!KeepErrorBody(self->Owner->InputStream, Data, size))
                {
                    self->ErrorBodyCut = true;
                    return 0; // ends the transfer; the error is raised from what was kept
                }
                break;
            default:
                self->Hold(self->Owner->InputStream, Data, size);
                break;
            }
            self->BodyBytes += static_cast<std::int64_t>(size);
            if (self->Owner->HTTP_Client.OnWork)
                self->Owner->HTTP_Client.OnWork(self->BodyBytes);
            return size;
        }
        catch (...)
        {
            self->CallbackError = std::current_exception();
            return 0;
        }
    }

    static size_t Header(char* Data, size_t Size, size_t Count, void* User)
    {
        auto* self = static_cast<TTransfer*>(User);
        self->LastActivity = std::chrono::steady_clock::now();
        THTTPResponse& response = self->Owner->HTTP_Client.Response;
        const std::string_view line(Data, Size * Count);
        if (line.starts_with("HTTP/"))
        {
            // Every answer (a proxy's, a Digest challenge, the final one) starts afresh.
            response.ResponseText = std::string(Trimmed(line));
            response.RawHeaders.clear();
            // A challenged request is answered again; only the final answer's body is kept.
            self->StartAnswer();
        }
        else if (!Trimmed(line).empty())
        {
            response.RawHeaders += std::string(Trimmed(line)) + "\r\n";
        }
        return Size * Count;
    }

    static int PreRequest(void* User, char*, char*, int, int)
    {
        auto* self = static_cast<TTransfer*>(User);
        self->Connected = true;
        self->LastActivity = std::chrono::steady_clock::now();
        return CURL_PREREQFUNC_OK;
    }

    static int Progress(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t UploadNow)
    {
        auto* self = static_cast<TTransfer*>(User);
        if (UploadNow != self->LastUploaded)
        {
            self->LastUploaded = UploadNow;
            self->LastActivity = std::chrono::steady_clock::now();
        }
        return 0;
    }

    static CURLcode SSLContext(CURL*, void* SSLCtx, void* User)
    {
        const auto* self = static_cast<const TTransfer*>(User);
        auto* context = static_cast<SSL_CTX*>(SSLCtx);
        // After a fallback to an older version the hello says so (TLS_FALLBACK_SCSV): a server that speaks a newer
        // version then refuses, since the failed first handshake was not its doing.
        if (self->SendFallbackSignal)
            SSL_CTX_set_mode(context, SSL_MODE_SEND_FALLBACK_SCSV);
        // The broker's own CA bundle is added to the system's trust store, not put in its place.
        const std::string& file = self->Owner->HTTP_Client.CAFile;
        if (file.empty())
            return CURLE_OK;
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        return X509_STORE_load_file(store, file.c_str()) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
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

THTTPDataProvider::THTTPDataProvider() : FTransfer(std::make_unique<TTransfer>())
{
    FollowLanguage();
    CURLSH* share = TCurlGlobal::Get().Share();
    HTTP_Client.UserAgent = orb::DefaultUserAgent();
    HTTP_Client.CAFile = orb::DefaultCAFile();
    FTransfer->Owner = this;
    FTransfer->Easy = curl_easy_init();
    FTransfer->Multi = curl_multi_init();
    if (FTransfer->Easy == nullptr || FTransfer->Multi == nullptr)
        throw Exception("Cannot create the HTTP client");
    CURL* easy = FTransfer->Easy;
    curl_easy_setopt(easy, CURLOPT_SHARE, share);
    // Without a cookie file name the cookie engine stays off for this handle, shared store or not.
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, FTransfer->ErrorBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TTransfer::Write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, FTransfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TTransfer::Header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, FTransfer.get());
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &TTransfer::PreRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, FTransfer.get());
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TTransfer::Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, FTransfer.get());
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TTransfer::SSLContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, FTransfer.get());
    // Neither a request nor a redirect may reach another protocol libcurl knows (file, ftp, gopher and the like).
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024L);
}

THTTPDataProvider::~THTTPDataProvider()
{
    if (FTransfer->Multi != nullptr)
        curl_multi_cleanup(FTransfer->Multi);
    if (FTransfer->Easy != nullptr)
        curl_easy_cleanup(FTransfer->Easy);
    curl_slist_free_all(FTransfer->Headers);
}

void THTTPDataProvider::Abort()
{
    ResultCode = httpAborted;
    curl_multi_wakeup(FTransfer->Multi);
}

void THTTPDataProvider::ChangeSSLVersion()
{
    FSSLVersion = LastSSLVersion == sslvTLSv1 ? sslvTLSv1_2 : sslvTLSv1;
    FFallback = FSSLVersion == sslvTLSv1;
}

void THTTPDataProvider::GetString(std::string& Data)
{
    LastSSLVersion = FSSLVersion;
    ResultCode = httpSuccess;
    AuthorizationString.clear();
    try
    {
        InputStream.clear();
        try
        {
            Send();
        }
        catch (const ESSLError&)
        {
            ChangeSSLVersion();
            InputStream.clear();
            Send();
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
}

void THTTPDataProvider::Send()
{
    TTransfer& t = *FTransfer;
    CURL* easy = t.Easy;
    HTTP_Client.Response = THTTPResponse{};
    t.ErrorBuffer[0] = '\0';
    t.Connected = false;
    t.LastUploaded = 0;
    t.CallbackError = nullptr;
    t.StartAnswer();
    t.LastActivity = std::chrono::steady_clock::now();

    const std::string address = URL.URL_String();
    if (!SameText(URL.Protocol, "http") && !SameText(URL.Protocol, "https"))
        throw ProtocolRefusedError(address);
    curl_easy_setopt(easy, CURLOPT_URL, address.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, HTTP_Client.UserAgent.c_str());

    // The header list is kept while its inputs stay the same: rebuilding it is a measurable share of a small GET.
    const int headerKey = (FCompression ? 1 : 0) | (URL.Body.empty() ? 0 : URL.BodyType == btParameters ? 2 : 4);
    if (t.Headers == nullptr || t.HeaderKey != headerKey)
    {
        curl_slist_free_all(t.Headers);
        // libcurl would add Accept and Expect of its own; the launcher's requests carry neither.
        curl_slist* headers = curl_slist_append(nullptr, "Accept:");
        headers = curl_slist_append(headers, "Expect:");
        if (FCompression)
            headers = curl_slist_append(headers, "Accept-Encoding: gzip, deflate");
        if (!URL.Body.empty())
            headers = curl_slist_append(headers, URL.BodyType == btParameters
                                                     ? "Content-Type: application/x-www-form-urlencoded"
                                                     : "Content-Type: application/octet-stream");
        t.Headers = headers;
        t.HeaderKey = headerKey;
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    }
    if (!URL.Body.empty())
    {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, URL.Body.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(URL.Body.size()));
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
    }
    else
    {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }
    // The progress callback only tells upload activity apart from a stall; downloads are seen by the write callback.
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, URL.Body.empty() ? 1L : 0L);

    // Digest only, answered by libcurl for the request's real method; other challenges end in the 401 error.
    if (!URL.UserName.empty())
    {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_DIGEST));
        curl_easy_setopt(easy, CURLOPT_USERNAME, URL.UserName.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, URL.Password.c_str());
    }
    else
    {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_NONE));
        curl_easy_setopt(easy, CURLOPT_USERNAME, nullptr);
        curl_easy_setopt(easy, CURLOPT_PASSWORD, nullptr);
    }

    if (!HTTP_Client.ProxyServer.empty())
    {
        const std::string proxy = "http://" + HTTP_Client.ProxyServer + ":" + std::to_string(HTTP_Client.ProxyPort);
        curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
        if (!HTTP_Client.ProxyUsername.empty())
        {
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, HTTP_Client.ProxyUsername.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, HTTP_Client.ProxyPassword.c_str());
        }
        else
        {
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, nullptr);
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, nullptr);
        }
    }
    else
    {
        // An empty string, not null: null would let libcurl take a proxy from the environment.
        curl_easy_setopt(easy, CURLOPT_PROXY, "");
    }

    switch (FSSLVersion)
    {
    case sslvTLSv1:
    case sslvTLSv1_1: {
        const long version =
            FSSLVersion == sslvTLSv1
                ? (static_cast<long>(CURL_SSLVERSION_TLSv1_0) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_0))
                : (static_cast<long>(CURL_SSLVERSION_TLSv1_1) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_1));
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, version);
        // OpenSSL 3 refuses the old protocol versions at its default security level.
        curl_easy_setopt(easy, CURLOPT_SSL_CIPHER_LIST, "DEFAULT:@SECLEVEL=0");
        break;
    }
    case sslvTLSv1_2:
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(easy, CURLOPT_SSL_CIPHER_LIST, nullptr);
        break;
    }
    t.SendFallbackSignal = FFallback && FSSLVersion != sslvTLSv1_2;

    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::max(1, HTTP_Client.ConnectTimeout)));
    curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, FFreshConnect ? 1L : 0L);
    FFreshConnect = false;

    // The multi interface lets Abort wake the transfer at once (a stalled socket gives no callback to stop in).
    curl_multi_add_handle(t.Multi, easy);
    CURLcode result = CURLE_OK;
    bool finished = false;
    bool aborted = false;
    bool readTimedOut = false;
    const auto readTimeout = std::chrono::milliseconds(std::max(1, HTTP_Client.ReadTimeout));
    while (!finished)
    {
        int running = 0;
        curl_multi_perform(t.Multi, &running);
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(t.Multi, &left))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy)
            {
                result = msg->data.result;
                finished = true;
            }
        if (finished)
            break;
        if (ResultCode == httpAborted)
        {
            aborted = true;
            break;
        }
        int waitMs = 1000;
        if (t.Connected)
        {
            const auto idle = std::chrono::steady_clock::now() - t.LastActivity;
            if (idle >= readTimeout)
            {
                readTimedOut = true;
                break;
            }
            waitMs = static_cast<int>(std::clamp<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(readTimeout - idle).count(), 1, 1000));
        }
        curl_multi_poll(t.Multi, nullptr, 0, waitMs, nullptr);
    }
    // Removing an unfinished transfer closes its connection without a word to the peer.
    curl_multi_remove_handle(t.Multi, easy);

    if (t.CallbackError)
        std::rethrow_exception(t.CallbackError);
    if (aborted)
        throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
    if (readTimedOut)
        throw EReadTimeout("Read timed out.");
    if (t.ErrorBodyCut)
    {
        // The transfer was stopped on purpose inside a long error answer: the error is that answer's status.
        MarkErrorBodyCut(InputStream);
        HTTP_Client.Response.ResponseCode = StatusOfLine(HTTP_Client.Response.ResponseText);
        RaiseForStatus();
    }
    if (result != CURLE_OK)
        RaiseTransferError(result, t.ErrorBuffer[0] != '\0' ? t.ErrorBuffer : curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    HTTP_Client.Response.ResponseCode = static_cast<int>(status);
    RaiseForStatus();
}

void THTTPDataProvider::RaiseTransferError(int CurlCode, const std::string& Detail)
{
    switch (static_cast<CURLcode>(CurlCode))
    {
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE: {
        long connectCode = 0;
        curl_easy_getinfo(FTransfer->Easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
        if (connectCode >= 300)
        {
            // The proxy refused the tunnel; its answer is the error, as for any other status.
            HTTP_Client.Response.ResponseCode = static_cast<int>(connectCode);
            throw EHTTPProtocolException(static_cast<int>(connectCode), HTTP_Client.Response.ResponseText,
                                         HTTP_Client.Response.RawHeaders, InputStream);
        }
        if (ResultCode == httpAborted)
            throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
        throw EConnectionClosed("Connection closed: " + Detail);
    }
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_WEIRD_SERVER_REPLY:
        // An answer without a status line: libcurl refuses it; the launcher reports it as a read time-out.
        if (Detail.find("HTTP/0.9") != std::string::npos || CurlCode == CURLE_WEIRD_SERVER_REPLY)
            throw EReadTimeout("HTTP Read Timeout");
        throw ProtocolRefusedError(URL.URL_String());
    case CURLE_OPERATION_TIMEDOUT:
        throw EConnectTimeout("Connect timed out: " + Detail);
    case CURLE_SSL_CONNECT_ERROR:
        if (Detail.find("inappropriate fallback") != std::string::npos)
            throw ESSLError("TLS handshake failed: the server refused the fallback to an older TLS version because it "
                            "speaks a newer one (inappropriate fallback). The failed first attempt may have been "
                            "forced by someone on the way, so the request was stopped for safety.");
        throw ESSLError("TLS handshake failed: " + Detail);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        throw ECertificateError("The server's certificate could not be verified (" + Detail +
                                "); the connection was refused for safety.");
    default:
        throw ESocketError(Detail);
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
