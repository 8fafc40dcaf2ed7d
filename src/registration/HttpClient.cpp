#include "registration/HttpClient.h"

#include <curl/curl.h>

#include <mutex>

namespace orb
{

namespace
{

void GlobalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t WriteBody(char* Data, size_t Size, size_t Count, void* User)
{
    static_cast<std::string*>(User)->append(Data, Size * Count);
    return Size * Count;
}

size_t WriteHeader(char* Data, size_t Size, size_t Count, void* User)
{
    auto& response = *static_cast<THttpResponse*>(User);
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
    THttpResponse response;
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* headers = nullptr;
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
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &response.Body);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, WriteHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &response);
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
    return response;
}

} // namespace orb
