#include "registration/ResetPassword.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "base/Views.h"
#include "localisation/Unit_Language.h"
#include "net/ProgressRunner.h"
#include "net/XMLDataProvider.h"

namespace orb
{

namespace
{

void ShowMessageKey(const std::string& Text, TMsgDlgType Icon)
{
    Dialogs().ShowLocalizedDialog(LanguageText("Message"), Text, Icon, {LanguageText("mbOK")}, {TMsgDlgBtn::mbOK});
}

} // namespace

bool IsBadPasswordFormat(const std::string& Text)
{
    size_t length = Utf16Length(Text);
    if (length < 8 || length > 90)
        return true;
    bool digit = false;
    bool letter = false;
    for (unsigned char c : Text)
    {
        digit = digit || (c >= '0' && c <= '9');
        letter = letter || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }
    return !digit || !letter;
}

void AppendListItem(std::string& List, const std::string& Text)
{
    if (!List.empty())
        List += ", ";
    List += Text;
}

bool TResetPasswordInput::Button_ResetClick()
{
    std::string empty;
    if (Edit_ResetCode.empty())
        AppendListItem(empty, LanguageText("ResetCodeField"));
    if (Edit_NewPassword.empty())
        AppendListItem(empty, LanguageText("NewPasswordField"));
    if (Edit_ConfirmPassword.empty())
        AppendListItem(empty, LanguageText("ConfirmPasswordField"));
    if (!empty.empty())
    {
        ShowMessageKey(FormatTemplate(LanguageText("EmptyFields"), {empty}), TMsgDlgType::mtWarning);
        return false;
    }
    if (IsBadPasswordFormat(Edit_NewPassword) || IsBadPasswordFormat(Edit_ConfirmPassword))
    {
        ShowMessageKey(LanguageText("PasswordFormat"), TMsgDlgType::mtWarning);
        return false;
    }
    if (Edit_NewPassword != Edit_ConfirmPassword)
    {
        ShowMessageKey(LanguageText("ConfirmPasswordError"), TMsgDlgType::mtWarning);
        return false;
    }
    return true;
}

bool TResetPasswordInput::AskNewPassword(IResetPasswordView& View, std::string& Code, std::string& NewPassword)
{
    Code.clear();
    NewPassword.clear();
    bool ok = View.ShowModal(*this);
    if (ok)
    {
        Code = Edit_ResetCode;
        NewPassword = Edit_NewPassword;
    }
    Edit_ResetCode.clear();
    Edit_NewPassword.clear();
    Edit_ConfirmPassword.clear();
    return ok;
}

TForgotPassword::TForgotPassword() = default;
TForgotPassword::~TForgotPassword() = default;

void TForgotPassword::ReadResetPasswordSettings(const xml::IXMLNodePtr& Element)
{
    MarenResetPassword = Element && Element->Attributes("enable") == "true";
    ResetPassword.reset();
    ResetPasswordSettingsError.clear();
    if (!MarenResetPassword)
        return;
    // A broken address must not stop the launcher: the link says what is wrong when it is clicked.
    auto connection = std::make_unique<TResetPasswordConnection>();
    try
    {
        connection->SetConnectionParams(Element);
        ResetPassword = std::move(connection);
    }
    catch (const EConvertError& e)
    {
        ResetPasswordSettingsError = e.Message;
    }
}

void TForgotPassword::Label_ForgotPasswordClick(const std::string& Login, const std::string& EntryValue,
                                                const std::string& LanguageCode)
{
    if (MarenResetPassword && !ResetPassword)
    {
        ShowMessageKey(FormatTemplate(LanguageText("PasswordServiceMisconfigured"), {ResetPasswordSettingsError}),
                       TMsgDlgType::mtError);
        return;
    }
    if (CheckUserInput && !CheckUserInput())
        return;
    if (MarenResetPassword && ResetPassword)
    {
        ResetPassword->PrepareFogotPassword(Login);
        Progress->RestRequest(*ResetPassword);
        std::string id = ResetPassword->GetJsonValue("passwordResetID");
        if (id.empty())
            return;
        ShowMessageKey(LanguageText("VerificationCodeSent"), TMsgDlgType::mtInformation);
        std::string code;
        std::string password;
        if (!ResetView || !ResetInput.AskNewPassword(*ResetView, code, password))
            return;
        ResetPassword->PrepareResetPassword(id, code, password);
        Progress->RestRequest(*ResetPassword);
        if (ResetPassword->ResponseCode == 200)
            ShowMessageKey(LanguageText("PasswordSuccessfullyReset"), TMsgDlgType::mtInformation);
        return;
    }

    if (FetchConnectionSettings)
        FetchConnectionSettings(EntryValue);
    TURL codebase;
    codebase.SetURL(ConnectionSettings->Values("codebase"));
    TURL& url = DataProvider->HTTP.URL;
    url.Protocol = "http";
    url.Host = codebase.Host;
    url.Port = StrToInt(Trim(ConnectionSettings->Values("ServerPort")));
    url.Path = ConnectionSettings->Values("DASPath");
    url.Document = "resend_password";
    url.ClearParameters();
    url.Parameters.SetValues("schema$", ConnectionSettings->Values("DBAlias"));
    url.Parameters.SetValues("login_id", Login);
    url.Parameters.SetValues("lang", LanguageCode);
    Progress->XMLRequest(*DataProvider);
    if (auto root = DataProvider->XMLData())
        Dialogs().ShowMessage(root->Attributes("message"));
}

} // namespace orb
