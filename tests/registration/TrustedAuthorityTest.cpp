#include "TestViews.h"
#include "registration/RegistrationExchange.h"
#include "registration/RestConnection.h"
#include "support/ScriptedViews.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace orb
{
namespace
{

/// Editors that leave the fields as the service described them.
class TQuietEditors : public IVisualFields
{
public:
    void SetToVariable() override {}
    void UpdateUI() override {}
};

/// A wizard window that only takes what the exchange tells it.
class TQuietWizard : public IRegistrationView
{
public:
    std::unique_ptr<IVisualFields> CreateVisualFields(TBundleFields&) override
    {
        return std::make_unique<TQuietEditors>();
    }
    void UpdateControls() override {}
    void ShowCaption(const std::string&) override {}
    void ShowMessage(const std::string&) override {}
    void CloseWindow(bool) override {}
};

/// The account services over https, with a certificate of a throw-away authority: a registration service that
/// answers every request with a complete form, and a password service that accepts every user name.
test::TNginxOptions AccountServices()
{
    test::TNginxOptions options;
    options.ServerDirectives =
        "    location = /rpc { default_type application/json; return 200 '{\"jsonrpc\": \"2.0\", \"result\": "
        "{\"completed\": true, \"fields\": [{\"id\": \"email\", \"name\": \"E-mail\", \"hidden\": false, "
        "\"type\": \"TEXT\", \"hint\": \"\", \"link\": \"\", \"required\": true, \"value\": \"\"}]}, \"id\": \"1\"}'; "
        "}\n"
        "    location = /api/passwords { default_type application/json; "
        "return 200 '{\"passwordResetID\": \"r-17\"}'; }\n";
    return options;
}

class TrustedAuthorityTest : public ::testing::Test
{
protected:
    test::TNginxServer Server{AccountServices()};
    test::TScriptedViews Views;

    std::string Address(const std::string& Path) const
    {
        return "https://localhost:" + std::to_string(Server.HttpsPort()) + Path;
    }

    void TearDown() override
    {
        SetDefaultCAFile("");
        while (TRegistrationExchange::RunningRequests() > 0)
        {
            Views.MainThread.ProcessUntil([] { return true; });
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    /// Starts the wizard's exchange (made after the installation's authorities were set) and waits for its answer.
    void StartRegistration(TQuietWizard& Wizard, TRegistrationExchange& Exchange)
    {
        Exchange.URL = Address("/rpc");
        Exchange.ProviderId = "demo";
        Exchange.Language = "en_US";
        Exchange.Translator = [](const std::string& Key) { return Key; };
        Exchange.Entries = {test::Element({{"name", "Demo"}, {"value", "demo"}})};
        Exchange.FormShow();
        Views.MainThread.ProcessUntil([&] { return !Exchange.Busy(); });
    }

    /// Asks the password service for a reset code over https.
    void AskForReset(TResetPasswordConnection& Connection)
    {
        TURL address;
        address.SetURL(Address("/api/"));
        Connection.URL = address;
        Connection.PrepareFogotPassword("ann");
        Connection.DoRequest();
    }
};

TEST_F(TrustedAuthorityTest, TheInstallationsAuthoritiesReachTheAccountServices)
{
    SetDefaultCAFile(Server.CAFile().string());
    {
        TQuietWizard wizard;
        TRegistrationExchange exchange(&wizard);
        StartRegistration(wizard, exchange);
        EXPECT_TRUE(Views.Dialogs.Exceptions.empty())
            << Views.Dialogs.Exceptions.front().first << ": " << Views.Dialogs.Exceptions.front().second;
        EXPECT_FALSE(exchange.Fields.Pages.empty());
        EXPECT_EQ(exchange.State(), rsFieldsComplete);
    }
    TResetPasswordConnection connection;
    AskForReset(connection);
    EXPECT_EQ(connection.GetJsonValue("passwordResetID"), "r-17");
}

TEST_F(TrustedAuthorityTest, WithoutTheInstallationsAuthoritiesTheServicesAreRefused)
{
    {
        TQuietWizard wizard;
        TRegistrationExchange exchange(&wizard);
        StartRegistration(wizard, exchange);
        ASSERT_EQ(Views.Dialogs.Exceptions.size(), 1u);
        EXPECT_EQ(Views.Dialogs.Exceptions[0].first, "TRequestThread");
        EXPECT_NE(Views.Dialogs.Exceptions[0].second.find("certificate"), std::string::npos)
            << Views.Dialogs.Exceptions[0].second;
        EXPECT_TRUE(exchange.Fields.Pages.empty());
    }
    TResetPasswordConnection connection;
    try
    {
        AskForReset(connection);
        FAIL() << "an unverifiable password service was accepted";
    }
    catch (const ESocketError& error)
    {
        EXPECT_NE(error.Message.find("certificate"), std::string::npos) << error.Message;
    }
    EXPECT_EQ(connection.GetJsonValue("passwordResetID"), "");
}

} // namespace
} // namespace orb
