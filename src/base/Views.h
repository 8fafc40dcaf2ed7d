#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orb
{

/// The user-interface thread as workers see it: they hand work over to it and wait.
class IMainThread
{
public:
    virtual ~IMainThread() = default;
    /// Runs Fn on the user-interface thread and returns when it has finished; an exception of Fn is rethrown here.
    virtual void Synchronize(const std::function<void()>& Fn) = 0;
};

/// The icon of a standard message dialog.
enum class TMsgDlgType
{
    mtWarning,
    mtError,
    mtInformation,
    mtConfirmation,
    mtCustom
};

/// A button of a standard message dialog, in the order the dialog creates them.
enum class TMsgDlgBtn
{
    mbYes,
    mbNo,
    mbOK,
    mbCancel,
    mbAbort,
    mbRetry,
    mbIgnore,
    mbAll,
    mbNoToAll,
    mbYesToAll,
    mbHelp,
    mbClose
};

/// The result of a modal dialog: which button closed it.
enum class TModalResult
{
    mrNone,
    mrOk,
    mrCancel,
    mrAbort,
    mrRetry,
    mrIgnore,
    mrYes,
    mrNo,
    mrClose,
    mrHelp,
    mrAll,
    mrNoToAll,
    mrYesToAll
};

/// Dialogs the core shows to the user; every call is made on the user-interface thread.
class IDialogs
{
public:
    virtual ~IDialogs() = default;
    /// A standard message dialog with a translated caption; ButtonCaptions name the first buttons of Buttons in
    /// creation order. Returns the pressed button's result.
    virtual TModalResult ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                             const std::vector<std::string>& ButtonCaptions,
                                             const std::vector<TMsgDlgBtn>& Buttons) = 0;
    /// A plain message box with an OK button.
    virtual void ShowMessage(const std::string& Text) = 0;
    /// The exception report for E, raised in a method of the class named SenderClassName.
    virtual void ShowException(const std::string& SenderClassName, std::exception_ptr E) = 0;
};

/// The modal windows that hold the user-interface thread while a worker runs.
enum class TWaitWindow
{
    wwProgress, ///< the connection progress window ("Server Connection Information")
    wwUpdater   ///< the update progress window ("Update Progress")
};

/// A modal wait: shown by the user-interface thread, ended by the worker through IMainThread.
class IModalWait
{
public:
    virtual ~IModalWait() = default;
    /// Shows Window modally and returns only after Close(Window); while it waits the user-interface thread keeps
    /// running the workers' hand-overs. OnCancel runs on the user-interface thread when the user presses Cancel.
    virtual void ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel) = 0;
    /// Ends the ShowModal of Window; called on the user-interface thread.
    virtual void Close(TWaitWindow Window) = 0;
};

/// What the update worker shows in the update window; every call is made on the user-interface thread.
class IUpdateProgress
{
public:
    virtual ~IUpdateProgress() = default;
    /// The file being updated, as the index names it.
    virtual void SetUpdatingFile(const std::string& FileName) = 0;
    /// The progress text and bar position (0 to 100) of the current file.
    virtual void SetFileProgress(const std::string& Text, int Position) = 0;
    /// The progress text and bar position (0 to 100) of the whole update.
    virtual void SetTotalProgress(const std::string& Text, int Position) = 0;
    /// Hides or shows the login window again.
    virtual void SetLoginWindowVisible(bool Visible) = 0;
};

/// The views a front end installed; pointers the holder does not own.
struct TViews
{
    IMainThread* MainThread = nullptr;
    IDialogs* Dialogs = nullptr;
    IModalWait* ModalWait = nullptr;
    IUpdateProgress* UpdateProgress = nullptr;
};

/// Installs the front end's views for the whole process (main at start-up, each test fixture in SetUp).
void InstallViews(const TViews& Views);
/// Removes every installed view (each test fixture in TearDown).
void ResetViews();

/// The installed user-interface thread; raises when none is installed.
IMainThread& MainThread();
/// The installed dialogs; raises when none are installed.
IDialogs& Dialogs();
/// The installed modal wait; raises when none is installed.
IModalWait& ModalWait();
/// The installed update window; raises when none is installed.
IUpdateProgress& UpdateProgress();

/// A user-interface thread without a window system: the thread that created it runs the handed-over work
/// whenever it waits in ProcessUntil (used by the console front end and by tests).
class TQueuedMainThread : public IMainThread
{
public:
    TQueuedMainThread();
    ~TQueuedMainThread() override;
    TQueuedMainThread(const TQueuedMainThread&) = delete;
    TQueuedMainThread& operator=(const TQueuedMainThread&) = delete;

    /// Runs Fn at once when called on the owning thread, otherwise queues it and waits for ProcessUntil to run it.
    void Synchronize(const std::function<void()>& Fn) override;
    /// On the owning thread: runs queued work until Done() answers true (checked after each piece of work).
    void ProcessUntil(const std::function<bool()>& Done);
    /// Wakes a ProcessUntil so that it checks Done() again (for conditions changed outside Synchronize).
    void Wake();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace orb
