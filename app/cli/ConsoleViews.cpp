#include "ConsoleViews.h"

#include "base/TextUtils.h"
#include "exception_dialog/SmartException.h"
#include "platform/Console.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace orb::cli
{

namespace
{

TModalResult ResultOf(TMsgDlgBtn Button)
{
    switch (Button)
    {
    case TMsgDlgBtn::mbYes:
        return TModalResult::mrYes;
    case TMsgDlgBtn::mbNo:
        return TModalResult::mrNo;
    case TMsgDlgBtn::mbOK:
        return TModalResult::mrOk;
    case TMsgDlgBtn::mbCancel:
        return TModalResult::mrCancel;
    case TMsgDlgBtn::mbAbort:
        return TModalResult::mrAbort;
    case TMsgDlgBtn::mbRetry:
        return TModalResult::mrRetry;
    case TMsgDlgBtn::mbIgnore:
        return TModalResult::mrIgnore;
    case TMsgDlgBtn::mbAll:
        return TModalResult::mrAll;
    case TMsgDlgBtn::mbNoToAll:
        return TModalResult::mrNoToAll;
    case TMsgDlgBtn::mbYesToAll:
        return TModalResult::mrYesToAll;
    case TMsgDlgBtn::mbHelp:
        return TModalResult::mrHelp;
    case TMsgDlgBtn::mbClose:
    default:
        return TModalResult::mrClose;
    }
}

bool Has(const std::vector<TMsgDlgBtn>& Buttons, TMsgDlgBtn Button)
{
    return std::find(Buttons.begin(), Buttons.end(), Button) != Buttons.end();
}

} // namespace

std::string ConsoleText(const std::string& Text)
{
    return StringReplaceAll(StringReplaceAll(Text, "\r\n", "\n"), "\r", "\n");
}

std::string ProgressBar(int Position, int Width)
{
    Position = std::clamp(Position, 0, 100);
    const int filled = Position * Width / 100;
    return "[" + std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(Width - filled), '-') +
           "]";
}

TModalResult TConsoleDialogs::ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                                  const std::vector<std::string>& ButtonCaptions,
                                                  const std::vector<TMsgDlgBtn>& Buttons)
{
    std::cerr << "\n" << Caption << ": " << ConsoleText(Text) << "\n";
    if (Buttons.size() <= 1)
        return Buttons.empty() ? TModalResult::mrOk : ResultOf(Buttons.front());
    const bool yesNo = Has(Buttons, TMsgDlgBtn::mbYes) && Has(Buttons, TMsgDlgBtn::mbNo);
    const TModalResult positive = yesNo ? TModalResult::mrYes : ResultOf(Buttons.front());
    const TModalResult negative = yesNo ? TModalResult::mrNo : ResultOf(Buttons.back());
    switch (Policy)
    {
    case TAnswerPolicy::apYes:
        std::cerr << "Answered Yes (--yes).\n";
        return positive;
    case TAnswerPolicy::apNo:
        std::cerr << "Answered No (--no).\n";
        return negative;
    case TAnswerPolicy::apAsk:
        break;
    }
    if (!CanReadStdin || !platform::IsStdinTerminal())
    {
        std::cerr << "Answered No: there is no terminal to ask (give --yes or --no).\n";
        return negative;
    }
    for (;;)
    {
        std::cerr << "[y/n] " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line))
            return negative;
        line = LowerCase(Trim(line));
        if (line == "y" || line == "yes")
            return positive;
        if (line == "n" || line == "no")
            return negative;
    }
}

void TConsoleDialogs::ShowMessage(const std::string& Text)
{
    std::cout << ConsoleText(Text) << std::endl;
}

void TConsoleDialogs::ShowException(const std::string& SenderClassName, std::exception_ptr E)
{
    ErrorShown = true;
    auto& report = SmartExceptionReport();
    const std::string text = report.MakeException(SenderClassName, E, true, "");
    std::cerr << "\nError: " << ConsoleText(report.LabelInfo) << "\n\n" << ConsoleText(text) << std::endl;
}

void TConsoleModalWait::ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel)
{
    if (Window == TWaitWindow::wwProgress)
        std::cerr << "Connecting to the server ..." << std::endl;
    FClosed = false;
    FCancelRequested = false;
    ++FOpen;
    bool cancelled = false;
    for (;;)
    {
        FMainThread.ProcessUntil([this] { return FClosed || FCancelRequested.load(); });
        if (FClosed)
            break;
        FCancelRequested = false;
        if (Window == TWaitWindow::wwProgress)
        {
            // The window's Cancel restarts the launcher; on the console the user wants to stop.
            std::cerr << "\nCancelled." << std::endl;
            std::cout.flush();
            std::_Exit(3);
        }
        if (!cancelled)
        {
            cancelled = true;
            std::cerr << "\nCancelling ..." << std::endl;
            OnCancel();
        }
    }
    --FOpen;
}

void TConsoleModalWait::Close(TWaitWindow Window)
{
    FClosed = true;
}

bool TConsoleModalWait::RequestCancel()
{
    if (FOpen.load() == 0)
        return false;
    FCancelRequested = true;
    FMainThread.Wake();
    return true;
}

void TConsoleUpdateProgress::SetUpdatingFile(const std::string& FileName)
{
    FFile = FileName;
}

void TConsoleUpdateProgress::SetFileProgress(const std::string& Text, int Position)
{
    FFileText = Text;
    FFilePosition = Position;
    if (Position >= 100)
        FFileDone = true;
    Draw(false);
}

void TConsoleUpdateProgress::SetTotalProgress(const std::string& Text, int Position)
{
    FTotalText = Text;
    FTotalPosition = Position;
    // The worker reports the file first, then the total: a finished file is printed with its total.
    Draw(FFileDone);
    FFileDone = false;
}

void TConsoleUpdateProgress::SetLoginWindowVisible(bool Visible)
{
    if (!Visible)
        std::cerr << "Updating the client ..." << std::endl;
    else if (FDrawn && platform::IsStderrTerminal())
        std::cerr << std::endl;
}

void TConsoleUpdateProgress::Draw(bool FileDone)
{
    const std::string line = ProgressBar(FFilePosition, 20) + " " + FFile + "  " + FFileText + "   total " +
                             ProgressBar(FTotalPosition, 20) + " " + FTotalText;
    if (platform::IsStderrTerminal())
    {
        std::cerr << "\r\033[K" << line << std::flush;
        FDrawn = true;
    }
    else if (FileDone && FLastFinished != FFile)
    {
        // Without a terminal, one line per finished file keeps logs readable.
        FLastFinished = FFile;
        std::cerr << line << std::endl;
    }
}

} // namespace orb::cli
