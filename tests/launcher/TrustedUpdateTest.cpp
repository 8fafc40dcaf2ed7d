// Logins against update trees published and signed by orb-make-index and served by nginx, with one test per attack
// on the update: each shows that nothing is installed and what the user is told.

#include "base/Base64.h"
#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "launcher/LoginFlow.h"
#include "platform/Environment.h"
#include "support/ScriptedViews.h"
#include "support/Servers.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

class TrustedUpdateTest : public ::testing::Test
{
protected:
    test::TempDir Dir;
    test::TNginxServer Nginx;
    test::TScriptedViews Views;
    TXMLDataProvider Provider;
    TProgressRunner Progress;
    TUpdateRunner Updater;
    std::optional<std::string> FSavedData = platform::GetEnvironmentValue("XDG_DATA_HOME");

    std::string Base() const { return "http://127.0.0.1:" + std::to_string(Nginx.HttpPort()); }
    fs::path Tree() const { return Nginx.Root() / "update"; }
    std::string IndexAddress() const { return Base() + "/update/index.xml"; }

    void SetUp() override
    {
        Nginx.WriteFile("config", "tarnel_update_url=" + Base() + "/update/\r\n");
        WriteTree("1");
        platform::SetEnvironmentValue("XDG_DATA_HOME", (Dir / "appdata").string());
    }

    void TearDown() override
    {
        if (FSavedData)
            platform::SetEnvironmentValue("XDG_DATA_HOME", *FSavedData);
        else
            platform::RemoveEnvironmentValue("XDG_DATA_HOME");
        ConnectionSettings.Clear();
    }

    /// The client tree of one version: the program the login starts and a data file.
    void WriteTree(const std::string& Version)
    {
        Nginx.WriteFile("update/client", "#!/bin/sh\nexit 0\n");
        fs::permissions(Tree() / "client", fs::perms::owner_all | fs::perms::group_read | fs::perms::others_read |
                                               fs::perms::group_exec | fs::perms::others_exec);
        Nginx.WriteFile("update/data.txt", "data of version " + Version + "\n");
    }

    /// Runs orb-make-index with Arguments in Dir; fails the test when it does not succeed.
    std::string MakeIndex(const std::string& Arguments)
    {
        const std::string command =
            "cd " + test::ShellQuote(Dir.Path()) + " && " + ORB_MAKE_INDEX + " " + Arguments + " >out.txt 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << command << "\n" << test::ReadBytes(Dir / "out.txt");
        return test::ReadBytes(Dir / "out.txt");
    }

    /// A new key in Dir/<Name>.pem; its item of the update_keys element.
    std::string KeyGen(const std::string& Name)
    {
        const std::string element = MakeIndex("--keygen " + Name + ".pem");
        return xml::IXMLNodeToXML(xml::LoadXMLNodeFromString(element)->ChildNodes()->Get(0), xml::enUTF8, 0);
    }

    /// Publishes the tree signed with Dir/<Key>.pem (unsigned when Key is empty); Extra as orb-make-index takes it.
    void Publish(const std::string& Key, const std::string& Extra = "")
    {
        MakeIndex((Key.empty() ? std::string() : "--sign " + Key + ".pem ") + Extra + " " + test::ShellQuote(Tree()));
    }

    /// The settings files, with the update_keys element KeyItems when it is not empty.
    void Settings(const std::string& KeyItems)
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"tarnel_update_url\" application=\"client\"><entry_servers><item url=\"" +
                             Base() +
                             "/config\"/></entry_servers><languages><item name=\"English\" "
                             "value=\"en_US\"/></languages>" +
                             (KeyItems.empty() ? "" : "<update_keys>" + KeyItems + "</update_keys>") + "</m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c><entries><item name=\"Demo\" value=\"d\"/></entries></c>");
        test::WriteBytes(Dir / "user_loader_settings.xml", DefaultUserSettings);
        LoadLoaderSettings(Dir.Path());
    }

    /// One login; the message of the error that ended it, or "" when the client was started.
    std::string Login()
    {
        TLoginFlow flow(Provider, Progress, Updater);
        flow.LoaderPath = "/opt/orb/orb-loader";
        flow.WorkingDirectory = Dir.Path().string();
        flow.Start();
        flow.Login = "user";
        flow.SetEntryText("Demo");
        try
        {
            EXPECT_EQ(flow.Button_OKClick(false), TLoginResult::lrStarted);
        }
        catch (const EUpdateRefused& e)
        {
            return e.Message;
        }
        // The question whether to go on without the update is never asked about a refused update.
        EXPECT_TRUE(Views.Dialogs.Dialogs.empty());
        return "";
    }

    /// Every complete installation (with its saved index) in the application-data folder.
    std::vector<fs::path> CompleteInstallations() const
    {
        std::vector<fs::path> found;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(Dir / "appdata", ec))
            if (e.path().filename() == "index.xml" && e.path().parent_path().filename().string().rfind("APP#", 0) == 0)
                found.push_back(e.path().parent_path());
        return found;
    }

    /// Whether a data file of any version was written anywhere in the application-data folder.
    bool AnyDataFile() const
    {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(Dir / "appdata", ec))
            if (e.path().filename().string().rfind("data.txt", 0) == 0)
                return true;
        return false;
    }

    /// Signs the served index again with Dir/<Key>.pem after it was changed.
    void Resign(const std::string& Key)
    {
        const std::string signature =
            SignBytes(test::ReadBytes(Tree() / "index.xml"), test::ReadBytes(Dir / (Key + ".pem")));
        Nginx.WriteFile("update/index.xml.sig", Base64Encode(signature) + "\n");
    }

    void ExpectRefused(const std::string& Message, const std::string& Pattern)
    {
        EXPECT_TRUE(std::regex_match(Message, std::regex(Pattern))) << Message;
        EXPECT_TRUE(Views.Dialogs.Dialogs.empty()) << "the question to continue without the update was asked";
    }
};

const std::string Broker = "Please contact your broker\\.";

TEST_F(TrustedUpdateTest, AnUnsignedIndexWithoutKeysInstallsAsBefore)
{
    Settings("");
    Publish("");
    EXPECT_EQ(Login(), "");
    ASSERT_EQ(CompleteInstallations().size(), 1u);
    EXPECT_EQ(test::ReadBytes(CompleteInstallations()[0] / "data.txt"), "data of version 1\n");
    // No serial is kept for an unsigned index.
    for (const auto& e : fs::recursive_directory_iterator(Dir / "appdata"))
        EXPECT_NE(e.path().filename(), UpdateSerialsFileName);
}

TEST_F(TrustedUpdateTest, ATamperedFileIsNotInstalledEvenWithoutKeys)
{
    for (const bool withKeys : {false, true})
    {
        SCOPED_TRACE(withKeys ? "signed" : "sha256 only");
        fs::remove_all(Dir / "appdata");
        Settings(withKeys ? KeyGen("tamper") : "");
        Publish(withKeys ? "tamper" : "", withKeys ? "" : "--sha256");
        // Arbitrary installation: the server (or someone on the way) swaps the content, keeping the size.
        Nginx.WriteFile("update/data.txt", "DATA OF VERSION 6\n");
        ExpectRefused(Login(), "The download of \"data\\.txt\" is not the published file: its SHA-256 is [0-9a-f]{64}, "
                               "the update index says [0-9a-f]{64}\\. The file was not installed\\. .*");
        EXPECT_TRUE(CompleteInstallations().empty());
        EXPECT_FALSE(AnyDataFile());
        fs::remove(Dir / "tamper.pem");
        WriteTree("1");
    }
}

TEST_F(TrustedUpdateTest, AnOlderSignedIndexReplayedIsRefused)
{
    Settings(KeyGen("broker"));
    Publish("broker", "--serial 10");
    const std::string oldIndex = test::ReadBytes(Tree() / "index.xml");
    const std::string oldSignature = test::ReadBytes(Tree() / "index.xml.sig");
    WriteTree("2");
    Publish("broker", "--serial 11");
    EXPECT_EQ(Login(), "");
    ASSERT_EQ(CompleteInstallations().size(), 1u);
    const fs::path current = CompleteInstallations()[0];

    // Rollback: the validly signed index of version 1 is served again.
    Nginx.WriteFile("update/index.xml", oldIndex);
    Nginx.WriteFile("update/index.xml.sig", oldSignature);
    WriteTree("1");
    ExpectRefused(Login(), "The update index " + IndexAddress() +
                               " is older \\(serial 10\\) than one this launcher has already accepted from there "
                               "\\(serial 11\\)\\. The older update was refused and nothing was installed\\. " +
                               Broker);
    EXPECT_EQ(CompleteInstallations(), std::vector<fs::path>{current});
    EXPECT_EQ(test::ReadBytes(current / "data.txt"), "data of version 2\n");
}

TEST_F(TrustedUpdateTest, AnExpiredIndexIsRefused)
{
    Settings(KeyGen("broker"));
    Publish("broker", "--expires 1");
    // Freeze: an index that was valid once, kept and served after its expiry.
    const std::string text = test::ReadBytes(Tree() / "index.xml");
    Nginx.WriteFile("update/index.xml",
                    std::regex_replace(text, std::regex("expires=\"[0-9]{14}\""), "expires=\"20200101000000\""));
    Resign("broker");
    ExpectRefused(Login(), "The update index " + IndexAddress() +
                               " expired on 2020-01-01 00:00:00 UTC\\. The outdated update was refused and nothing "
                               "was installed\\. " +
                               Broker);
    EXPECT_TRUE(CompleteInstallations().empty());
    EXPECT_FALSE(AnyDataFile());
}

TEST_F(TrustedUpdateTest, SignaturesOfAnotherIndexOrByAnUnknownKeyAreRefused)
{
    Settings(KeyGen("broker"));
    KeyGen("stranger");
    const std::string refusal = "The update index " + IndexAddress() +
                                " is not signed by a key this installation trusts, or it was changed after it was "
                                "signed\\. Nothing was installed\\. " +
                                Broker;
    // Mix and match: the broker's valid signature of another index beside this one.
    Publish("broker", "--serial 1");
    const std::string otherSignature = test::ReadBytes(Tree() / "index.xml.sig");
    WriteTree("2");
    Publish("broker", "--serial 2");
    Nginx.WriteFile("update/index.xml.sig", otherSignature);
    ExpectRefused(Login(), refusal);
    // A key the installation does not list.
    Publish("stranger", "--serial 3");
    ExpectRefused(Login(), refusal);
    // The index changed after signing.
    Publish("broker", "--serial 4");
    Nginx.WriteFile("update/index.xml",
                    StringReplaceAll(test::ReadBytes(Tree() / "index.xml"), "serial=\"4\"", "serial=\"5\""));
    ExpectRefused(Login(), refusal);
    EXPECT_TRUE(CompleteInstallations().empty());
    EXPECT_FALSE(AnyDataFile());
}

TEST_F(TrustedUpdateTest, AMissingOrMalformedSignatureIsRefused)
{
    Settings(KeyGen("broker"));
    Publish("broker");
    const std::string signature = test::ReadBytes(Tree() / "index.xml.sig");
    struct TCase
    {
        std::string Name;
        std::optional<std::string> SignatureFile; ///< nothing: deleted
        std::string Message;
    };
    const TCase cases[] = {
        {"missing", std::nullopt,
         "The update index " + IndexAddress() + " is not signed: its signature " + IndexAddress() +
             "\\.sig could not be fetched \\(URL: " + IndexAddress() +
             "\\.sig not found\\)\\. This installation accepts only signed updates, so nothing was installed\\. " +
             Broker},
        {"empty", "",
         "The signature " + IndexAddress() +
             "\\.sig of the update index is malformed: the file is "
             "empty\\. Nothing was installed\\. " +
             Broker},
        {"cut short", signature.substr(0, 40) + "\n",
         "The signature " + IndexAddress() +
             "\\.sig of the update index is malformed: it holds 30 bytes instead of 64\\. .*"},
        {"html", "<html>Not here</html>\n",
         "The signature " + IndexAddress() + "\\.sig of the update index is malformed: it is not valid Base64: .*"},
        {"two lines", signature + signature, ".* is malformed: it has more than one line\\. .*"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        if (c.SignatureFile)
            Nginx.WriteFile("update/index.xml.sig", *c.SignatureFile);
        else
            fs::remove(Tree() / "index.xml.sig");
        ExpectRefused(Login(), c.Message);
    }
    EXPECT_TRUE(CompleteInstallations().empty());
    EXPECT_FALSE(AnyDataFile());
}

TEST_F(TrustedUpdateTest, MoreBytesThanTheSignedSizeAreRefused)
{
    Settings(KeyGen("broker"));
    Publish("broker");
    // Endless data: the file served grows far past the size the signed index gives it.
    Nginx.WriteFile("update/data.txt", std::string(5 * 1024 * 1024, 'e'));
    std::string message;
    try
    {
        Login();
    }
    catch (const std::exception& e)
    {
        message = e.what();
    }
    EXPECT_TRUE(std::regex_match(message, std::regex("The download of \"data\\.txt\" has at least [0-9]+ bytes, the "
                                                     "update index says 18\\.")))
        << message;
    EXPECT_TRUE(CompleteInstallations().empty());
    EXPECT_FALSE(AnyDataFile());
}

TEST_F(TrustedUpdateTest, KeysRotateByListingTheOldAndTheNewKeyThenDroppingTheOld)
{
    const std::string oldKey = KeyGen("old"), newKey = KeyGen("new");
    // The launcher shipped with both keys takes an index signed with either.
    Settings(oldKey + newKey);
    Publish("old", "--serial 1");
    EXPECT_EQ(Login(), "");
    WriteTree("2");
    Publish("new", "--serial 2");
    EXPECT_EQ(Login(), "");
    EXPECT_EQ(CompleteInstallations().size(), 2u);

    // Once the old key is dropped, what it signs is refused, and the new key's index still installs.
    Settings(newKey);
    WriteTree("3");
    Publish("old", "--serial 3");
    ExpectRefused(Login(), "The update index " + IndexAddress() + " is not signed by a key this installation trusts.*");
    EXPECT_EQ(CompleteInstallations().size(), 2u);
    Publish("new", "--serial 3");
    EXPECT_EQ(Login(), "");
    EXPECT_EQ(CompleteInstallations().size(), 3u);
}

TEST_F(TrustedUpdateTest, BrokenUpdateKeySettingsEndTheLoginWithTheReason)
{
    const std::pair<std::string, std::string> cases[] = {
        {"<update_keys/>", "The element \"update_keys\" of main_loader_settings.xml lists no key."},
        {"<update_keys><item name=\"short\" value=\"AAAA\"/></update_keys>",
         "The update key \"short\" is not an Ed25519 public key: it has 3 bytes instead of 32."},
    };
    Publish("");
    for (const auto& [element, message] : cases)
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"tarnel_update_url\" application=\"client\"><entry_servers><item url=\"" +
                             Base() +
                             "/config\"/></entry_servers><languages><item name=\"English\" value=\"en_US\"/>"
                             "</languages>" +
                             element + "</m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c><entries><item name=\"Demo\" value=\"d\"/></entries></c>");
        test::WriteBytes(Dir / "user_loader_settings.xml", DefaultUserSettings);
        LoadLoaderSettings(Dir.Path());
        TLoginFlow flow(Provider, Progress, Updater);
        flow.WorkingDirectory = Dir.Path().string();
        flow.Start();
        flow.Login = "user";
        try
        {
            flow.Button_OKClick(false);
            ADD_FAILURE() << "the login went on";
        }
        catch (const EConvertError& e)
        {
            EXPECT_EQ(e.Message, message);
        }
        EXPECT_TRUE(CompleteInstallations().empty());
    }
}

TEST(MergePrivateIndexHashes, APrivateFileBringsItsOwnHashOrNone)
{
    const std::string a(64, 'a'), b(64, 'b');
    struct TCase
    {
        std::string Public;  ///< attributes of the public bin\\x.dll besides name, size and modified
        std::string Private; ///< the same of the private one
        std::optional<std::string> Merged;
    };
    const TCase cases[] = {
        {"", "", std::nullopt}, // today's indexes stay byte for byte as they were
        {" sha256=\"" + a + "\"", " sha256=\"" + b + "\"", b},
        {" sha256=\"" + a + "\"", "", ""},
        {"", " sha256=\"" + b + "\"", b},
    };
    for (const auto& c : cases)
    {
        auto index = xml::LoadXMLNodeFromString("<update><file name=\"x.dll\" size=\"1\" modified=\"20240101000000\"" +
                                                c.Public + "/></update>");
        auto privateIndex = xml::LoadXMLNodeFromString(
            "<update><file name=\"x.dll\" size=\"2\" modified=\"20240101000002\"" + c.Private + "/></update>");
        TLoginFlow::MergePrivateIndex(index, privateIndex);
        auto file = index->ChildNodes()->Get(0);
        EXPECT_EQ(file->HasAttribute("sha256"), c.Merged.has_value()) << c.Public << c.Private;
        EXPECT_EQ(file->Attributes("sha256"), c.Merged.value_or(""));
        EXPECT_EQ(file->Attributes("private"), "true");
    }
}

} // namespace
} // namespace orb
