#pragma once

#include "base/Attributes.h"
#include "registration/RestConnection.h"
#include "xml/VuvareXMLNode.h"

#include <functional>
#include <memory>
#include <string>

namespace orb
{

class TProgressRunner;
class TXMLDataProvider;

/// True when a new password is not acceptable: fewer than 8 or more than 90 characters, no digit 0 to 9, or no
/// Latin letter.
bool IsBadPasswordFormat(const std::string& Text);
/// Appends Text to the list text List, with ", " before it when List is not empty.
void AppendListItem(std::string& List, const std::string& Text);

class TResetPasswordInput;

/// The "Password Reset" window as its logic sees it.
class IResetPasswordView
{
public:
    virtual ~IResetPasswordView() = default;
    /// Shows the window modally over Input's boxes; the Reset button calls Input.Button_ResetClick and closes the
    /// window when it answers true. Returns true when the window closed with OK.
    virtual bool ShowModal(TResetPasswordInput& Input) = 0;
};

/// The boxes of the "Password Reset" window and its checks.
class TResetPasswordInput
{
public:
    /// The text of "Reset Code".
    std::string Edit_ResetCode;
    /// The text of "New Password".
    std::string Edit_NewPassword;
    /// The text of "Confirm Password".
    std::string Edit_ConfirmPassword;

    /// The Reset button: shows the first failed check's message and answers false, or answers true (close with
    /// OK) when the input passes.
    bool Button_ResetClick();
    /// Shows the window through View; on OK hands out the code and the new password. The boxes are emptied
    /// afterwards either way.
    bool AskNewPassword(IResetPasswordView& View, std::string& Code, std::string& NewPassword);
};

/// The flow behind "Forgot My Password": the REST password service when it is configured, otherwise the older
/// reminder request of the account type's server.
class TForgotPassword
{
public:
    TForgotPassword();
    ~TForgotPassword();

    /// The REST password service is configured.
    bool MarenResetPassword = false;
    /// The connection to the password service; exists only when MarenResetPassword and its address could be read.
    std::unique_ptr<TResetPasswordConnection> ResetPassword;
    /// Why the configured password service cannot be used (its address cannot be read); empty when it can.
    std::string ResetPasswordSettingsError;
    /// The boxes of the "Password Reset" window.
    TResetPasswordInput ResetInput;
    /// The "Password Reset" window.
    IResetPasswordView* ResetView = nullptr;
    /// Runs the requests behind the connection progress window.
    TProgressRunner* Progress = nullptr;
    /// The shared XML data provider (for the older reminder request).
    TXMLDataProvider* DataProvider = nullptr;
    /// The connection settings that FetchConnectionSettings fills.
    TAttributes* ConnectionSettings = nullptr;
    /// The login window's input check; false when the user was told what is missing.
    std::function<bool()> CheckUserInput;
    /// Fetches the connection settings of an account type into ConnectionSettings.
    std::function<void(const std::string& EntryValue)> FetchConnectionSettings;

    /// Reads the client settings' "reset_password" element (none when absent).
    void ReadResetPasswordSettings(const xml::IXMLNodePtr& Element);
    /// The click on "Forgot My Password" with the login window's user name, account-type value and language code.
    void Label_ForgotPasswordClick(const std::string& Login, const std::string& EntryValue,
                                   const std::string& LanguageCode);
};

} // namespace orb
