#include "registration/RegistrationExchange.h"

#include "DemoServer.h"
#include "TestViews.h"
#include "support/ScriptedViews.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <thread>

namespace orb
{
namespace
{

using test::Element;

/// Editors of one page that copy the test's "typed" values into their fields.
class TTypedEditors : public IVisualFields
{
public:
    TTypedEditors(TBundleFields& Page, const std::map<std::string, std::string>& Typed) : FPage(Page), FTyped(Typed) {}
    void SetToVariable() override
    {
        for (const auto& field : FPage.Items)
            if (auto it = FTyped.find(field->Id); it != FTyped.end())
                field->SetCurrentValue(it->second);
    }
    void UpdateUI() override {}

private:
    TBundleFields& FPage;
    const std::map<std::string, std::string>& FTyped;
};

/// The wizard window as a test sees it: what the user typed, and what the window was told.
class TTestWizard : public IRegistrationView
{
public:
    std::map<std::string, std::string> Typed;
    std::vector<std::string> Captions;
    std::vector<std::string> Messages;
    std::vector<bool> Closed;
    int EditorBuilds = 0;
    int Refreshes = 0;

    std::unique_ptr<IVisualFields> CreateVisualFields(TBundleFields& Page) override
    {
        ++EditorBuilds;
        return std::make_unique<TTypedEditors>(Page, Typed);
    }
    void UpdateControls() override { ++Refreshes; }
    void ShowCaption(const std::string& Text) override { Captions.push_back(Text); }
    void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
    void CloseWindow(bool Ok) override { Closed.push_back(Ok); }
};

class RegistrationExchangeTest : public ::testing::Test
{
protected:
    test::TDemoServer Server;
    test::TScriptedViews Views;
    TQueuedMainThread& Main = Views.MainThread;
    test::TScriptedDialogs& Dialogs = Views.Dialogs;
    TTestWizard Wizard;
    std::unique_ptr<TRegistrationExchange> Exchange;

    void SetUp() override
    {
        Exchange = std::make_unique<TRegistrationExchange>(&Wizard);
        Exchange->URL = Server.URL("/rpc/registration");
        Exchange->ProviderId = "demo";
        Exchange->Language = "en_US";
        Exchange->UserAgent = "ORB_LOADER 1.0.0.1";
        Exchange->Translator = [](const std::string& Key) { return "[" + Key + "]"; };
        Exchange->Entries = {
            Element({{"name", "Demo"}, {"value", "demo"}, {"regoffice", "office1"}}),
            Element({{"name", "Real"}, {"value", "real"}}),
        };
    }

    void TearDown() override
    {
        Exchange.reset();
        // Workers of destroyed exchanges end by themselves; let any hand-over run so they can.
        while (TRegistrationExchange::RunningRequests() > 0)
        {
            Main.ProcessUntil([] { return true; });
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    /// Runs the user-interface thread until no request is on its way.
    void WaitForAnswers()
    {
        Main.ProcessUntil([&] { return !Exchange->Busy(); });
    }

    nlohmann::json RegistrationRequests() const { return nlohmann::json::parse(Server.Requests())["registration"]; }

    void Start(const std::string& Provider = "demo")
    {
        Exchange->ProviderId = Provider;
        Exchange->FormShow();
        WaitForAnswers();
    }

    /// Types Values and presses Submit, then waits for the answer.
    void Submit(const std::map<std::string, std::string>& Values = {})
    {
        for (const auto& [id, value] : Values)
            Wizard.Typed[id] = value;
        Exchange->Button_SubmitClick();
        WaitForAnswers();
    }
};

TEST_F(RegistrationExchangeTest, RequestTextsArePiecedTogetherExactly)
{
    EXPECT_EQ(Exchange->FieldsRequestText(""), R"({"jsonrpc": "2.0", "method": "fields", "params": {"fields": {},)"
                                               R"("providerId": "demo", "language":"en_US"}, "id":"1"})");
    EXPECT_EQ(Exchange->RegistrateRequestText(R"( "a":"1")"),
              R"({"jsonrpc": "2.0", "method": "registrate", "params": {"fields": { "a":"1"},)"
              R"("providerId": "demo"}, "id":"1"})");
}

TEST_F(RegistrationExchangeTest, WalksAWholeRegistration)
{
    Start();
    // Page 0 came with the first answer, and the account type went out by itself.
    auto requests = RegistrationRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["body"], R"({"jsonrpc": "2.0", "method": "fields", "params": {"fields": {},)"
                                   R"("providerId": "demo", "language":"en_US"}, "id":"1"})");
    EXPECT_EQ(requests[1]["body"], R"({"jsonrpc": "2.0", "method": "fields", "params": {"fields": {)"
                                   R"( "entry":"demo:office1"},"providerId": "demo", "language":"en_US"}, "id":"1"})");
    for (const auto& request : requests)
    {
        EXPECT_EQ(request["headers"]["Accept"], "text/javascript");
        EXPECT_EQ(request["headers"]["Content-Type"], "application/json");
        EXPECT_EQ(request["headers"]["Content-Encoding"], "utf-8");
        EXPECT_EQ(request["headers"]["User-Agent"], "ORB_LOADER 1.0.0.1");
    }
    ASSERT_EQ(Exchange->Fields.Pages.size(), 2u);
    EXPECT_EQ(Exchange->State(), rsStarted);
    EXPECT_EQ(Exchange->PageIndex(), 1);
    TRField* country = Exchange->Fields.GetFieldById("country");
    ASSERT_NE(country, nullptr);
    EXPECT_EQ(country->FieldType, ftArray); // a TEXT field with three choices
    EXPECT_EQ(country->Value->size(), 3u);
    EXPECT_TRUE(Exchange->Fields.GetFieldById("source")->Hidden);
    EXPECT_FALSE(Exchange->Fields.GetFieldById("newsletter")->Hidden); // "true" as a string does not count

    // Required fields left empty: no request.
    Submit();
    EXPECT_EQ(RegistrationRequests().size(), 2u);
    EXPECT_TRUE(Exchange->Fields.GetFieldById("first_name")->Warning);

    // The service rejects the e-mail address with a warning.
    int builds = Wizard.EditorBuilds;
    Submit({{"first_name", "Ann"}, {"last_name", "M\xC3\xBCller"}, {"email", "ann"}, {"country", "DE"}});
    EXPECT_EQ(Exchange->State(), rsWarningFields);
    ASSERT_FALSE(Wizard.Captions.empty());
    EXPECT_EQ(Wizard.Captions.back(), "Please correct the marked fields");
    EXPECT_TRUE(Exchange->Fields.GetFieldById("email")->Warning);
    EXPECT_EQ(Exchange->Fields.GetFieldById("email")->WarningHint, "Invalid e-mail address");
    EXPECT_GT(Wizard.EditorBuilds, builds); // the page was rebuilt to show the mark
    EXPECT_EQ(Exchange->PageIndex(), 1);
    std::string body = RegistrationRequests()[2]["body"];
    EXPECT_NE(body.find(R"( "last_name":"M\u00FCller")"), std::string::npos) << body;
    EXPECT_NE(body.find(R"( "source":"launcher")"), std::string::npos) << body;

    // Corrected and submitted again: the next page comes as in rsStarted.
    Submit({{"email", "ann@example.com"}});
    EXPECT_EQ(Exchange->State(), rsStarted);
    ASSERT_EQ(Exchange->Fields.Pages.size(), 3u);
    EXPECT_EQ(Exchange->PageIndex(), 2);
    const auto& page2 = *Exchange->Fields.Pages[2];
    EXPECT_EQ(page2.Count(), 3u); // the repeated "email" was dropped
    TRField* contact = Exchange->Fields.GetFieldById("contact_email");
    TRField* email = Exchange->Fields.GetFieldById("email");
    EXPECT_EQ(contact->LinkField, email);
    EXPECT_EQ(contact->Value, email->Value); // the linked field shares the list
    EXPECT_EQ(contact->CurrentValue(), "ann@example.com");

    // Back and forth between known pages sends nothing.
    size_t sent = RegistrationRequests().size();
    Exchange->Button_BackClick();
    EXPECT_EQ(Exchange->PageIndex(), 1);
    Exchange->Button_BackClick();
    EXPECT_EQ(Exchange->PageIndex(), 1); // never page 0
    Submit();
    EXPECT_EQ(Exchange->PageIndex(), 2);
    EXPECT_EQ(RegistrationRequests().size(), sent);

    // The last page completes the form.
    Submit({{"birth_date", "1990-02-01"}});
    EXPECT_EQ(Exchange->State(), rsFieldsComplete);
    EXPECT_TRUE(Exchange->RequestCompleted);
    ASSERT_EQ(Exchange->PageIndex(), 3);
    TRField* terms = Exchange->Fields.GetFieldById("terms");
    EXPECT_EQ(terms->FieldType, ftLocalYesNoLink);
    EXPECT_EQ(terms->Value->at(0).Key, Server.URL("/terms.html"));
    EXPECT_EQ(Exchange->Fields.GetFieldById("risk")->FieldType, ftLocalYesNo);
    TRField* office = Exchange->Fields.GetFieldById("office");
    EXPECT_EQ(office->FieldType, ftMap);
    EXPECT_EQ(office->Value, Exchange->Fields.Pages[0]->Items[0]->Value);

    // The declarations must be accepted here.
    sent = RegistrationRequests().size();
    Submit({{"nickname", "trader"}, {"risk", "true"}});
    EXPECT_EQ(RegistrationRequests().size(), sent);
    EXPECT_TRUE(terms->Warning);
    EXPECT_EQ(terms->WarningHint, "[ReadAndAccept]");

    // The first "registrate" is refused for one field.
    Submit({{"terms", "true"}});
    EXPECT_EQ(Exchange->State(), rsWarningRegistrate);
    EXPECT_TRUE(Exchange->Fields.GetFieldById("nickname")->Warning);
    EXPECT_EQ(Wizard.Captions.back(), "Some values are not accepted");
    body = RegistrationRequests().back()["body"];
    EXPECT_EQ(
        body.rfind(R"({"jsonrpc": "2.0", "method": "registrate", "params": {"fields": { "entry":"demo:office1",)", 0),
        0u)
        << body;
    EXPECT_NE(body.find(R"( "contact_email":"ann@example.com")"), std::string::npos);
    EXPECT_NE(body.find(R"( "office":"demo:office1")"), std::string::npos);
    EXPECT_NE(body.find(R"("providerId": "demo"}, "id":"1"})"), std::string::npos);
    EXPECT_EQ(body.find("language"), std::string::npos);

    Submit({{"nickname", "trader2"}});
    EXPECT_EQ(Exchange->State(), rsRegistrateEnd);
    const TRInfo& info = Exchange->RegistrationInfo;
    EXPECT_EQ(info.Login, "trader21");
    EXPECT_EQ(info.Password, "Pw007919");
    EXPECT_EQ(info.Schema, "demo_schema");
    EXPECT_EQ(info.Entry, "Demo");
    EXPECT_EQ(info.Email, "ann@example.com");
    EXPECT_TRUE(Dialogs.Exceptions.empty());

    // Start trading hands the credentials over.
    Exchange->Button_BackClick();
    ASSERT_EQ(Wizard.Closed.size(), 1u);
    EXPECT_TRUE(Wizard.Closed[0]);
}

TEST_F(RegistrationExchangeTest, ControlsFollowStateAndPage)
{
    const std::map<std::string, std::string> texts = {{"Page", "Page {0}"},
                                                      {"Next", "Next"},
                                                      {"Submit", "Submit"},
                                                      {"StartTrading", "Start trading"},
                                                      {"Close", "Close"},
                                                      {"WaitingValidation", "Wait"},
                                                      {"SuccessfullRegistration", "Done!"},
                                                      {"Label_Caption.Caption", "Please fill out the form"}};
    Exchange->Translator = [&](const std::string& Key) {
        auto it = texts.find(Key);
        return it == texts.end() ? "Unknown:" + Key : it->second;
    };
    Start();
    auto c = Exchange->Controls();
    EXPECT_FALSE(c.BackVisible);
    EXPECT_EQ(c.PageText, "Page 1");
    EXPECT_TRUE(c.PageVisible);
    EXPECT_EQ(c.SubmitCaption, "Next");
    EXPECT_TRUE(c.SystemTypeEnabled);
    EXPECT_FALSE(c.InfoVisible);
    EXPECT_TRUE(c.CaptionVisible && c.ResetCaption);
    EXPECT_EQ(c.CaptionText, "Please fill out the form");
    EXPECT_TRUE(c.SeparatorsVisible && c.ImageVisible && c.ActionVisible && c.MessageBold);

    Submit({{"first_name", "Ann"}, {"last_name", "Lee"}, {"email", "ann"}, {"country", "GB"}});
    c = Exchange->Controls();
    EXPECT_EQ(Exchange->State(), rsWarningFields);
    EXPECT_FALSE(c.ResetCaption); // the service's warning stays in the caption line
    EXPECT_EQ(c.SubmitCaption, "Submit");

    Submit({{"email", "ann@example.com"}});
    c = Exchange->Controls();
    EXPECT_TRUE(c.BackVisible);
    EXPECT_FALSE(c.SystemTypeEnabled);
    EXPECT_EQ(c.PageText, "Page 2");

    Submit({{"birth_date", "1990-02-01"}, {"nickname", "lee"}, {"terms", "true"}, {"risk", "true"}});
    c = Exchange->Controls();
    EXPECT_EQ(Exchange->State(), rsFieldsComplete);
    EXPECT_EQ(c.SubmitCaption, "Submit");
    EXPECT_TRUE(c.PageVisible);

    Submit();
    c = Exchange->Controls();
    ASSERT_EQ(Exchange->State(), rsRegistrateEnd);
    EXPECT_TRUE(c.InfoVisible);
    EXPECT_EQ(c.ImageIndex, 8);
    EXPECT_FALSE(c.SubmitVisible || c.PageVisible);
    EXPECT_EQ(c.BackCaption, "Start trading");
    EXPECT_TRUE(c.BackVisible && c.BackCentred && c.LoginPasswordVisible && c.SuccessfullVisible);
    EXPECT_EQ(c.Login, Exchange->RegistrationInfo.Login);
    EXPECT_EQ(c.Email, "ann@example.com");
    EXPECT_EQ(c.MessageText, "Done!");

    Exchange->ShowUserCredentials = false;
    c = Exchange->Controls();
    EXPECT_FALSE(c.BackVisible || c.LoginPasswordVisible);
    EXPECT_TRUE(c.SuccessfullVisible);
}

TEST_F(RegistrationExchangeTest, ErrorStateKeepsTheServiceReasonOnScreen)
{
    Start("closed");
    auto c = Exchange->Controls();
    EXPECT_EQ(c.MessageText, "Registration is closed for this broker");
    EXPECT_FALSE(c.MessageBold || c.ActionVisible || c.ImageVisible || c.BackVisible);
    EXPECT_TRUE(c.InfoVisible);

    Exchange = std::make_unique<TRegistrationExchange>(&Wizard);
    Exchange->URL = Server.URL("/rpc/registration");
    Start("garbage");
    EXPECT_EQ(Exchange->Controls().MessageText, "Fails Initialization");
}

TEST_F(RegistrationExchangeTest, ServiceErrorsEndInErrorStateWithMessageOrData)
{
    const std::pair<const char*, const char*> cases[] = {
        {"closed", "Registration is closed for this broker"},
        {"silent", "Service is not available"},
    };
    for (const auto& [provider, message] : cases)
    {
        Wizard.Messages.clear();
        Start(provider);
        EXPECT_EQ(Exchange->State(), rsError) << provider;
        ASSERT_EQ(Wizard.Messages.size(), 1u) << provider;
        EXPECT_EQ(Wizard.Messages[0], message);
        EXPECT_TRUE(Exchange->Fields.Pages.empty());
    }
    // In the error state Submit only closes the window.
    Exchange->Button_SubmitClick();
    ASSERT_EQ(Wizard.Closed.size(), 1u);
    EXPECT_FALSE(Wizard.Closed[0]);
    EXPECT_TRUE(Exchange->FormCloseQuery());
}

TEST_F(RegistrationExchangeTest, FirstAnswerWithoutFieldsEndsInErrorState)
{
    for (const char* provider : {"garbage", "noresult", "empty"})
    {
        size_t before = RegistrationRequests().size();
        Exchange = std::make_unique<TRegistrationExchange>(&Wizard);
        Exchange->URL = Server.URL("/rpc/registration");
        Start(provider);
        EXPECT_EQ(Exchange->State(), rsError) << provider;
        EXPECT_TRUE(Exchange->Fields.Pages.empty());
        EXPECT_EQ(RegistrationRequests().size(), before + 1) << "no second request after a failed first one";
    }
}

TEST_F(RegistrationExchangeTest, HttpFailureIsReportedAndKeepsTheState)
{
    Start("broken");
    EXPECT_EQ(Exchange->State(), rsInit);
    ASSERT_EQ(Dialogs.Exceptions.size(), 1u);
    EXPECT_EQ(Dialogs.Exceptions[0].first, "TRequestThread");
    EXPECT_NE(Dialogs.Exceptions[0].second.find("500"), std::string::npos) << Dialogs.Exceptions[0].second;
}

TEST_F(RegistrationExchangeTest, LostRegistrateAnswerEndsInErrorState)
{
    Start();
    Submit({{"first_name", "Ann"}, {"last_name", "Lee"}, {"email", "ann@example.com"}, {"country", "FR"}});
    Submit({{"birth_date", "1990-02-01"}});
    ASSERT_EQ(Exchange->State(), rsFieldsComplete);
    Exchange->URL = "http://127.0.0.1:1/registration"; // nothing listens there
    Submit({{"nickname", "lee"}, {"terms", "true"}, {"risk", "true"}});
    EXPECT_EQ(Exchange->State(), rsError);
    ASSERT_EQ(Dialogs.Exceptions.size(), 1u);
    EXPECT_EQ(Dialogs.Exceptions[0].first, "TRequestThread");
}

TEST_F(RegistrationExchangeTest, SecondSubmitWhileRequestIsOnItsWayIsIgnored)
{
    Start();
    Wizard.Typed = {{"first_name", "Ann"}, {"last_name", "Lee"}, {"email", "ann@example.com"}, {"country", "GB"}};
    Exchange->Button_SubmitClick();
    EXPECT_TRUE(Exchange->Busy());
    Exchange->Button_SubmitClick();
    EXPECT_FALSE(Exchange->ComboBox_SystemTypeChange(1));
    WaitForAnswers();
    EXPECT_EQ(RegistrationRequests().size(), 3u);
    EXPECT_EQ(Exchange->Fields.Pages.size(), 3u);
}

TEST_F(RegistrationExchangeTest, ChangingAccountTypeDiscardsLaterPagesAndAsksAgain)
{
    Start();
    ASSERT_EQ(Exchange->PageIndex(), 1);
    EXPECT_TRUE(Exchange->ComboBox_SystemTypeChange(1));
    WaitForAnswers();
    EXPECT_EQ(Exchange->SystemTypeIndex(), 1);
    EXPECT_EQ(Exchange->Fields.Pages.size(), 2u);
    EXPECT_EQ(Exchange->PageIndex(), 1);
    std::string body = RegistrationRequests().back()["body"];
    EXPECT_NE(body.find(R"({"fields": { "entry":"real"},)"), std::string::npos) << body;

    // On the second real page the account type is fixed.
    Submit({{"first_name", "Ann"}, {"last_name", "Lee"}, {"email", "ann@example.com"}, {"country", "GB"}});
    ASSERT_EQ(Exchange->PageIndex(), 2);
    EXPECT_FALSE(Exchange->ComboBox_SystemTypeChange(0));
    Submit({{"birth_date", "1990-02-01"}, {"nickname", "x"}, {"terms", "true"}, {"risk", "true"}});
    Submit();
    ASSERT_EQ(Exchange->State(), rsRegistrateEnd);
    EXPECT_EQ(Exchange->RegistrationInfo.Entry, "Real");
}

TEST_F(RegistrationExchangeTest, ClosingAsksUnlessTheWizardHasEnded)
{
    Start();
    Dialogs.Answer = TModalResult::mrCancel;
    EXPECT_FALSE(Exchange->FormCloseQuery());
    ASSERT_EQ(Dialogs.Dialogs.size(), 1u);
    EXPECT_EQ(Dialogs.Dialogs[0].Text, "[CancelRegistration]");
    EXPECT_EQ(Dialogs.Dialogs[0].Icon, TMsgDlgType::mtConfirmation);
    Dialogs.Answer = TModalResult::mrOk;
    EXPECT_TRUE(Exchange->FormCloseQuery());
}

TEST_F(RegistrationExchangeTest, AnswerAfterTheExchangeIsGoneNeverReachesIt)
{
    Exchange->FormShow();
    // Let the answer arrive (its hand-over waits for the user-interface thread), then destroy the exchange.
    while (RegistrationRequests().empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    int refreshes = Wizard.Refreshes;
    Exchange.reset();
    while (TRegistrationExchange::RunningRequests() > 0)
    {
        Main.ProcessUntil([] { return true; });
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(Wizard.Refreshes, refreshes);
    EXPECT_EQ(Wizard.EditorBuilds, 0);
    EXPECT_TRUE(Dialogs.Exceptions.empty());
}

TEST(TRegistrationExchange, FieldDescriptionsWithMissingMembersReadAsEmpty)
{
    TRegistrationExchange exchange;
    auto page = exchange.ParseFieldsAnswer(R"({"result": {"fields": [{"id": "a"}, {"id": "b", "value": null},
        {"id": "c", "value": 5, "type": "NUMERIC", "hidden": true, "required": "true"}, 7]}})");
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(exchange.RequestCompleted);
    ASSERT_EQ(page->Count(), 3u);
    EXPECT_EQ((*page)[0].FieldType, ftHidden);
    EXPECT_TRUE((*page)[0].Value->empty());
    ASSERT_EQ((*page)[1].Value->size(), 1u);
    EXPECT_EQ((*page)[1].Value->at(0).Key, "");
    EXPECT_EQ((*page)[2].Value->at(0).Key, "5");
    EXPECT_EQ((*page)[2].Value->at(0).Value, "5");
    EXPECT_TRUE((*page)[2].Hidden);
    EXPECT_FALSE((*page)[2].Required);
    EXPECT_EQ(exchange.ParseFieldsAnswer("[1]"), nullptr);
    EXPECT_EQ(exchange.ParseFieldsAnswer(R"({"error": {}})"), nullptr);
}

TEST(TRegistrationExchange, CompletedAnswerWithEmptyPageCompletesTheForm)
{
    TRegistrationExchange exchange;
    auto page = exchange.ParseFieldsAnswer(R"({"result": {"completed": true, "fields": []}})");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->Count(), 0u);
    EXPECT_EQ(exchange.State(), rsFieldsComplete);
}

TEST(TRegistrationExchange, ErrorAnswersMoveTheState)
{
    struct Case
    {
        const char* Body;
        bool Completed;
        TRegistrationState State;
        std::vector<std::string> Captions;
        std::vector<std::string> Messages;
        bool Marked;
    };
    const Case cases[] = {
        {R"({"error": {"code": "-32005", "message": "Fix it", "data": {"a": "bad"}}})",
         false,
         rsWarningFields,
         {"Fix it"},
         {},
         true},
        {R"({"error": {"code": -32001, "message": "Fix it", "data": {"zzz": "bad"}}})",
         true,
         rsWarningRegistrate,
         {"Fix it"},
         {},
         false},
        {R"({"error": {"code": -1, "message": "", "data": {"reason": "closed"}}})",
         false,
         rsError,
         {},
         {R"({"reason":"closed"})"},
         false},
        {R"({"error": {"message": "Gone"}})", false, rsError, {}, {"Gone"}, false},
        {R"({"result": {}})", false, rsStarted, {}, {}, false},
        {"not json", false, rsStarted, {}, {}, false},
    };
    for (const auto& c : cases)
    {
        TTestWizard wizard;
        TRegistrationExchange exchange(&wizard);
        auto page = std::make_unique<TBundleFields>();
        page->Add(std::make_unique<TRField>()).Id = "a";
        exchange.Fields.AddBundle(std::move(page));
        exchange.RequestCompleted = c.Completed;
        exchange.SetState(rsStarted);
        exchange.HandleError(c.Body);
        EXPECT_EQ(exchange.State(), c.State) << c.Body;
        EXPECT_EQ(wizard.Captions, c.Captions) << c.Body;
        EXPECT_EQ(wizard.Messages, c.Messages) << c.Body;
        EXPECT_EQ(exchange.Fields.GetFieldById("a")->Warning, c.Marked) << c.Body;
    }
}

TEST(TRegistrationExchange, RegistrateAnswerWithoutResultCreatesNoAccount)
{
    TRegistrationExchange exchange;
    exchange.SetState(rsRegistrateBegin);
    exchange.Response = "<html>proxy error</html>";
    exchange.HandleAnswer();
    EXPECT_EQ(exchange.State(), rsError);

    exchange.SetState(rsRegistrateBegin);
    exchange.Response = R"({"result": {"LOGIN": 42}})";
    exchange.HandleAnswer();
    EXPECT_EQ(exchange.State(), rsRegistrateEnd);
    EXPECT_EQ(exchange.RegistrationInfo.Login, "42");
    EXPECT_EQ(exchange.RegistrationInfo.Password, "");
}

TEST(TRegistrationExchange, FormCompleteAfterOneRealPageShowsNoPageNumber)
{
    TRegistrationExchange exchange;
    exchange.Translator = [](const std::string& Key) { return Key; };
    exchange.Fields.AddBundle(std::make_unique<TBundleFields>());
    exchange.Fields.AddBundle(std::make_unique<TBundleFields>());
    exchange.SetState(rsFieldsComplete);
    exchange.ShowPage(1);
    auto c = exchange.Controls();
    EXPECT_FALSE(c.PageVisible);
    EXPECT_EQ(c.SubmitCaption, "Submit");
    exchange.SetState(rsStarted);
    EXPECT_TRUE(exchange.Controls().PageVisible);
    EXPECT_EQ(exchange.Controls().SubmitCaption, "Next");
    exchange.SetState(rsInit);
    EXPECT_FALSE(exchange.Controls().SeparatorsVisible);
    exchange.SetState(rsRegistrateBegin);
    c = exchange.Controls();
    EXPECT_TRUE(c.TimerRunning);
    EXPECT_FALSE(c.ActionVisible || c.SystemTypeEnabled);
    EXPECT_EQ(c.MessageText, "WaitingValidation");
    EXPECT_FALSE(exchange.FormCloseQuery());
}

TEST(TRegistrationExchange, EntryValueAddsRegOfficeWhenPresent)
{
    TRegistrationExchange exchange;
    exchange.Entries = {
        Element({{"value", "v"}, {"regoffice", "r"}}),
        Element({{"value", "w"}}),
        Element({{"value", "x"}, {"regoffice", ""}}),
    };
    EXPECT_EQ(exchange.GetEntryValue(0), "v:r");
    EXPECT_EQ(exchange.GetEntryValue(1), "w");
    EXPECT_EQ(exchange.GetEntryValue(2), "x:");
    EXPECT_EQ(exchange.GetEntryValue(3), "");
    EXPECT_EQ(exchange.GetEntryValue(-1), "");
}

} // namespace
} // namespace orb
