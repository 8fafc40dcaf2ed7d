// The saved password in the system keyring: the login flow against gnome-keyring on a private session bus.

#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "launcher/LoginFlow.h"
#include "launcher/PasswordScrambling.h"
#include "localisation/Unit_Language.h"
#include "platform/Environment.h"
#include "support/ScriptedViews.h"
#include "support/SecretService.h"
#include "support/TempDir.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

namespace orb
{
namespace
{

using platform::TKeyringState;

/// A user file in a temporary directory, the en_US messages, and the session bus pointed at the shared private
/// Secret Service; every login runs off-line and ends with the off-line message after the user file was saved.
class SavedPasswordKeyringTest : public ::testing::Test
{
protected:
    test::TempDir Dir;
    test::TScriptedViews Views;
    TXMLDataProvider Provider;
    TProgressRunner Progress;
    TUpdateRunner Updater;
    test::TSecretService& Keyring = test::TSecretService::Shared();
    std::unique_ptr<test::TSessionBusScope> Bus = std::make_unique<test::TSessionBusScope>(Keyring.Address());
    std::optional<std::string> FSavedData = platform::GetEnvironmentValue("XDG_DATA_HOME");
    const std::string FSavedPath = ResourcePath, FSavedCode = LanguageCode;

    void SetUp() override
    {
        ResourcePath = (test::SourceDir() / "resource").string();
        LanguageCode = "en_US";
        LanguageTable = std::make_unique<TLanguage>();
        platform::SetEnvironmentValue("XDG_DATA_HOME", (Dir / "appdata").string());
        WriteUserFile("last_login=\"\"");
    }

    void TearDown() override
    {
        for (const char* user : {"kate", "lena", "mona"})
            platform::ForgetKeyring(KeyringServiceName, user);
        LanguageTable.reset();
        ResourcePath = FSavedPath;
        LanguageCode = FSavedCode;
        if (FSavedData)
            platform::SetEnvironmentValue("XDG_DATA_HOME", *FSavedData);
        else
            platform::RemoveEnvironmentValue("XDG_DATA_HOME");
        ConnectionSettings.Clear();
    }

    /// The settings files, the user file's root carrying RootAttributes.
    void WriteUserFile(const std::string& RootAttributes)
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m application=\"client\"><entry_servers/><languages><item name=\"English\" "
                         "value=\"en_US\"/></languages></m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c show_offline_mode=\"1\"><entries><item name=\"Demo\" value=\"d\"/></entries></c>");
        test::WriteBytes(Dir / "user_loader_settings.xml",
                         "<user_loader_settings " + RootAttributes +
                             " last_entry=\"Demo\" language=\"en_US\"><proxy enabled=\"false\"/>"
                             "<alternate_server/><entries/></user_loader_settings>");
        LoadLoaderSettings(Dir.Path());
    }

    TLoginFlow Flow()
    {
        TLoginFlow flow(Provider, Progress, Updater);
        flow.LoaderPath = "/opt/orb/orb-loader";
        flow.WorkingDirectory = Dir.Path().string();
        flow.Start();
        flow.Offline = true;
        return flow;
    }

    /// Logs in as User with Password, saving it as Save and InKeyring say; the launcher then reads its files anew.
    void Login(const std::string& User, const std::string& Password, bool Save, bool InKeyring)
    {
        auto flow = Flow();
        flow.Login = User;
        flow.Password = Password;
        flow.SavePassword = Save;
        flow.SaveInKeyring = InKeyring;
        EXPECT_THROW(flow.Button_OKClick(false), Exception) << "off-line without an installation";
        LoadLoaderSettings(Dir.Path());
    }

    xml::IXMLNodePtr UserFile() const { return xml::LoadXMLNodeFromFile(Dir / "user_loader_settings.xml"); }
};

TEST_F(SavedPasswordKeyringTest, TheKeyringHoldsThePasswordAndTheUserFileOnlyNotesIt)
{
    Login("kate", "s3cret pass", true, true);
    EXPECT_EQ(Keyring.Lookup(KeyringServiceName, "kate"), "s3cret pass");
    const auto user = UserFile();
    EXPECT_EQ(user->Attributes("password"), "") << "nothing an older launcher could take for a password";
    EXPECT_EQ(user->Attributes("password_store"), "keyring");
    EXPECT_EQ(test::ReadBytes(Dir / "user_loader_settings.xml").find("s3cret"), std::string::npos);
    // What an older launcher does with the file: it unscrambles "password" and finds no password at all.
    EXPECT_EQ(ScrambleSavedPassword(user->Attributes("password"), false), "");

    const auto flow = Flow();
    EXPECT_EQ(flow.KeyringState, TKeyringState::ksAvailable);
    EXPECT_EQ(flow.Password, "s3cret pass");
    EXPECT_TRUE(flow.SavePassword);
    EXPECT_TRUE(flow.SaveInKeyring);
    EXPECT_TRUE(Views.Dialogs.Dialogs.empty());
}

TEST_F(SavedPasswordKeyringTest, EachLoginReplacesOrForgetsTheEntry)
{
    struct TStep
    {
        const char* Note;
        std::string User, Password;
        bool Save, InKeyring;
        std::optional<std::string> Kate, Lena; ///< the keyring's entries afterwards
        std::string Scrambled;                 ///< the user file's password, unscrambled
        std::string Store;                     ///< the user file's password_store
    };
    const TStep steps[] = {
        {"stored", "kate", "one", true, true, "one", std::nullopt, "", "keyring"},
        {"replaced", "kate", "two", true, true, "two", std::nullopt, "", "keyring"},
        {"another user: the file remembers one password", "lena", "three", true, true, std::nullopt, "three", "",
         "keyring"},
        {"back to the scrambled form", "lena", "four", true, false, std::nullopt, std::nullopt, "four", ""},
        {"into the keyring again", "lena", "five", true, true, std::nullopt, "five", "", "keyring"},
        {"Save Password unticked", "lena", "six", false, true, std::nullopt, std::nullopt, "", ""},
    };
    for (const auto& step : steps)
    {
        Login(step.User, step.Password, step.Save, step.InKeyring);
        EXPECT_EQ(Keyring.Lookup(KeyringServiceName, "kate"), step.Kate) << step.Note;
        EXPECT_EQ(Keyring.Lookup(KeyringServiceName, "lena"), step.Lena) << step.Note;
        const auto user = UserFile();
        EXPECT_EQ(ScrambleSavedPassword(user->Attributes("password"), false), step.Scrambled) << step.Note;
        EXPECT_EQ(user->Attributes("password_store"), step.Store) << step.Note;
        EXPECT_EQ(user->HasAttribute("password_store"), !step.Store.empty()) << step.Note;
    }
    EXPECT_TRUE(Views.Dialogs.Dialogs.empty());
}

TEST_F(SavedPasswordKeyringTest, AScrambledPasswordIsReadAsBeforeEvenBesideAKeyringNote)
{
    const std::string scrambled = ScrambleSavedPassword("older", true);
    struct TCase
    {
        const char* Note;
        std::string Attributes;
    };
    const TCase cases[] = {
        {"a file of an older launcher", "last_login=\"kate\" password=\"" + scrambled + "\""},
        // An older launcher that saved a password again kept the note it did not know.
        {"an older launcher saved over the note",
         "last_login=\"kate\" password=\"" + scrambled + "\" password_store=\"keyring\""},
    };
    Keyring.Store(KeyringServiceName, "kate", "stale");
    for (const auto& c : cases)
    {
        WriteUserFile(c.Attributes);
        const auto flow = Flow();
        EXPECT_EQ(flow.Password, "older") << c.Note;
        EXPECT_TRUE(flow.SavePassword) << c.Note;
        EXPECT_FALSE(flow.SaveInKeyring) << c.Note;
    }
    // Saved again in the scrambled form: the stale entry the note pointed at goes.
    Login("kate", "older", true, false);
    EXPECT_EQ(Keyring.Lookup(KeyringServiceName, "kate"), std::nullopt);
    EXPECT_FALSE(UserFile()->HasAttribute("password_store"));
}

TEST_F(SavedPasswordKeyringTest, AMissingEntryLeavesThePasswordEmptyAndTheChoiceMade)
{
    WriteUserFile("last_login=\"mona\" password=\"\" password_store=\"keyring\"");
    auto flow = Flow();
    EXPECT_EQ(flow.Password, "") << "the user types it";
    EXPECT_TRUE(flow.SavePassword);
    EXPECT_TRUE(flow.SaveInKeyring);
    EXPECT_TRUE(Views.Dialogs.Dialogs.empty()) << "nothing stands in the way of the login";
    flow.Password = "typed again";
    EXPECT_THROW(flow.Button_OKClick(false), Exception);
    EXPECT_EQ(Keyring.Lookup(KeyringServiceName, "mona"), "typed again");
}

TEST_F(SavedPasswordKeyringTest, WithoutAKeyringTheLauncherBehavesAsBefore)
{
    Keyring.Store(KeyringServiceName, "kate", "unreachable");
    const test::TSecretService busAlone(false);
    const struct
    {
        std::string Address;
        TKeyringState State;
        const char* Reason;
    } cases[] = {
        {test::NoBusAddress(), TKeyringState::ksNoSessionBus, "KeyringNoSessionBus"},
        {busAlone.Address(), TKeyringState::ksNoService, "KeyringNoService"},
    };
    for (const auto& c : cases)
    {
        const test::TSessionBusScope bus(c.Address);
        WriteUserFile("last_login=\"kate\" password=\"\" password_store=\"keyring\"");
        auto flow = Flow();
        EXPECT_EQ(flow.KeyringState, c.State);
        EXPECT_EQ(flow.KeyringUnavailableKey(), c.Reason);
        EXPECT_EQ(flow.Password, "");
        EXPECT_FALSE(flow.SavePassword);
        EXPECT_FALSE(flow.SaveInKeyring);
        EXPECT_TRUE(Views.Dialogs.Dialogs.empty());

        // Saving works as it always did: scrambled in the user file.
        Login("kate", "plain old", true, false);
        EXPECT_EQ(ScrambleSavedPassword(UserFile()->Attributes("password"), false), "plain old");
        EXPECT_FALSE(UserFile()->HasAttribute("password_store"));
    }
}

TEST_F(SavedPasswordKeyringTest, AKeyringThatCannotStoreIsReportedAndNothingIsWrittenElsewhere)
{
    const test::TSessionBusScope bus(test::NoBusAddress());
    WriteUserFile("last_login=\"kate\" password=\"" + ScrambleSavedPassword("earlier", true) + "\"");
    // The console's --keyring asks for the keyring whether or not there is one.
    Login("kate", "wanted in the keyring", true, true);
    ASSERT_EQ(Views.Dialogs.Dialogs.size(), 1u);
    const auto& dialog = Views.Dialogs.Dialogs[0];
    EXPECT_EQ(dialog.Icon, TMsgDlgType::mtWarning);
    EXPECT_EQ(dialog.Text, LanguageTable->Get("KeyringWriteFailed", {LanguageTable->Get("KeyringNoSessionBus")}));
    EXPECT_NE(dialog.Text.find("It was not saved anywhere else"), std::string::npos) << dialog.Text;
    const auto user = UserFile();
    EXPECT_EQ(user->Attributes("password"), "") << "neither the new password scrambled nor the earlier one";
    EXPECT_FALSE(user->HasAttribute("password_store"));
    EXPECT_EQ(user->Attributes("last_login"), "kate") << "the rest of the login went on";
}

} // namespace
} // namespace orb
