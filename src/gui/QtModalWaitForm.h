#pragma once

#include "base/Views.h"
#include "gui/QtForm.h"

#include <functional>
#include <string>

namespace orb
{

/// A window that holds the user-interface thread while a worker runs: shown modally, it refuses every close until
/// the worker closes it, and its Cancel runs the action the wait was started with.
class TQtModalWaitForm : public TQtForm, public IModalWait
{
    Q_OBJECT
public:
    /// A window of class ClassName (for translation and reports).
    explicit TQtModalWaitForm(const std::string& ClassName, QWidget* Parent = nullptr);

    /// True only once the worker has closed the window (and while no wait runs).
    bool NaturalClosing = true;
    /// Closing is allowed exactly when the worker closes the window.
    bool FormCloseQuery() const { return NaturalClosing; }

    /// Shows the window centred on the screen, modally, until Close; a stray close does not end the wait.
    void ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel) override;
    /// The worker's close: sets NaturalClosing and ends ShowModal.
    void Close(TWaitWindow Window) override;

protected:
    /// Runs the Cancel action ShowModal was given (none outside a wait).
    void RunCancel();
    void reject() override;
    void closeEvent(QCloseEvent* Event) override;

private:
    std::function<void()> FOnCancel;
};

} // namespace orb
