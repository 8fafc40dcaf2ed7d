#include "exception_dialog/SmartException.h"

#include "base/Views.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sys/utsname.h>

namespace orb
{

namespace
{

const char* const CRLF = "\r\n";

/// Every kind of line break (CR LF, LF, CR) as CR LF.
std::string NormaliseLineBreaks(const std::string& Text)
{
    std::string out;
    out.reserve(Text.size());
    for (size_t i = 0; i < Text.size(); ++i)
    {
        char c = Text[i];
        if (c == '\r' || c == '\n')
        {
            out += CRLF;
            if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n')
                ++i;
        }
        else
            out += c;
    }
    return out;
}

std::string NowText()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local);
    return buffer;
}

/// The exception line's origin part: " in " and the sender, or nothing without a sender.
std::string InSender(const std::string& Sender)
{
    return Sender.empty() ? std::string() : " in " + Sender;
}

std::string OsReleaseName()
{
    std::ifstream in("/etc/os-release");
    std::string line;
    while (std::getline(in, line))
    {
        if (line.rfind("PRETTY_NAME=", 0) != 0)
            continue;
        std::string value = line.substr(12);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return {};
}

} // namespace

ESmartException::ESmartException(std::string ASender, std::exception_ptr AParentException)
    : Exception("INTERNAL EXCEPTION"), Sender(std::move(ASender)), ParentException(std::move(AParentException))
{
    if (ParentException)
    {
        std::string className;
        DescribeException(ParentException, className, Message);
    }
}

void DescribeException(const std::exception_ptr& E, std::string& ClassName, std::string& Message)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const std::exception& e)
    {
        ClassName = ExceptionClassName(e);
        Message = e.what();
    }
    catch (...)
    {
        ClassName = "Exception";
        Message = "External exception";
    }
}

// The operating-system query lives here until the platform layer offers it.
std::string WindowsVersionText()
{
    static const std::string text = [] {
        std::string result = OsReleaseName();
        struct utsname name
        {
        };
        if (uname(&name) == 0)
        {
            if (!result.empty())
                result += " ";
            result += std::string(name.sysname) + " " + name.release + " " + name.machine;
        }
        return result;
    }();
    return text;
}

std::string TSmartExceptionReport::MakeException(const std::string& Sender, const std::exception& E, bool UpdateGUI,
                                                 const std::string& AdditionalText)
{
    std::string callStack = CallStackText(ThrownCallStackOf(E));
    {
        std::lock_guard lock(FLock);
        if (!FSavedCallStack.Empty())
        {
            callStack = CallStackText(FSavedCallStack) + "..." + CRLF + callStack;
            FSavedCallStack = {};
        }
        FLastExceptionCallStack = callStack;
    }
    if (UpdateGUI)
    {
        LabelInfo = E.what();
        Memo.clear();
    }

    std::string exceptionLine;
    std::string code;
    if (const auto* smart = dynamic_cast<const ESmartException*>(&E))
    {
        code = std::to_string(smart->Code);
        if (smart->ParentException)
        {
            std::string parentClass;
            std::string parentMessage;
            DescribeException(smart->ParentException, parentClass, parentMessage);
            exceptionLine = parentClass + InSender(smart->Sender) + CRLF + parentMessage;
        }
        else
            exceptionLine = smart->ClassName() + InSender(smart->Sender);
    }
    else
        exceptionLine = ExceptionClassName(E) + InSender(Sender);
    const auto* smart = dynamic_cast<const ESmartException*>(&E);
    std::string details = smart ? NormaliseLineBreaks(smart->Details) : std::string();

    std::string report;
    auto emit = [&](const std::string& Text) {
        report += Text;
        report += CRLF;
        if (UpdateGUI)
            Memo.push_back(Text);
    };
    if (!exceptionLine.empty())
    {
        emit("EXCEPTION");
        emit(exceptionLine);
    }
    emit("CODE");
    emit(code);
    emit("MESSAGE");
    emit(E.what());
    emit("DETAILS");
    emit(details);
    emit("CALL STACK");
    emit(callStack);
    if (ShowWindowsVersion)
    {
        emit("WINDOWS VERSION");
        emit(WindowsVersionText());
    }
    emit("APPLICATION INFO");
    emit(ApplicationInfo);
    emit("RAISE TIME");
    emit(NowText());
    if (!AdditionalText.empty())
        emit(AdditionalText);
    return report;
}

std::string TSmartExceptionReport::MakeException(const std::string& Sender, const std::exception_ptr& E, bool UpdateGUI,
                                                 const std::string& AdditionalText)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const std::exception& e)
    {
        return MakeException(Sender, e, UpdateGUI, AdditionalText);
    }
    catch (...)
    {
        return MakeException(Sender, Exception("External exception"), UpdateGUI, AdditionalText);
    }
}

std::string TSmartExceptionReport::GetExceptionDetails(const std::string& Sender, const std::exception& E)
{
    return MakeException(Sender, E, false, "");
}

std::string TSmartExceptionReport::GetExceptionDetails(const std::string& Sender, const std::exception_ptr& E)
{
    return MakeException(Sender, E, false, "");
}

void TSmartExceptionReport::SaveExceptionCallStack(const std::exception& E)
{
    auto stack = ThrownCallStackOf(E);
    std::lock_guard lock(FLock);
    FSavedCallStack = std::move(stack);
}

std::string TSmartExceptionReport::SavedCallStack() const
{
    TCallStack saved;
    {
        std::lock_guard lock(FLock);
        saved = FSavedCallStack;
    }
    return saved.Empty() ? std::string() : CallStackText(saved);
}

std::string TSmartExceptionReport::LastExceptionCallStack() const
{
    std::lock_guard lock(FLock);
    return FLastExceptionCallStack;
}

std::string TSmartExceptionReport::MemoText() const
{
    std::string text;
    for (const auto& entry : Memo)
        text += entry + CRLF;
    return text;
}

std::string TSmartExceptionView::Text(const std::string& ID, const std::string& Default) const
{
    return GetString ? GetString(ID, Default) : Default;
}

void TSmartExceptionView::CreateButtons()
{
    CopyCaption = Text("Copy", "Copy");
}

void TSmartExceptionView::ShowSimple()
{
    DetailsVisible = false;
    DetailsCaption = Text("Details", "Details");
}

void TSmartExceptionView::ShowDetails()
{
    DetailsVisible = true;
    DetailsCaption = Text("Simple", "Simple");
}

void TSmartExceptionView::ToggleDetails()
{
    if (DetailsVisible)
        ShowSimple();
    else
        ShowDetails();
}

TDialogSize TSmartExceptionView::SimpleSize(int ImageWidth, int LabelWidth, int LabelHeight, int PanelHeight)
{
    return {std::max(MinimumSize.Width, ImageWidth + LabelWidth + 20),
            std::max(MinimumSize.Height, PanelHeight + LabelHeight + 40)};
}

TDialogSize TSmartExceptionView::DetailsSize(int CurrentWidth, int WorkAreaWidth, int WorkAreaHeight)
{
    return {std::max({CurrentWidth, WorkAreaWidth / 2, MinimumSize.Width}),
            std::max(WorkAreaHeight / 3, MinimumSize.Height)};
}

int TSmartExceptionView::Centre(int Origin, int WorkAreaExtent, int Extent)
{
    return Origin + WorkAreaExtent / 2 - Extent / 2;
}

int TSmartExceptionView::ButtonLeft(int PanelWidth, int ButtonWidth, int Number)
{
    return PanelWidth - Number * (ButtonWidth + 10);
}

TSmartExceptionReport& SmartExceptionReport()
{
    static TSmartExceptionReport report;
    return report;
}

void SaveExceptionCallStack(const std::exception& E)
{
    SmartExceptionReport().SaveExceptionCallStack(E);
}

void ApplicationEventsException(const std::string& SenderClassName, const std::exception_ptr& E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const EInformationException& e)
    {
        Dialogs().ShowMessage(e.Message);
    }
    catch (...)
    {
        Dialogs().ShowException(SenderClassName, E);
    }
}

} // namespace orb
