#pragma once

#include "base/Views.h"

#include <functional>
#include <string>
#include <vector>

namespace orb::test
{

/// Dialogs that record what they were asked to show and answer with a scripted result.
class TScriptedDialogs : public IDialogs
{
public:
    struct TDialog
    {
        std::string Caption;
        std::string Text;
        TMsgDlgType Icon;
        std::vector<std::string> ButtonCaptions;
        std::vector<TMsgDlgBtn> Buttons;
    };
    /// Every ShowLocalizedDialog, in order.
    std::vector<TDialog> Dialogs;
    /// Every ShowMessage text, in order.
    std::vector<std::string> Messages;
    /// Every ShowException as sender and message, in order.
    std::vector<std::pair<std::string, std::string>> Exceptions;
    /// The answer of ShowLocalizedDialog.
    TModalResult Answer = TModalResult::mrOk;

    TModalResult ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                     const std::vector<std::string>& ButtonCaptions,
                                     const std::vector<TMsgDlgBtn>& Buttons) override;
    void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
    void ShowException(const std::string& SenderClassName, std::exception_ptr E) override;
};

/// A modal wait without windows: ShowModal runs the main thread's queue until a worker closes the window.
class TScriptedModalWait : public IModalWait
{
public:
    explicit TScriptedModalWait(TQueuedMainThread& MainThread) : FMainThread(MainThread) {}

    /// Called on the main thread right after a window is shown, with its Cancel action (for pressing Cancel).
    std::function<void(TWaitWindow Window, const std::function<void()>& Cancel)> OnShow;
    /// Every window shown, in order.
    std::vector<TWaitWindow> Shown;
    /// Every window closed, in order.
    std::vector<TWaitWindow> Closed;

    void ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel) override;
    void Close(TWaitWindow Window) override;

private:
    TQueuedMainThread& FMainThread;
    int FOpen = 0;
};

/// Update window labels and bars as last set, and the login window's visibility changes.
class TScriptedUpdateProgress : public IUpdateProgress
{
public:
    std::string UpdatingFile, FileProgress, TotalProgress;
    int FilePosition = 0, TotalPosition = 0;
    std::vector<bool> LoginWindowVisible;

    void SetUpdatingFile(const std::string& FileName) override { UpdatingFile = FileName; }
    void SetFileProgress(const std::string& Text, int Position) override
    {
        FileProgress = Text;
        FilePosition = Position;
    }
    void SetTotalProgress(const std::string& Text, int Position) override
    {
        TotalProgress = Text;
        TotalPosition = Position;
    }
    void SetLoginWindowVisible(bool Visible) override { LoginWindowVisible.push_back(Visible); }
};

/// Every view of a window-less front end, installed for the lifetime of the object (one test).
class TScriptedViews
{
public:
    TScriptedViews();
    ~TScriptedViews();
    TScriptedViews(const TScriptedViews&) = delete;
    TScriptedViews& operator=(const TScriptedViews&) = delete;

    TQueuedMainThread MainThread;
    TScriptedDialogs Dialogs;
    TScriptedModalWait ModalWait{MainThread};
    TScriptedUpdateProgress UpdateProgress;
};

} // namespace orb::test
