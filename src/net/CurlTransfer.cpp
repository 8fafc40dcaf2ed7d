#include "net/CurlTransfer.h"

#include "base/Exceptions.h"
#include "net/HTTPDataProvider.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <mutex>

namespace orb
{

namespace
{

/// The process-wide libcurl state: global initialisation (once, before the first handle) and the cookie store
/// that transfers with shared cookies use.
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

long CurlTLSVersion(TTLSRange Range)
{
    switch (Range)
    {
    case TTLSRange::From10:
        return CURL_SSLVERSION_TLSv1_0;
    case TTLSRange::Only10:
        return static_cast<long>(CURL_SSLVERSION_TLSv1_0) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_0);
    case TTLSRange::Only11:
        return static_cast<long>(CURL_SSLVERSION_TLSv1_1) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_1);
    case TTLSRange::From12:
        return CURL_SSLVERSION_TLSv1_2;
    case TTLSRange::LibraryDefault:
        break;
    }
    return CURL_SSLVERSION_DEFAULT;
}

TCurlOutcome::TFailure FailureOf(CURLcode Code, const std::string& Detail)
{
    switch (Code)
    {
    case CURLE_OK:
        return TCurlOutcome::fNone;
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return TCurlOutcome::fConnectionLost;
    case CURLE_UNSUPPORTED_PROTOCOL:
        // libcurl refuses an answer without a status line (HTTP/0.9) with the same code as a refused protocol.
        return Detail.find("HTTP/0.9") != std::string::npos ? TCurlOutcome::fNoStatusLine
                                                            : TCurlOutcome::fProtocolRefused;
    case CURLE_WEIRD_SERVER_REPLY:
        return TCurlOutcome::fNoStatusLine;
    case CURLE_OPERATION_TIMEDOUT:
        return TCurlOutcome::fTimedOut;
    case CURLE_SSL_CONNECT_ERROR:
        return Detail.find("inappropriate fallback") != std::string::npos ? TCurlOutcome::fFallbackRefused
                                                                          : TCurlOutcome::fTLSHandshake;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return TCurlOutcome::fCertificate;
    default:
        return TCurlOutcome::fOther;
    }
}

} // namespace

/// The libcurl handles of one transfer and the state of the request in progress.
struct TCurlTransfer::TState
{
    TCurlTransfer* Owner = nullptr;
    CURL* Easy = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE] = {};
    curl_slist* HeaderList = nullptr;
    std::vector<std::string> Headers;
    const TCurlRequest* Request = nullptr;

    std::chrono::steady_clock::time_point LastActivity;
    bool Connected = false;
    curl_off_t LastUploaded = 0;
    std::exception_ptr HookError;
    /// The status of the answer being received, from its status line.
    int LineStatus = 0;
    /// Body bytes of the current answer so far, as they came over the wire.
    std::int64_t BodyBytes = 0;
    bool ErrorBodyCut = false;

    void StartAnswer()
    {
        BodyBytes = 0;
        ErrorBodyCut = false;
        Owner->ErrorBody.clear();
    }

    static size_t Write(char* Data, size_t Size, size_t Count, void* User)
    {
        auto* self = static_cast<TState*>(User);
        try
        {
            const size_t size = Size * Count;
            self->LastActivity = std::chrono::steady_clock::now();
            if (self->LineStatus < 200 || self->LineStatus > 299)
            {
                // Only the beginning of an error answer is kept for its exception; a huge one is not read to its end.
                if (!KeepErrorBody(self->Owner->ErrorBody, Data, size))
                {
                    self->ErrorBodyCut = true;
                    return 0;
                }
            }
            else
            {
                const std::int64_t limit = self->Request->MaxBody;
                if (limit >= 0 && self->BodyBytes + static_cast<std::int64_t>(size) > limit)
                {
                    self->HookError = self->Request->TooLargeError();
                    return 0;
                }
                if (self->Owner->OnBody)
                    self->Owner->OnBody(Data, size);
            }
            self->BodyBytes += static_cast<std::int64_t>(size);
            if (self->Owner->OnProgress)
                self->Owner->OnProgress(self->BodyBytes);
            return size;
        }
        catch (...)
        {
            self->HookError = std::current_exception();
            return 0;
        }
    }

    static size_t Header(char* Data, size_t Size, size_t Count, void* User)
    {
        auto* self = static_cast<TState*>(User);
        self->LastActivity = std::chrono::steady_clock::now();
        const std::string_view line(Data, Size * Count);
        try
        {
            if (line.starts_with("HTTP/"))
            {
                // Every answer (a proxy's, a challenge, the final one) starts afresh; only the last one's body is kept.
                self->LineStatus = StatusOfLine(line);
                self->StartAnswer();
            }
            if (self->Owner->OnHeader)
                self->Owner->OnHeader(line);
        }
        catch (...)
        {
            self->HookError = std::current_exception();
            return 0;
        }
        return Size * Count;
    }

    static int PreRequest(void* User, char*, char*, int, int)
    {
        auto* self = static_cast<TState*>(User);
        self->Connected = true;
        self->LastActivity = std::chrono::steady_clock::now();
        return CURL_PREREQFUNC_OK;
    }

    static int Progress(void* User, curl_off_t, curl_off_t, curl_off_t, curl_off_t UploadNow)
    {
        // Tells upload activity apart from a stall; downloads are seen by the write callback.
        auto* self = static_cast<TState*>(User);
        if (UploadNow != self->LastUploaded)
        {
            self->LastUploaded = UploadNow;
            self->LastActivity = std::chrono::steady_clock::now();
        }
        return 0;
    }

    static CURLcode SSLContext(CURL*, void* SSLCtx, void* User)
    {
        const auto* self = static_cast<const TState*>(User);
        auto* context = static_cast<SSL_CTX*>(SSLCtx);
        // After a fallback to an older version the hello says so (TLS_FALLBACK_SCSV): a server that speaks a newer
        // version then refuses, since the failed first handshake was not its doing.
        if (self->Request->FallbackSignal)
            SSL_CTX_set_mode(context, SSL_MODE_SEND_FALLBACK_SCSV);
        // The broker's own CA bundle is added to the system's trust store, not put in its place.
        const std::string& file = self->Request->CAFile;
        if (file.empty())
            return CURLE_OK;
        X509_STORE* store = SSL_CTX_get_cert_store(context);
        return X509_STORE_load_file(store, file.c_str()) == 1 ? CURLE_OK : CURLE_SSL_CACERT_BADFILE;
    }

    void SetHeaders(const std::vector<std::string>& Lines)
    {
        // The list is kept while it stays the same: rebuilding it is a measurable share of a small GET.
        if (HeaderList != nullptr && Lines == Headers)
            return;
        curl_slist_free_all(HeaderList);
        HeaderList = nullptr;
        for (const auto& line : Lines)
            HeaderList = curl_slist_append(HeaderList, line.c_str());
        Headers = Lines;
        curl_easy_setopt(Easy, CURLOPT_HTTPHEADER, HeaderList);
    }

    void Configure(const TCurlRequest& R)
    {
        CURL* easy = Easy;
        curl_easy_setopt(easy, CURLOPT_URL, R.Address.c_str());
        curl_easy_setopt(easy, CURLOPT_USERAGENT, R.UserAgent.empty() ? nullptr : R.UserAgent.c_str());
        SetHeaders(R.Headers);
        if (R.Method == "GET")
        {
            curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, nullptr);
        }
        else
        {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, R.Body.data());
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(R.Body.size()));
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, R.Method == "POST" ? nullptr : R.Method.c_str());
        }
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, R.Body.empty() ? 1L : 0L);

        // Digest only, answered by libcurl for the request's real method; other challenges end in the 401 error.
        const bool digest = !R.DigestUsername.empty();
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(digest ? CURLAUTH_DIGEST : CURLAUTH_NONE));
        curl_easy_setopt(easy, CURLOPT_USERNAME, digest ? R.DigestUsername.c_str() : nullptr);
        curl_easy_setopt(easy, CURLOPT_PASSWORD, digest ? R.DigestPassword.c_str() : nullptr);

        const TCurlProxy& p = R.Proxy;
        if (!p.Server.empty())
        {
            const std::string proxy = "http://" + p.Server + ":" + std::to_string(p.Port);
            curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
            curl_easy_setopt(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
            const bool credentials = !p.Username.empty();
            curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, credentials ? p.Username.c_str() : nullptr);
            curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, credentials ? p.Password.c_str() : nullptr);
        }
        else
        {
            // An empty string, not null: null would let libcurl take a proxy from the environment.
            curl_easy_setopt(easy, CURLOPT_PROXY, "");
        }

        curl_easy_setopt(easy, CURLOPT_SSLVERSION, CurlTLSVersion(R.TLS));
        // OpenSSL 3 refuses the old protocol versions at its default security level.
        const bool legacy = R.TLS == TTLSRange::Only10 || R.TLS == TTLSRange::Only11;
        curl_easy_setopt(easy, CURLOPT_SSL_CIPHER_LIST, legacy ? "DEFAULT:@SECLEVEL=0" : nullptr);

        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, R.ConnectTimeoutMs > 0 ? R.ConnectTimeoutMs : 0L);
        curl_easy_setopt(easy, CURLOPT_FRESH_CONNECT, R.FreshConnect ? 1L : 0L);
    }
};

TCurlTransfer::TCurlTransfer(bool SharedCookies) : FState(std::make_unique<TState>())
{
    CURLSH* share = TCurlGlobal::Get().Share();
    TState& s = *FState;
    s.Owner = this;
    s.Easy = curl_easy_init();
    if (s.Easy == nullptr)
        throw Exception("Cannot create the HTTP client");
    FOwnMulti = std::make_unique<TCurlMulti>();
    CURL* easy = s.Easy;
    curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
    if (SharedCookies)
    {
        curl_easy_setopt(easy, CURLOPT_SHARE, share);
        // Without a cookie file name the cookie engine stays off for this handle, shared store or not.
        curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");
    }
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, s.ErrorBuffer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TState::Write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &s);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TState::Header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &s);
    curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &TState::PreRequest);
    curl_easy_setopt(easy, CURLOPT_PREREQDATA, &s);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &TState::Progress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &s);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &TState::SSLContext);
    curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, &s);
    // Neither a request nor a redirect may reach another protocol libcurl knows (file, ftp, gopher and the like).
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
    // libcurl's default 16 KiB receive buffer halves the throughput of large downloads.
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 128L * 1024L);
}

TCurlTransfer::~TCurlTransfer()
{
    if (TCurlMulti* multi = FRunningOn.load())
        multi->Remove(*this);
    FOwnMulti.reset();
    curl_easy_cleanup(FState->Easy);
    curl_slist_free_all(FState->HeaderList);
}

void TCurlTransfer::Abort()
{
    FAborted = true;
    if (TCurlMulti* multi = FRunningOn.load())
        multi->Wakeup();
}

TCurlOutcome TCurlTransfer::Perform(const TCurlRequest& Request)
{
    TCurlMulti& multi = *FOwnMulti;
    multi.Add(*this, Request);
    for (;;)
    {
        // The multi interface lets Abort wake the transfer at once (a stalled socket gives no callback to stop in).
        auto done = multi.Run(1000);
        if (!done.empty())
            return done.front().Outcome;
    }
}

TCurlMulti::TCurlMulti()
{
    TCurlGlobal::Get();
    FMulti = curl_multi_init();
    if (FMulti == nullptr)
        throw Exception("Cannot create the HTTP client");
}

TCurlMulti::~TCurlMulti()
{
    while (!FActive.empty())
        Remove(*FActive.back());
    curl_multi_cleanup(static_cast<CURLM*>(FMulti));
}

void TCurlMulti::Add(TCurlTransfer& Transfer, const TCurlRequest& Request)
{
    TCurlTransfer::TState& s = *Transfer.FState;
    s.Request = &Request;
    s.ErrorBuffer[0] = '\0';
    s.Connected = false;
    s.LastUploaded = 0;
    s.HookError = nullptr;
    s.LineStatus = 0;
    s.StartAnswer();
    s.LastActivity = std::chrono::steady_clock::now();
    s.Configure(Request);
    curl_multi_add_handle(static_cast<CURLM*>(FMulti), s.Easy);
    FActive.push_back(&Transfer);
    Transfer.FRunningOn = this;
}

void TCurlMulti::Remove(TCurlTransfer& Transfer)
{
    if (std::find(FActive.begin(), FActive.end(), &Transfer) == FActive.end())
        return;
    std::vector<TFinished> ignored;
    TCurlOutcome outcome;
    outcome.Aborted = true;
    Finish(Transfer, outcome, ignored);
}

void TCurlMulti::Wakeup()
{
    curl_multi_wakeup(static_cast<CURLM*>(FMulti));
}

std::vector<TCurlMulti::TFinished> TCurlMulti::Run(int MaxWaitMs)
{
    std::vector<TFinished> done;
    Collect(done);
    // Without transfers it still waits, so that a wait between two attempts can be woken.
    if (!done.empty())
        return done;
    // The longest wait: until the first transfer's read time-out would run out.
    long long waitMs = std::max(0, MaxWaitMs);
    const auto now = std::chrono::steady_clock::now();
    for (TCurlTransfer* t : FActive)
    {
        const TCurlTransfer::TState& s = *t->FState;
        if (!s.Connected || s.Request->ReadTimeoutMs <= 0)
            continue;
        const auto left = std::chrono::milliseconds(s.Request->ReadTimeoutMs) - (now - s.LastActivity);
        waitMs = std::min<long long>(
            waitMs, std::max<long long>(1, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
    curl_multi_poll(static_cast<CURLM*>(FMulti), nullptr, 0, static_cast<int>(waitMs), nullptr);
    Collect(done);
    return done;
}

void TCurlMulti::Collect(std::vector<TFinished>& Done)
{
    auto* multi = static_cast<CURLM*>(FMulti);
    for (std::size_t i = FActive.size(); i-- > 0;)
    {
        if (FActive[i]->FAborted)
        {
            TCurlOutcome outcome;
            outcome.Aborted = true;
            Finish(*FActive[i], outcome, Done);
        }
    }
    if (FActive.empty())
        return;
    int running = 0;
    const CURLMcode performed = curl_multi_perform(multi, &running);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &left))
    {
        if (msg->msg != CURLMSG_DONE)
            continue;
        void* owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
        auto* transfer = static_cast<TCurlTransfer*>(owner);
        TCurlTransfer::TState& s = *transfer->FState;
        TCurlOutcome outcome;
        outcome.Detail = s.ErrorBuffer[0] != '\0' ? s.ErrorBuffer : curl_easy_strerror(msg->data.result);
        outcome.Failure = FailureOf(msg->data.result, outcome.Detail);
        if (outcome.Failure == TCurlOutcome::fNone)
            outcome.Detail.clear();
        Finish(*transfer, outcome, Done);
    }
    const auto now = std::chrono::steady_clock::now();
    for (std::size_t i = FActive.size(); i-- > 0;)
    {
        TCurlTransfer& t = *FActive[i];
        const TCurlTransfer::TState& s = *t.FState;
        TCurlOutcome outcome;
        if (performed != CURLM_OK)
        {
            outcome.Failure = TCurlOutcome::fOther;
            outcome.Detail = curl_multi_strerror(performed);
        }
        else if (s.Connected && s.Request->ReadTimeoutMs > 0 &&
                 now - s.LastActivity >= std::chrono::milliseconds(s.Request->ReadTimeoutMs))
            outcome.ReadTimedOut = true;
        else
            continue;
        Finish(t, outcome, Done);
    }
}

void TCurlMulti::Finish(TCurlTransfer& Transfer, TCurlOutcome Outcome, std::vector<TFinished>& Done)
{
    TCurlTransfer::TState& s = *Transfer.FState;
    CURL* easy = s.Easy;
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    long connectStatus = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    curl_off_t connectTime = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectTime);
    // Removing an unfinished transfer closes its connection without a word to the peer.
    curl_multi_remove_handle(static_cast<CURLM*>(FMulti), easy);
    FActive.erase(std::find(FActive.begin(), FActive.end(), &Transfer));
    Transfer.FRunningOn = nullptr;
    s.Request = nullptr;

    Outcome.HookError = s.HookError;
    Outcome.ErrorBodyCut = s.ErrorBodyCut;
    // A transfer stopped inside a long error answer has that answer's status even where libcurl has none yet.
    Outcome.Status = s.ErrorBodyCut ? s.LineStatus : static_cast<int>(status);
    Outcome.ConnectStatus = static_cast<int>(connectStatus);
    Outcome.Connected = s.Connected || connectTime > 0;
    if (Outcome.Aborted || Outcome.ReadTimedOut || Outcome.HookError || Outcome.ErrorBodyCut)
    {
        Outcome.Failure = TCurlOutcome::fNone;
        Outcome.Detail.clear();
    }
    Done.push_back({&Transfer, std::move(Outcome)});
}

} // namespace orb
