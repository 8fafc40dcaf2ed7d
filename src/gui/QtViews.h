#pragma once

#include "base/Views.h"

#include <QObject>

#include <memory>

class QWidget;

namespace orb
{

class TForm_SmartException;

/// The Qt user-interface thread: workers' hand-overs run in its event loop (a modal window's loop included)
/// while the worker waits.
class TQtMainThread : public IMainThread
{
public:
    /// Must be created on the user-interface thread, after the application object.
    TQtMainThread();
    ~TQtMainThread() override;
    TQtMainThread(const TQtMainThread&) = delete;
    TQtMainThread& operator=(const TQtMainThread&) = delete;

    void Synchronize(const std::function<void()>& Fn) override;

private:
    std::unique_ptr<QObject> FContext;
};

/// The standard message boxes and the exception report as Qt dialogs.
class TQtDialogs : public IDialogs
{
public:
    /// ExceptionDialog shows the reports; it is not owned and may be nullptr (reports then go to a message box).
    explicit TQtDialogs(TForm_SmartException* ExceptionDialog);

    TModalResult ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                     const std::vector<std::string>& ButtonCaptions,
                                     const std::vector<TMsgDlgBtn>& Buttons) override;
    void ShowMessage(const std::string& Text) override;
    void ShowException(const std::string& SenderClassName, std::exception_ptr E) override;

    /// Called with every message box just before it runs modally (tests answer it from here).
    std::function<void(QWidget& Box)> OnDialogShown;

private:
    TForm_SmartException* FDialog;
};

/// Routes each modal wait to its window: the connection progress window and the update window.
class TQtWaitWindows : public IModalWait
{
public:
    /// The windows are not owned.
    TQtWaitWindows(IModalWait& Progress, IModalWait& Updater) : FProgress(Progress), FUpdater(Updater) {}

    void ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel) override;
    void Close(TWaitWindow Window) override;

private:
    IModalWait& Window(TWaitWindow Window) { return Window == TWaitWindow::wwProgress ? FProgress : FUpdater; }
    IModalWait& FProgress;
    IModalWait& FUpdater;
};

} // namespace orb
