#pragma once

#include "gui/QtForm.h"
#include "registration/ResetPassword.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace orb
{

/// The "Password Reset" window: the code that was sent and the new password twice. Made once and reused.
class TForm_ResetPassword : public TQtForm, public IResetPasswordView
{
    Q_OBJECT
public:
    /// Builds the window; its captions are fixed (not translated).
    explicit TForm_ResetPassword(QWidget* Parent = nullptr);

    QLabel* Label_ResetCode = nullptr;         ///< "Reset Code"
    QLineEdit* Edit_ResetCode = nullptr;       ///< the code the service sent
    QLabel* Label_NewPassword = nullptr;       ///< "New Password"
    QLineEdit* Edit_NewPassword = nullptr;     ///< masked
    QLabel* Label_ConfirmPassword = nullptr;   ///< "Confirm Password"
    QLineEdit* Edit_ConfirmPassword = nullptr; ///< masked
    QFrame* Panel_Bottom = nullptr;            ///< the button strip
    QPushButton* Button_Cancel = nullptr;      ///< closes with Cancel
    QPushButton* Button_Reset = nullptr;       ///< checks the input and closes with OK when it passes

    /// Shows the window modally over Input's boxes; true when it closed with OK.
    bool ShowModal(TResetPasswordInput& Input) override;
    /// The Reset button.
    void Button_ResetClick();

private:
    TResetPasswordInput* FInput = nullptr;
};

} // namespace orb
