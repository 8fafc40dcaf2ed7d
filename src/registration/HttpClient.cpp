#include "registration/HttpClient.h"

#include "net/CurlTransfer.h"
#include "net/ProxySettings.h"

#include <exception>

namespace orb
{

THttpClient::THttpClient() : CAFile(DefaultCAFile()), FTransfer(std::make_unique<TCurlTransfer>(false)) {}

THttpClient::~THttpClient() = default;

void THttpClient::Abort()
{
    FTransfer->Abort();
}

THttpResponse THttpClient::Send(const std::string& Method, const std::string& URL, const std::string& Body)
{
    std::lock_guard lock(FSendLock);
    THttpResponse response;
    TCurlRequest request;
    request.Address = URL;
    request.Method = Method;
    request.Body = Body;
    request.Headers = Headers;
    // No "Expect: 100-continue" round trip for larger bodies.
    request.Headers.emplace_back("Expect:");
    request.UserAgent = UserAgent;
    request.ConnectTimeoutMs = ConnectTimeoutMs;
    request.ReadTimeoutMs = ReadTimeoutMs;
    request.CAFile = CAFile;
    request.TLS = AllowTLS10 ? TTLSRange::From10 : TTLSRange::LibraryDefault;
    // Every request on a connection of its own, as the services expect of a client that keeps none.
    request.FreshConnect = true;
    request.MaxBody = MaxAnswerSize;
    request.TooLargeError = [&URL] { return std::make_exception_ptr(AnswerTooLargeError(URL)); };

    FTransfer->OnHeader = [&response](std::string_view Line) {
        // Each status line (after a 100 Continue there are several) starts the headers anew.
        if (Line.starts_with("HTTP/"))
        {
            while (!Line.empty() && (Line.back() == '\r' || Line.back() == '\n'))
                Line.remove_suffix(1);
            response.StatusLine = std::string(Line);
            response.RawHeaders.clear();
            response.Body.clear();
        }
        else if (Line != "\r\n")
            response.RawHeaders += Line;
    };
    FTransfer->OnBody = [&response](const char* Data, std::size_t Size) { response.Body.append(Data, Size); };
    const TCurlOutcome outcome =
        AccountServicesUseSystemProxy()
            ? PerformThroughSystemProxy(*FTransfer, request, [&response] { response = THttpResponse{}; })
            : FTransfer->Perform(request);
    FTransfer->OnHeader = nullptr;
    FTransfer->OnBody = nullptr;

    if (outcome.Aborted)
        throw EConnectionClosed("Request to server was cancelled");
    if (outcome.HookError)
        std::rethrow_exception(outcome.HookError);
    response.Status = outcome.Status;
    const bool errorAnswer = response.Status < 200 || response.Status > 299;
    if (errorAnswer)
        response.Body = FTransfer->ErrorBody;
    if (outcome.ErrorBodyCut)
        MarkErrorBodyCut(response.Body);
    else if (outcome.Failure == TCurlOutcome::fProtocolRefused)
        throw ProtocolRefusedError(URL);
    else if (outcome.ReadTimedOut)
        throw EReadTimeout("Read timed out. (" + URL + ")");
    else if (outcome.Failure != TCurlOutcome::fNone)
    {
        const std::string text = outcome.Detail + " (" + URL + ")";
        if (outcome.Failure == TCurlOutcome::fTimedOut)
        {
            if (!outcome.Connected)
                throw EConnectTimeout(text);
            throw EReadTimeout(text);
        }
        throw ESocketError(text);
    }
    if (errorAnswer)
        throw EHTTPProtocolException(response.Status, response.StatusLine, response.RawHeaders,
                                     std::move(response.Body));
    return response;
}

} // namespace orb
