#include "registration/HttpClient.h"

#include <curl/curl.h>

#include <exception>
#include <mutex>
#include <string_view>

namespace orb
{

namespace
{

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

/// The answer being received and how much of its body is kept.
struct TAnswer
{
    THttpResponse Response;
    /// The transfer, asked for the answer's status.
    CURL* Easy = nullptr;
    /// The address, for the error of an answer that is too large.
    const std::string* Address = nullptr;
    /// The error answer's body was longer than MaxErrorBodySize and reading was stopped there.
    bool ErrorBodyCut = false;
    /// The failure raised inside the body callback, raised again once the transfer has ended.
    std::exception_ptr Error;
};

size_t WriteBody(char* Data, size_t Size, size_t Count, void* User)
{
    auto& answer = *static_cast<TAnswer*>(User);
    const size_t size = Size * Count;
    std::string& body = answer.Response.Body;
    long status = 0;
    curl_easy_getinfo(answer.Easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
    {
        if (KeepErrorBody(body, Data, size))
            return size;
        answer.ErrorBodyCut = true;
        return 0; // ends the transfer; the error is raised from what was kept
    }
    if (static_cast<std::int64_t>(body.size() + size) > MaxAnswerSize)
    {
        answer.Error = std::make_exception_ptr(AnswerTooLargeError(*answer.Address));
        return 0;
    }
    body.append(Data, size);
    return size;
}

size_t WriteHeader(char* Data, size_t Size, size_t Count, void* User)
{
    auto& response = static_cast<TAnswer*>(User)->Response;
    std::string line(Data, Size * Count);
    // Each status line (after a 100 Continue there are several) starts the headers anew.
    if (line.rfind("HTTP/", 0) == 0)
    {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        response.StatusLine = line;
        response.RawHeaders.clear();
    }
    else if (line != "\r\n")
        response.RawHeaders += line;
    return Size * Count;
}

} // namespace

struct THttpClient::TTransfer
{
    CURLM* Multi = nullptr;
};

THttpClient::THttpClient()
{
    GlobalInit();
}

THttpClient::~THttpClient() = default;

void THttpClient::Abort()
{
    FAborted = true;
    std::lock_guard lock(FLock);
    if (FRunning)
        curl_multi_wakeup(FRunning->Multi);
}

THttpResponse THttpClient::Send(const std::string& Method, const std::string& URL, const std::string& Body)
{
    TAnswer answer;
    answer.Address = &URL;
    THttpResponse& response = answer.Response;
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* headers = nullptr;
    answer.Easy = easy;
    if (!easy || !multi)
    {
        curl_easy_cleanup(easy);
        curl_multi_cleanup(multi);
        throw ESocketError("The HTTP client cannot be created");
    }
    for (const auto& header : Headers)
        headers = curl_slist_append(headers, header.c_str());
    // No "Expect: 100-continue" round trip for larger bodies.
    headers = curl_slist_append(headers, "Expect:");

    curl_easy_setopt(easy, CURLOPT_URL, URL.c_str());
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    // Neither a request nor a redirect may reach another protocol libcurl knows (file, ftp, gopher and the like).
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, AllowedProtocols);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, AllowedProtocols);
    if (!UserAgent.empty())
        curl_easy_setopt(easy, CURLOPT_USERAGENT, UserAgent.c_str());
    if (ConnectTimeoutMs > 0)
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, ConnectTimeoutMs);
    if (ReadTimeoutMs > 0)
    {
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, (ReadTimeoutMs + 999) / 1000);
    }
    if (AllowTLS10)
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_0));
    if (Method == "GET")
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    else
    {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, Body.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(Body.size()));
        if (Method != "POST")
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, Method.c_str());
    }
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, WriteHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &answer);
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    curl_multi_add_handle(multi, easy);

    TTransfer transfer{multi};
    {
        std::lock_guard lock(FLock);
        FRunning = &transfer;
    }
    CURLcode result = CURLE_OK;
    bool aborted = false;
    for (;;)
    {
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK)
        {
            result = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        if (CURLMsg* msg = curl_multi_info_read(multi, &queued); msg && msg->msg == CURLMSG_DONE)
        {
            result = msg->data.result;
            break;
        }
        if (FAborted)
        {
            aborted = true;
            break;
        }
        curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        if (FAborted)
        {
            aborted = true;
            break;
        }
    }
    {
        std::lock_guard lock(FLock);
        FRunning = nullptr;
    }
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t connected = 0;
    curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
    curl_multi_remove_handle(multi, easy);
    curl_easy_cleanup(easy);
    curl_multi_cleanup(multi);
    curl_slist_free_all(headers);

    if (aborted)
        throw EConnectionClosed("Request to server was cancelled");
    if (answer.Error)
        std::rethrow_exception(answer.Error);
    if (answer.ErrorBodyCut)
    {
        MarkErrorBodyCut(response.Body);
        result = CURLE_OK;
    }
    if (result == CURLE_UNSUPPORTED_PROTOCOL && std::string_view(errorText).find("HTTP/0.9") == std::string_view::npos)
        throw ProtocolRefusedError(URL);
    if (result != CURLE_OK)
    {
        std::string text = std::string(errorText[0] ? errorText : curl_easy_strerror(result)) + " (" + URL + ")";
        if (result == CURLE_OPERATION_TIMEDOUT)
        {
            if (connected == 0)
                throw EConnectTimeout(text);
            throw EReadTimeout(text);
        }
        throw ESocketError(text);
    }
    response.Status = static_cast<int>(status);
    if (status < 200 || status > 299)
        throw EHTTPProtocolException(response.Status, response.StatusLine, response.RawHeaders,
                                     std::move(response.Body));
    return std::move(response);
}

} // namespace orb
