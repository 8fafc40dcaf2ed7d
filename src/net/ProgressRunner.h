#pragma once

#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "exception_dialog/Worker.h"
#include "net/HTTPDataProvider.h"
#include "net/XMLDataProvider.h"

#include <exception>
#include <functional>
#include <string>

namespace orb
{

/// An error that the password service reported itself (a message meant for the user and a code).
/// It lives here, below the password service, because the progress runner must recognise it.
class EMarenApi : public Exception
{
public:
    EMarenApi(std::string Msg, int Code) : Exception(std::move(Msg)), ErrorCode(Code) {}
    /// The service's error code.
    int ErrorCode;
    std::string ClassName() const override { return "EMarenApi"; }
};

/// A REST request that the progress runner can run (the password service's connections).
class IRestConnection
{
public:
    virtual ~IRestConnection() = default;
    /// Performs the request; runs on the request thread.
    virtual void DoRequest() = 0;
};

/// The worker of one request behind the connection progress window; it closes the window when it is done.
class TRequestThread : public TWorker
{
public:
    /// Exactly one of these is set.
    THTTPDataProvider* HTTPDataProvider = nullptr;
    TXMLDataProvider* XMLDataProvider = nullptr;
    IRestConnection* RestConnection = nullptr;

    TRequestThread() = default;
    /// Waits for the thread's end.
    ~TRequestThread() { WaitFor(); }
    TRequestThread(const TRequestThread&) = delete;
    TRequestThread& operator=(const TRequestThread&) = delete;

    /// Starts the request; the answer of an HTTP request goes to *Response. Its failure ends in RaisedException.
    void Start(std::string* Response);

private:
    void Execute(std::string* Response);
};

/// The progress window's report of a request the user cancelled: reported like every failed request, and
/// recognisable by its type.
class ERequestCancelled : public ESmartException
{
public:
    using ESmartException::ESmartException;
};

/// True for a request the user cancelled: an EHTTPDataProvider with httpAborted, or the progress window's report
/// of one.
bool IsUserCancellation(const std::exception_ptr& E);

/// Runs one request at a time on a request thread while the connection progress window waits modally
/// ("Connect to server ..."), and reports a failure afterwards in the caller's thread.
class TProgressRunner
{
public:
    /// The class name reports give as the sender of request failures.
    static constexpr const char* SenderClassName = "TForm_Progress";

    /// Runs DataProvider.GetString; on success HTTPResponse holds the body. Raises ESmartException on failure.
    void HTTPRequest(THTTPDataProvider& DataProvider);
    /// Runs DataProvider.GetXMLData; on success the node is in DataProvider.XMLData(). Raises ESmartException.
    void XMLRequest(TXMLDataProvider& DataProvider);
    /// Runs RestConnection.DoRequest; an EMarenApi failure is shown in an error box, others are left to the caller.
    void RestRequest(IRestConnection& RestConnection);
    /// The "Cancel" button: starts the launcher anew and ends this process (the request is not cancelled).
    void Button_BreakClick();

    /// The body of the last answer obtained through HTTPRequest.
    std::string HTTPResponse;
    /// The program started by Cancel (the running executable unless set).
    std::string RestartPath;
    /// Ends the process with the given exit code (replaceable so that tests survive Cancel).
    std::function<void(int ExitCode)> EndProcess;

    /// Raises a failed request as the user sees it: the connection error with the address in the details.
    [[noreturn]] static void RaiseRequestError(const std::exception_ptr& Failure, const std::string& Address);

private:
    void RunRequest(TRequestThread& Thread);
};

/// The text of a message key in the current language ("Unknown:" and the key when no table is loaded).
std::string LanguageText(const std::string& Key);

} // namespace orb
