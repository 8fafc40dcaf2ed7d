#pragma once

#include "net/HTTPDataProvider.h"
#include "net/ProgressRunner.h"
#include "registration/HttpClient.h"
#include "xml/VuvareXMLNode.h"

#include <nlohmann/json_fwd.hpp>

#include <exception>
#include <memory>
#include <string>

namespace orb
{

/// The verb of a REST request.
enum THTTPMethod
{
    hmPost,
    hmPut
};

/// A client of a REST service: one request at a time to the address in URL, never through a proxy.
class TRestConnection : public IRestConnection
{
public:
    TRestConnection();
    ~TRestConnection() override;

    /// The body of the last answer.
    std::string InputStream;
    /// The verb of the next request.
    THTTPMethod HTTPMethod = hmPost;
    /// Protocol, host, port, path, document and body of the next request.
    TURL URL;
    /// The HTTP status of the last request; 0 when it got no answer.
    int ResponseCode = 0;

    /// Takes host and path (up to its last slash) from the "url" attribute of Params, the port from "port" and
    /// the protocol from "protocol".
    void SetConnectionParams(const xml::IXMLNodePtr& Params);
    /// Sends the request; a failure goes to HandleHttpError.
    void DoRequest() override;
    /// Called with the failure of a request; this client swallows it.
    virtual void HandleHttpError(std::exception_ptr E);

protected:
    /// The HTTP client with the service's headers and time limits.
    THttpClient HTTP_Client;
};

/// The password service: asks for a verification code and sets a new password.
class TResetPasswordConnection : public TRestConnection
{
public:
    TResetPasswordConnection();
    ~TResetPasswordConnection() override;

    /// Prepares the request for a verification code for UserName.
    void PrepareFogotPassword(const std::string& UserName);
    /// Prepares the request that sets Password with the verification code ResetCode.
    void PrepareResetPassword(const std::string& PasswordResetID, const std::string& ResetCode,
                              const std::string& Password);
    /// Sends the request and parses the answer into JSONObject.
    void DoRequest() override;
    /// The text of a member of the last answer, or the empty text.
    std::string GetJsonValue(const std::string& ValueName) const;
    /// A 400 answer becomes EMarenApi with the service's message; other failures are raised unchanged.
    void HandleHttpError(std::exception_ptr E) override;

    /// The parsed answer of the last request; empty before the first and after a failed one.
    const nlohmann::ordered_json& JSONObject() const { return *FJSONObject; }

private:
    std::unique_ptr<nlohmann::ordered_json> FJSONObject;
};

} // namespace orb
