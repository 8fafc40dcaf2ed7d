#include "registration/RestConnection.h"

#include "base/TextUtils.h"
#include "registration/JsonText.h"
#include "registration/RegistrationRec.h"

namespace orb
{

TRestConnection::TRestConnection()
{
    HTTP_Client.UserAgent = "TesselLoader";
    HTTP_Client.Headers = {"Accept: application/json", "Content-Type: application/json"};
    HTTP_Client.ConnectTimeoutMs = 30000;
    HTTP_Client.ReadTimeoutMs = 180000;
    // Old password services speak only TLS 1.0; newer versions are still preferred when the server has them.
    HTTP_Client.AllowTLS10 = true;
}

TRestConnection::~TRestConnection() = default;

namespace
{

/// Whether an address names its port (a colon after the host, past any bracketed IPv6 literal).
bool NamesPort(const std::string& Address)
{
    const auto start = Address.find("://");
    const std::string authority =
        Address.substr(start == std::string::npos ? 0 : start + 3, Address.find_first_of("/?#", start + 3) - start - 3);
    const auto host = authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1;
    const auto bracket = authority.find(']', host);
    return authority.find(':', bracket == std::string::npos ? host : bracket) != std::string::npos;
}

} // namespace

void TRestConnection::SetConnectionParams(const xml::IXMLNodePtr& Params)
{
    const std::string url = Params->Attributes("url");
    TURL address;
    address.SetURL(url);
    URL.Host = address.Host;
    // Only what comes up to the last slash is the service's path; the rest of the attribute is not used.
    std::string full = address.Path + address.Document;
    URL.Path = full.substr(0, full.rfind('/') + 1);
    URL.Protocol = Params->Attributes("protocol");
    // Without a port of its own the service listens where its address says, else on its protocol's port.
    int port = 0;
    if (!TryStrToInt(Trim(Params->Attributes("port")), port))
        port = NamesPort(url) ? address.Port : SameText(URL.Protocol, "https") ? 443 : 80;
    URL.Port = port;
}

void TRestConnection::DoRequest()
{
    InputStream.clear();
    ResponseCode = 0;
    try
    {
        THttpResponse response = HTTP_Client.Send(HTTPMethod == hmPut ? "PUT" : "POST", URL.URL_String(), URL.Body);
        ResponseCode = response.Status;
        InputStream = std::move(response.Body);
    }
    catch (const EHTTPProtocolException& e)
    {
        ResponseCode = e.ErrorCode;
        HandleHttpError(std::current_exception());
    }
    catch (...)
    {
        HandleHttpError(std::current_exception());
    }
}

void TRestConnection::HandleHttpError(std::exception_ptr) {}

TResetPasswordConnection::TResetPasswordConnection() : FJSONObject(std::make_unique<TJson>(TJson::object())) {}

TResetPasswordConnection::~TResetPasswordConnection() = default;

void TResetPasswordConnection::PrepareFogotPassword(const std::string& UserName)
{
    URL.Document = "passwords";
    URL.Body = "{ \"username\": \"" + EscapeJSONString(UserName) + "\" }";
    HTTPMethod = hmPost;
}

void TResetPasswordConnection::PrepareResetPassword(const std::string& PasswordResetID, const std::string& ResetCode,
                                                    const std::string& Password)
{
    URL.Document = "passwords/" + PasswordResetID;
    URL.Body = "{ \"code\": \"" + EscapeJSONString(ResetCode) + "\", \"passwordResetID\": \"" +
               EscapeJSONString(PasswordResetID) + "\", \"password\": \"" + EscapeJSONString(Password) + "\" }";
    HTTPMethod = hmPut;
}

void TResetPasswordConnection::DoRequest()
{
    // Emptied first, so that a failed request never leaves the previous answer (and its reset id) behind.
    *FJSONObject = TJson::object();
    TRestConnection::DoRequest();
    TJson answer = ParseJson(InputStream);
    if (!answer.is_discarded() && answer.is_object())
        *FJSONObject = std::move(answer);
}

std::string TResetPasswordConnection::GetJsonValue(const std::string& ValueName) const
{
    auto it = FJSONObject->find(ValueName);
    return it == FJSONObject->end() ? std::string() : JsonValueText(*it);
}

void TResetPasswordConnection::HandleHttpError(std::exception_ptr E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const EHTTPProtocolException& e)
    {
        *FJSONObject = TJson::object();
        if (e.ErrorCode != 400)
            throw;
        TJson answer = ParseJson(e.ErrorMessage);
        std::string message;
        if (!answer.is_discarded() && answer.is_object())
        {
            auto it = answer.find("message");
            if (it != answer.end())
                message = JsonValueText(*it);
        }
        else
            message = e.ErrorMessage;
        throw EMarenApi(message, 400);
    }
}

} // namespace orb
