#include "net/ProgressRunner.h"

#include "base/Views.h"
#include "exception_dialog/SmartException.h"
#include "localisation/Unit_Language.h"
#include "platform/Process.h"

#include <cstdlib>

namespace orb
{

std::string LanguageText(const std::string& Key)
{
    return LanguageTable ? LanguageTable->Get(Key) : "Unknown:" + Key;
}

void TRequestThread::Start(std::string* Response)
{
    // Closing the window is the thread's last action; the runner waits for the thread after its modal wait.
    TWorker::Start([this, Response] { Execute(Response); }, [] { ModalWait().Close(TWaitWindow::wwProgress); });
}

void TRequestThread::Execute(std::string* Response)
{
    if (HTTPDataProvider != nullptr)
    {
        Response->clear();
        HTTPDataProvider->GetString(*Response);
    }
    else if (XMLDataProvider != nullptr)
        XMLDataProvider->GetXMLData();
    else if (RestConnection != nullptr)
        RestConnection->DoRequest();
}

void TProgressRunner::RunRequest(TRequestThread& Thread)
{
    // Asked before the thread starts, so that a missing view fails here instead of leaving a worker behind.
    IModalWait& wait = ModalWait();
    MainThread();
    Thread.Start(&HTTPResponse);
    try
    {
        wait.ShowModal(TWaitWindow::wwProgress, [this] { Button_BreakClick(); });
    }
    catch (...)
    {
        Thread.WaitFor();
        throw;
    }
    Thread.WaitFor();
}

bool IsUserCancellation(const std::exception_ptr& E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const EHTTPDataProvider& e)
    {
        return e.ErrorCode == httpAborted;
    }
    catch (const ERequestCancelled&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

void TProgressRunner::RaiseRequestError(const std::exception_ptr& Failure, const std::string& Address)
{
    // Both are reported alike; the type tells the caller whether the user cancelled.
    const auto fill = [&](ESmartException& Error) {
        Error.Message = LanguageText("ServerConnectionError");
        Error.Details = "URL: " + Address;
    };
    if (IsUserCancellation(Failure))
    {
        ERequestCancelled error(SenderClassName, Failure);
        fill(error);
        throw error;
    }
    ESmartException error(SenderClassName, Failure);
    fill(error);
    throw error;
}

void TProgressRunner::HTTPRequest(THTTPDataProvider& DataProvider)
{
    TRequestThread thread;
    thread.HTTPDataProvider = &DataProvider;
    RunRequest(thread);
    if (thread.RaisedException)
        RaiseRequestError(thread.RaisedException, DataProvider.URL.URL_String());
}

void TProgressRunner::XMLRequest(TXMLDataProvider& DataProvider)
{
    TRequestThread thread;
    thread.XMLDataProvider = &DataProvider;
    RunRequest(thread);
    if (thread.RaisedException)
        RaiseRequestError(thread.RaisedException, DataProvider.HTTP.URL.URL_String());
}

void TProgressRunner::RestRequest(IRestConnection& RestConnection)
{
    TRequestThread thread;
    thread.RestConnection = &RestConnection;
    RunRequest(thread);
    if (!thread.RaisedException)
        return;
    try
    {
        std::rethrow_exception(thread.RaisedException);
    }
    catch (const EMarenApi& error)
    {
        Dialogs().ShowLocalizedDialog(LanguageText("Error"), error.Message, TMsgDlgType::mtError,
                                      {LanguageText("mbOk")}, {TMsgDlgBtn::mbOK});
    }
    catch (...)
    {
        // Other failures are judged by the caller from the connection's response code.
    }
}

void TProgressRunner::Button_BreakClick()
{
    try
    {
        RunProgram(RestartPath.empty() ? platform::ExecutablePath().string() : RestartPath, "");
    }
    catch (...)
    {
        Dialogs().ShowException(SenderClassName, std::current_exception());
        return;
    }
    if (EndProcess)
        EndProcess(0);
    else
        std::_Exit(0);
}

} // namespace orb
