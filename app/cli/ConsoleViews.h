#pragma once

#include "base/Views.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace orb::cli
{

/// How the console answers questions.
enum class TAnswerPolicy
{
    apAsk, ///< ask on the terminal; without one the answer is No
    apYes, ///< answer every question with Yes
    apNo   ///< answer every question with No
};

/// Dialogs on the console: messages on standard output, questions and reports on standard error.
class TConsoleDialogs : public IDialogs
{
public:
    /// How questions are answered.
    TAnswerPolicy Policy = TAnswerPolicy::apAsk;
    /// Whether standard input may still be read for an answer (not when it carried the password).
    bool CanReadStdin = true;
    /// Set once an exception report was shown.
    bool ErrorShown = false;

    TModalResult ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                     const std::vector<std::string>& ButtonCaptions,
                                     const std::vector<TMsgDlgBtn>& Buttons) override;
    void ShowMessage(const std::string& Text) override;
    void ShowException(const std::string& SenderClassName, std::exception_ptr E) override;
};

/// The modal waits of the console: the user-interface thread runs the workers' hand-overs until the worker closes
/// the wait; an interrupt (Ctrl+C) during an update cancels it.
class TConsoleModalWait : public IModalWait
{
public:
    explicit TConsoleModalWait(TQueuedMainThread& MainThread) : FMainThread(MainThread) {}
    void ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel) override;
    void Close(TWaitWindow Window) override;
    /// Called from the signal thread: asks the open wait to cancel; false when no wait is open.
    bool RequestCancel();

private:
    TQueuedMainThread& FMainThread;
    std::atomic<int> FOpen{0};
    std::atomic<bool> FCancelRequested{false};
    bool FClosed = false;
};

/// Progress bars of the update on standard error: redrawn in place on a terminal, one line per file otherwise.
class TConsoleUpdateProgress : public IUpdateProgress
{
public:
    void SetUpdatingFile(const std::string& FileName) override;
    void SetFileProgress(const std::string& Text, int Position) override;
    void SetTotalProgress(const std::string& Text, int Position) override;
    void SetLoginWindowVisible(bool Visible) override;

private:
    void Draw(bool FileDone);
    std::string FFile, FFileText, FTotalText;
    int FFilePosition = 0, FTotalPosition = 0;
    bool FDrawn = false;
    bool FFileDone = false;
    std::string FLastFinished;
};

/// A progress bar of Width cells for Position (0 to 100): "[#####-----]".
std::string ProgressBar(int Position, int Width);

/// Line breaks of dialog texts (CR LF or CR) as the console's LF.
std::string ConsoleText(const std::string& Text);

} // namespace orb::cli
