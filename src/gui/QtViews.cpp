#include "gui/QtViews.h"

#include "exception_dialog/SmartException.h"
#include "gui/QtComponent.h"
#include "gui/Unit_SmartException.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace orb
{

namespace
{

// Qt's event queue locks with its own futex-based mutex, which ThreadSanitizer cannot see; without these marks
// every hand-over (the event and the work it carries) would look like a race between the worker and the
// user-interface thread.
void AnnounceHandOver([[maybe_unused]] const void* Object)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(Object));
#endif
}

void ReceiveHandOver([[maybe_unused]] const void* Object)
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(Object));
#endif
}

/// One hand-over: the worker waits on it until the user-interface thread has run the work.
struct TSyncCall
{
    const std::function<void()>* Fn = nullptr;
    std::mutex Lock;
    std::condition_variable Finished;
    bool Done = false;
    std::exception_ptr Failure;
};

/// The event that carries a hand-over into the user-interface thread's event loop; only that thread touches it
/// after it was posted.
class TSyncEvent : public QEvent
{
public:
    static QEvent::Type EventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    explicit TSyncEvent(TSyncCall& Call) : QEvent(EventType()), FCall(Call) {}

    void Run()
    {
        std::exception_ptr failure;
        try
        {
            (*FCall.Fn)();
        }
        catch (...)
        {
            failure = std::current_exception();
        }
        // The worker may free the call as soon as the lock is released: nothing of it is touched afterwards.
        std::lock_guard lock(FCall.Lock);
        FCall.Failure = std::move(failure);
        FCall.Done = true;
        FCall.Finished.notify_all();
    }

private:
    TSyncCall& FCall;
};

/// Receives the hand-overs on the user-interface thread.
class TSyncContext : public QObject
{
public:
    bool event(QEvent* Event) override
    {
        ReceiveHandOver(Event);
        if (Event->type() != TSyncEvent::EventType())
            return QObject::event(Event);
        static_cast<TSyncEvent*>(Event)->Run();
        return true;
    }
};

} // namespace

TQtMainThread::TQtMainThread() : FContext(std::make_unique<TSyncContext>()) {}

TQtMainThread::~TQtMainThread() = default;

void TQtMainThread::Synchronize(const std::function<void()>& Fn)
{
    if (QThread::currentThread() == FContext->thread())
    {
        Fn();
        return;
    }
    // The worker waits on standard primitives rather than on a blocking queued connection, so that the
    // hand-over's ordering is visible to race checkers; the event loop of any modal window runs the work.
    TSyncCall call;
    call.Fn = &Fn;
    auto* event = new TSyncEvent(call);
    AnnounceHandOver(event);
    QCoreApplication::postEvent(FContext.get(), event);
    std::exception_ptr failure;
    {
        std::unique_lock lock(call.Lock);
        call.Finished.wait(lock, [&] { return call.Done; });
        failure = std::move(call.Failure);
    }
    if (failure)
        std::rethrow_exception(failure);
}

namespace
{

struct TButtonKind
{
    const char* Caption;
    QMessageBox::ButtonRole Role;
    TModalResult Result;
};

const TButtonKind& ButtonKind(TMsgDlgBtn Button)
{
    static const std::map<TMsgDlgBtn, TButtonKind> kinds = {
        {TMsgDlgBtn::mbYes, {"Yes", QMessageBox::YesRole, TModalResult::mrYes}},
        {TMsgDlgBtn::mbNo, {"No", QMessageBox::NoRole, TModalResult::mrNo}},
        {TMsgDlgBtn::mbOK, {"OK", QMessageBox::AcceptRole, TModalResult::mrOk}},
        {TMsgDlgBtn::mbCancel, {"Cancel", QMessageBox::RejectRole, TModalResult::mrCancel}},
        {TMsgDlgBtn::mbAbort, {"Abort", QMessageBox::RejectRole, TModalResult::mrAbort}},
        {TMsgDlgBtn::mbRetry, {"Retry", QMessageBox::AcceptRole, TModalResult::mrRetry}},
        {TMsgDlgBtn::mbIgnore, {"Ignore", QMessageBox::AcceptRole, TModalResult::mrIgnore}},
        {TMsgDlgBtn::mbAll, {"All", QMessageBox::YesRole, TModalResult::mrAll}},
        {TMsgDlgBtn::mbNoToAll, {"No to All", QMessageBox::NoRole, TModalResult::mrNoToAll}},
        {TMsgDlgBtn::mbYesToAll, {"Yes to All", QMessageBox::YesRole, TModalResult::mrYesToAll}},
        {TMsgDlgBtn::mbHelp, {"Help", QMessageBox::HelpRole, TModalResult::mrHelp}},
        {TMsgDlgBtn::mbClose, {"Close", QMessageBox::RejectRole, TModalResult::mrClose}},
    };
    return kinds.at(Button);
}

QMessageBox::Icon BoxIcon(TMsgDlgType Icon)
{
    switch (Icon)
    {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    case TMsgDlgType::mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

TQtDialogs::TQtDialogs(TForm_SmartException* ExceptionDialog) : FDialog(ExceptionDialog) {}

TModalResult TQtDialogs::ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                             const std::vector<std::string>& ButtonCaptions,
                                             const std::vector<TMsgDlgBtn>& Buttons)
{
    QMessageBox box(BoxIcon(Icon), ToQString(Caption), ToQString(Text));
    // The dialog creates its buttons in the order of the button kinds, whatever order the set was given in.
    std::vector<TMsgDlgBtn> ordered = Buttons;
    std::sort(ordered.begin(), ordered.end());
    ordered.erase(std::unique(ordered.begin(), ordered.end()), ordered.end());
    std::map<QAbstractButton*, TModalResult> results;
    QAbstractButton* cancel = nullptr;
    for (size_t i = 0; i < ordered.size(); ++i)
    {
        const auto& kind = ButtonKind(ordered[i]);
        QString caption = i < ButtonCaptions.size() ? ToQString(ButtonCaptions[i]) : QString::fromUtf8(kind.Caption);
        auto* button = box.addButton(caption, kind.Role);
        button->setObjectName(QString::fromUtf8(kind.Caption));
        results[button] = kind.Result;
        if (kind.Result == TModalResult::mrCancel || (!cancel && kind.Role == QMessageBox::RejectRole))
            cancel = button;
    }
    if (cancel)
        box.setEscapeButton(cancel);
    if (OnDialogShown)
        OnDialogShown(box);
    box.exec();
    auto found = results.find(box.clickedButton());
    return found == results.end() ? TModalResult::mrCancel : found->second;
}

void TQtDialogs::ShowMessage(const std::string& Text)
{
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), ToQString(Text), QMessageBox::Ok);
    if (OnDialogShown)
        OnDialogShown(box);
    box.exec();
}

void TQtDialogs::ShowException(const std::string& SenderClassName, std::exception_ptr E)
{
    if (FDialog)
    {
        FDialog->Report(SenderClassName, E);
        return;
    }
    std::string className;
    std::string message;
    DescribeException(E, className, message);
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), ToQString(message), QMessageBox::Ok);
    if (OnDialogShown)
        OnDialogShown(box);
    box.exec();
}

void TQtWaitWindows::ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel)
{
    this->Window(Window).ShowModal(Window, OnCancel);
}

void TQtWaitWindows::Close(TWaitWindow Window)
{
    this->Window(Window).Close(Window);
}

} // namespace orb
