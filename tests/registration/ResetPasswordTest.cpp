#include "registration/ResetPassword.h"

#include "DemoServer.h"
#include "TestViews.h"
#include "localisation/Unit_Language.h"
#include "net/ProgressRunner.h"
#include "net/XMLDataProvider.h"
#include "support/ScriptedViews.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace orb
{
namespace
{

using test::Element;

TEST(IsBadPasswordFormat, RefusesShortLongAndOneSidedPasswords)
{
    const std::pair<std::string, bool> cases[] = {
        {"abc1234", true},                   // 7 characters
        {"abcd1234", false},                 // 8 characters, a digit and a lower-case letter
        {"ABCD1234", false},                 // upper-case letters count too
        {std::string(89, 'a') + "1", false}, // 90 characters
        {std::string(90, 'a') + "1", true},  // 91 characters
        {"abcdefghij", true},                // no digit
        {"12345678!?", true},                // digits and punctuation only
        {"\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC\xC3\xBC"
         "a1",
         false}, // other characters count to the length
        {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
         "1",
         true}, // an accented letter is not a Latin one
        {"", true},
    };
    for (const auto& [text, bad] : cases)
        EXPECT_EQ(IsBadPasswordFormat(text), bad) << text;
}

TEST(AppendListItem, SeparatesItemsWithCommaAndBlank)
{
    std::string list;
    AppendListItem(list, "A");
    EXPECT_EQ(list, "A");
    AppendListItem(list, "B");
    EXPECT_EQ(list, "A, B");
}

/// The "Password Reset" window: the user tries each input in turn and cancels when none passes.
class TTypingResetView : public IResetPasswordView
{
public:
    struct TInput
    {
        std::string Code, NewPassword, Confirm;
    };
    std::vector<TInput> Attempts;
    std::vector<TInput> Seen; // what the boxes held when the window opened

    bool ShowModal(TResetPasswordInput& Input) override
    {
        Seen.push_back({Input.Edit_ResetCode, Input.Edit_NewPassword, Input.Edit_ConfirmPassword});
        for (const auto& attempt : Attempts)
        {
            Input.Edit_ResetCode = attempt.Code;
            Input.Edit_NewPassword = attempt.NewPassword;
            Input.Edit_ConfirmPassword = attempt.Confirm;
            if (Input.Button_ResetClick())
                return true;
        }
        return false;
    }
};

class ResetPasswordTest : public ::testing::Test
{
protected:
    std::unique_ptr<test::TScriptedViews> Views;
    test::TScriptedDialogs* Dialogs = nullptr;

    void SetUp() override
    {
        ResourcePath = (test::SourceDir() / "resource").string();
        LanguageCode = "en_US";
        LanguageTable = std::make_unique<TLanguage>();
        Views = std::make_unique<test::TScriptedViews>();
        Dialogs = &Views->Dialogs;
    }
    void TearDown() override
    {
        Views.reset();
        LanguageTable.reset();
    }

    static std::string Text(const std::string& Key) { return LanguageTable->Get(Key); }

    std::vector<std::string> DialogTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& dialog : Dialogs->Dialogs)
            texts.push_back(dialog.Text);
        return texts;
    }
};

TEST_F(ResetPasswordTest, ResetChecksRunInOrderWithTheirMessages)
{
    const std::string good = "Secret123";
    struct Case
    {
        std::string Code, NewPassword, Confirm, Message;
    };
    const std::vector<Case> cases = {
        {"", "", "",
         FormatTemplate(Text("EmptyFields"), {Text("ResetCodeField") + ", " + Text("NewPasswordField") + ", " +
                                              Text("ConfirmPasswordField")})},
        {"1", "", good, FormatTemplate(Text("EmptyFields"), {Text("NewPasswordField")})},
        {"", "short", "",
         FormatTemplate(Text("EmptyFields"), {Text("ResetCodeField") + ", " + Text("ConfirmPasswordField")})},
        {"1", "short1", "short1", Text("PasswordFormat")},
        {"1", good, "nodigits", Text("PasswordFormat")}, // format before equality
        {"1", good, "Secret124", Text("ConfirmPasswordError")},
        {"1", " " + good, good, Text("ConfirmPasswordError")}, // not trimmed
    };
    for (const auto& c : cases)
    {
        Dialogs->Dialogs.clear();
        TResetPasswordInput input{c.Code, c.NewPassword, c.Confirm};
        EXPECT_FALSE(input.Button_ResetClick()) << c.Message;
        ASSERT_EQ(Dialogs->Dialogs.size(), 1u) << c.Message;
        EXPECT_EQ(Dialogs->Dialogs[0].Text, c.Message);
        EXPECT_EQ(Dialogs->Dialogs[0].Icon, TMsgDlgType::mtWarning);
        EXPECT_EQ(Dialogs->Dialogs[0].Caption, Text("Message"));
        EXPECT_EQ(Dialogs->Dialogs[0].ButtonCaptions, std::vector<std::string>{Text("mbOK")});
    }
    Dialogs->Dialogs.clear();
    TResetPasswordInput input{"1", good, good};
    EXPECT_TRUE(input.Button_ResetClick());
    EXPECT_TRUE(Dialogs->Dialogs.empty());
}

TEST_F(ResetPasswordTest, AskNewPasswordEmptiesTheBoxesAfterEveryUse)
{
    TResetPasswordInput input;
    TTypingResetView view;
    view.Attempts = {{"42", "Secret123", "Secret123"}};
    std::string code = "old", password = "old";
    EXPECT_TRUE(input.AskNewPassword(view, code, password));
    EXPECT_EQ(code, "42");
    EXPECT_EQ(password, "Secret123");

    view.Attempts = {{"43", "short", "short"}};
    EXPECT_FALSE(input.AskNewPassword(view, code, password));
    EXPECT_EQ(code, "");
    EXPECT_EQ(password, "");
    ASSERT_EQ(view.Seen.size(), 2u);
    EXPECT_EQ(view.Seen[1].Code, "");
    EXPECT_EQ(view.Seen[1].NewPassword, "");
    EXPECT_EQ(input.Edit_ConfirmPassword, "");
}

class ForgotPasswordTest : public ResetPasswordTest
{
protected:
    test::TDemoServer Server;
    TProgressRunner Progress;
    TTypingResetView ResetView;
    TForgotPassword Flow;
    bool InputOk = true;

    void SetUp() override
    {
        ResetPasswordTest::SetUp();
        Flow.Progress = &Progress;
        Flow.ResetView = &ResetView;
        Flow.CheckUserInput = [this] { return InputOk; };
        Flow.ReadResetPasswordSettings(Element({{"enable", "true"},
                                                {"url", Server.URL("/api/")},
                                                {"port", std::to_string(Server.Port())},
                                                {"protocol", "http"}}));
        ResetView.Attempts = {{"123456", "Secret123", "Secret123"}};
    }

    nlohmann::json PasswordRequests() const { return nlohmann::json::parse(Server.Requests())["password"]; }
};

TEST_F(ForgotPasswordTest, ResetThroughThePasswordService)
{
    ASSERT_TRUE(Flow.MarenResetPassword);
    Flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
    EXPECT_EQ(DialogTexts(),
              (std::vector<std::string>{Text("VerificationCodeSent"), Text("PasswordSuccessfullyReset")}));
    EXPECT_EQ(Dialogs->Dialogs[0].Icon, TMsgDlgType::mtInformation);
    EXPECT_EQ(Views->ModalWait.Shown.size(), 2u);
    auto requests = PasswordRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1]["body"], R"({ "code": "123456", "passwordResetID": "1001", "password": "Secret123" })");

    // A second click asks for a new code and uses the new id.
    Flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
    requests = PasswordRequests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3]["id"], "1002");
}

TEST_F(ForgotPasswordTest, ServiceRefusalIsShownAndEndsTheFlow)
{
    Flow.Label_ForgotPasswordClick("unknown", "demo", "en_US");
    ASSERT_EQ(Dialogs->Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs->Dialogs[0].Text, "No user with this name");
    EXPECT_EQ(Dialogs->Dialogs[0].Icon, TMsgDlgType::mtError);
    EXPECT_TRUE(ResetView.Seen.empty());

    Dialogs->Dialogs.clear();
    ResetView.Attempts = {{"000000", "Secret123", "Secret123"}};
    Flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
    EXPECT_EQ(DialogTexts(), (std::vector<std::string>{Text("VerificationCodeSent"), "Wrong verification code"}));
}

TEST_F(ForgotPasswordTest, NoSuccessMessageUnlessStatusIsTwoHundred)
{
    Flow.Label_ForgotPasswordClick("quiet", "demo", "en_US");
    EXPECT_EQ(DialogTexts(), std::vector<std::string>{Text("VerificationCodeSent")});
    EXPECT_EQ(PasswordRequests().size(), 2u);
}

TEST_F(ForgotPasswordTest, CancelledResetWindowSendsNothingMore)
{
    ResetView.Attempts.clear();
    Flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
    EXPECT_EQ(DialogTexts(), std::vector<std::string>{Text("VerificationCodeSent")});
    EXPECT_EQ(PasswordRequests().size(), 1u);
}

TEST_F(ForgotPasswordTest, UnreachableServiceEndsSilently)
{
    Flow.ResetPassword->URL.Port = 1;
    Flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
    EXPECT_TRUE(Dialogs->Dialogs.empty());
    EXPECT_TRUE(Dialogs->Exceptions.empty());
}

TEST_F(ForgotPasswordTest, MissingInputStopsBeforeAnyRequest)
{
    InputOk = false;
    Flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
    EXPECT_TRUE(PasswordRequests().empty());
    EXPECT_TRUE(Views->ModalWait.Shown.empty());
}

TEST_F(ForgotPasswordTest, OlderReminderGoesToTheAccountTypesServer)
{
    Flow.ReadResetPasswordSettings(Element({{"enable", "True"}, {"url", Server.URL("/api/")}}));
    ASSERT_FALSE(Flow.MarenResetPassword);
    TAttributes settings;
    TXMLDataProvider provider;
    std::string fetched;
    Flow.ConnectionSettings = &settings;
    Flow.DataProvider = &provider;
    Flow.FetchConnectionSettings = [&](const std::string& Entry) {
        fetched = Entry;
        settings.SetValues("codebase", "https://127.0.0.1:7/client/");
        settings.SetValues("ServerPort", std::to_string(Server.Port()));
        settings.SetValues("DASPath", "/das/");
        settings.SetValues("DBAlias", "demo_schema");
    };
    Flow.Label_ForgotPasswordClick("b&b o", "demo:office1", "de_DE");
    EXPECT_EQ(fetched, "demo:office1");
    EXPECT_EQ(provider.HTTP.URL.URL_String(),
              "http://127.0.0.1:" + std::to_string(Server.Port()) +
                  "/das/resend_password?schema%24=demo_schema&login_id=b%26b+o&lang=de_DE");
    ASSERT_EQ(Dialogs->Messages.size(), 1u);
    EXPECT_EQ(Dialogs->Messages[0], "The password of b&b o (demo_schema, de_DE) has been sent to your e-mail address");
}

TEST_F(ForgotPasswordTest, AnAddressThatCannotBeReadDisablesTheServiceWithAMessageInsteadOfStoppingStartUp)
{
    for (const char* url : {"", "pw.example.com/api/", "http://pw.example.com:99999999/"})
    {
        TForgotPassword flow;
        flow.Progress = &Progress;
        ASSERT_NO_THROW(flow.ReadResetPasswordSettings(Element({{"enable", "true"}, {"url", url}}))) << url;
        EXPECT_TRUE(flow.MarenResetPassword);
        EXPECT_FALSE(flow.ResetPassword);
        Dialogs->Dialogs.clear();
        flow.Label_ForgotPasswordClick("ann", "demo", "en_US");
        ASSERT_EQ(DialogTexts().size(), 1u) << url;
        EXPECT_EQ(DialogTexts()[0].rfind(Text("PasswordServiceMisconfigured").substr(0, 20), 0), 0u)
            << DialogTexts()[0];
        EXPECT_NE(DialogTexts()[0].find(flow.ResetPasswordSettingsError), std::string::npos);
        EXPECT_FALSE(flow.ResetPasswordSettingsError.empty());
    }
}

} // namespace
} // namespace orb
