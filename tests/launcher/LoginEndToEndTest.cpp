// The console front end as a user runs it: a child process in its own working directory against the demo server,
// installing into its own application-data folder and starting the demo client.

#include "base/TextUtils.h"
#include "launcher/PasswordScrambling.h"
#include "support/SecretService.h"
#include "support/Servers.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "xml/VuvareXMLNode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

using test::ShellQuote;

bool Contains(const std::string& Text, const std::string& Part)
{
    return Text.find(Part) != std::string::npos;
}

/// What one run of orb-loader-cli left behind.
struct TRun
{
    int ExitCode = -1;
    std::string Out, Err;
};

/// The demo installation in a temporary directory: the published update trees, the demo server, a working
/// directory made from demo/, and an application-data folder of its own.
class LoginEndToEndTest : public ::testing::Test
{
protected:
    test::TempDir Dir;
    std::unique_ptr<test::TChildProcess> Server;
    int Port = 0;

    fs::path Work() const { return Dir / "launcher"; }
    fs::path AppData() const { return Dir / "appdata"; }
    fs::path ClientOutput() const { return Dir / "client.txt"; }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(Port); }

    void SetUp() override
    {
        Publish("4.7.0-15");
        StartServer();
        WriteSettings();
        fs::copy(test::SourceDir() / "resource", Work() / "resource", fs::copy_options::recursive);
    }

    /// The demo settings files in the working directory, addressing the running demo server.
    void WriteSettings()
    {
        fs::create_directories(Work());
        for (const char* name : {"main_loader_settings.xml", "client_loader_settings.xml", "user_loader_settings.xml"})
            test::WriteBytes(Work() / name, StringReplaceAll(test::ReadBytes(test::SourceDir() / "demo" / name),
                                                             "DEMO_SERVER", "127.0.0.1:" + std::to_string(Port)));
    }

    void Publish(const std::string& Version)
    {
        const std::string command = "bash " + ShellQuote(test::SourceDir() / "tools/demo_server/publish_demo_tree.sh") +
                                    " " + ShellQuote(ORB_DEMO_CLIENT) + " " + ShellQuote(ORB_MAKE_INDEX) + " " +
                                    ShellQuote(Dir / "server") + " " + ShellQuote(Version);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    void StartServer(const std::vector<std::string>& ExtraArgs = {})
    {
        std::vector<std::string> argv{"python3",        (test::SourceDir() / "tools/demo_server/server.py").string(),
                                      "--update-root",  (Dir / "server/update").string(),
                                      "--private-root", (Dir / "server/private").string()};
        argv.insert(argv.end(), ExtraArgs.begin(), ExtraArgs.end());
        Server.reset();
        Server = std::make_unique<test::TChildProcess>(argv, Dir / "server.log");
        std::string line;
        if (!Server->ReadLine(line, 20000) || line.rfind("PORT ", 0) != 0)
            FAIL() << "The demo server did not start: " << line << "\n" << test::ReadBytes(Dir / "server.log");
        Port = std::stoi(line.substr(5));
    }

    /// The shell command that runs orb-loader-cli in the working directory with Args and Stdin.
    std::string Command(const std::vector<std::string>& Args, const std::string& Stdin, const std::string& Env) const
    {
        test::WriteBytes(Dir / "stdin.txt", Stdin);
        std::string command = "cd " + ShellQuote(Work()) + " && XDG_DATA_HOME=" + ShellQuote(AppData()) +
                              " ORB_DEMO_CLIENT_OUTPUT=" + ShellQuote(ClientOutput()) + " " + Env + " " +
                              ShellQuote(ORB_LOADER_CLI);
        for (const auto& a : Args)
            command += " " + ShellQuote(a);
        return command + " <" + ShellQuote(Dir / "stdin.txt") + " >" + ShellQuote(Dir / "out.txt") + " 2>" +
               ShellQuote(Dir / "err.txt");
    }

    TRun Run(const std::vector<std::string>& Args, const std::string& Stdin = "", const std::string& Env = "")
    {
        std::error_code ec;
        fs::remove(ClientOutput(), ec);
        test::TChildProcess child({"sh", "-c", Command(Args, Stdin, Env)});
        TRun run;
        run.ExitCode = child.Wait();
        run.Out = test::ReadBytes(Dir / "out.txt");
        run.Err = test::ReadBytes(Dir / "err.txt");
        return run;
    }

    /// What the started demo client wrote (it runs on its own after the launcher ended); "" when it never ran.
    std::string WaitForClient(int Tries = 300)
    {
        for (int i = 0; i < Tries && !fs::exists(ClientOutput()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(ClientOutput()) ? test::ReadBytes(ClientOutput()) : "";
    }

    /// True when a client was started: it is started before the launcher exits, so a short look suffices.
    bool ClientStarted() { return !WaitForClient(20).empty(); }

    /// The parameter block the client received.
    static std::string Block(const std::string& ClientText)
    {
        auto at = ClientText.find("block:\n");
        return at == std::string::npos ? "" : ClientText.substr(at + 7);
    }

    static std::string Field(const std::string& ClientText, const std::string& Name)
    {
        std::smatch m;
        if (std::regex_search(ClientText, m, std::regex("(^|\n)" + Name + "=([^\n]*)")))
            return m[2];
        return "";
    }

    /// The installation directories made so far.
    std::vector<fs::path> Installations() const
    {
        std::vector<fs::path> dirs;
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(AppData(), ec))
            if (e.is_directory() && e.path().filename().string().rfind("APP#", 0) == 0)
                dirs.push_back(e.path());
        return dirs;
    }

    xml::IXMLNodePtr UserFile() const { return xml::LoadXMLNodeFromFile(Work() / "user_loader_settings.xml"); }
};

TEST_F(LoginEndToEndTest, FirstLoginInstallsAndStartsTheClientWhichReceivesTheParameterBlock)
{
    auto run = Run({"--login", "  alice  ", "--password-stdin", "--save-password", "--entry", "Demo account"},
                   "p@ss word=1\n");
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Err, "orb-demo-client.gz")) << run.Err;
    // Downloads run side by side: each file still gets its finished line, and the total ends full.
    for (const char* name :
         {"] version.info  ", "] bin\\orb-demo-client.gz  ", "] bin\\settings.ini.gz  ", "] extras.7z  "})
        EXPECT_TRUE(Contains(run.Err, name)) << name << run.Err;
    EXPECT_TRUE(Contains(run.Err, "total [####################]")) << run.Err;
    EXPECT_TRUE(Contains(run.Out, "The client was started.")) << run.Out;

    const std::string client = WaitForClient();
    ASSERT_FALSE(client.empty()) << "the demo client did not run";
    EXPECT_EQ(Field(client, "version"), "4.7.0-15");
    EXPECT_EQ(Field(client, "arguments"), "0");
    EXPECT_EQ(Field(client, "cwd"), Work().string());

    // The server's lines in place (login and office_id replaced where the server sent them, Country removed),
    // then the launcher's own, each line ending with CR LF.
    const std::string expected =
        "tarnel_update_url=" + Base() +
        "/update/\r\n"
        "server=127.0.0.1\r\n"
        "port=5000\r\n"
        "login=alice\r\n"
        "office_id=demo-office\r\n"
        "account_type=demo\r\n"
        "application_icon=resource/orb-loader.ico\r\n"
        "Language=en_US\r\n"
        "skin=Default\r\n"
        "skins=<skins><item name=\"Default\" value=\"Default\"/><item name=\"Dark\" value=\"Dark\"/>"
        "<item name=\"Light Blue\" value=\"LightBlue\"/></skins>\r\n"
        "password=p@ss word=1\r\n"
        "registration_type=built_in\r\n"
        "registration_url=" +
        Base() +
        "/registration\r\n"
        "registration_provider=demo\r\n"
        "entries=<entries><item name=\"Demo account\" value=\"demo\"/><item name=\"Private account\" "
        "value=\"private\"/><item name=\"Closed account\" value=\"refused\"/></entries>\r\n"
        "registration_show_user_credentials=true\r\n"
        "loader=" +
        std::string(ORB_LOADER_CLI) +
        "\r\n"
        "entry=demo\r\n";
    EXPECT_EQ(Block(client), expected);

    // A complete installation: unpacked .gz files, the archive's contents, the index written last.
    auto dirs = Installations();
    ASSERT_EQ(dirs.size(), 1u);
    const fs::path install = dirs.front();
    EXPECT_EQ(Field(client, "program"), (install / "bin/orb-demo-client").string());
    EXPECT_TRUE(fs::exists(install / "index.xml"));
    EXPECT_EQ(test::ReadBytes(install / "version.info"), "4.7.0-15\r\n");
    EXPECT_TRUE(Contains(test::ReadBytes(install / "bin/settings.ini"), "theme=dark"));
    EXPECT_FALSE(fs::exists(install / "bin/settings.ini.gz"));
    EXPECT_EQ(test::ReadBytes(install / "docs/manual.txt"), "orb demo client manual\n");
    EXPECT_TRUE(fs::exists(install / "data/prices.csv"));

    // The user's choices are remembered, the password scrambled.
    auto user = UserFile();
    EXPECT_EQ(user->Attributes("last_login"), "  alice  ");
    EXPECT_EQ(user->Attributes("last_entry"), "Demo account");
    EXPECT_EQ(user->Attributes("language"), "en_US");
    EXPECT_NE(user->Attributes("password"), "");
    EXPECT_EQ(ScrambleSavedPassword(user->Attributes("password"), false), "p@ss word=1");
}

TEST_F(LoginEndToEndTest, SecondLoginDownloadsNothingAndStartsTheSameInstallation)
{
    ASSERT_EQ(Run({"--login", "bob", "--save-password", "--password-stdin"}, "secret\n").ExitCode, 0);
    const std::string first = WaitForClient();
    ASSERT_FALSE(first.empty());

    // No options: the last login, account type and saved password are used.
    auto run = Run({});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_FALSE(Contains(run.Err, "Updating the client")) << run.Err;
    const std::string second = WaitForClient();
    EXPECT_EQ(Field(second, "program"), Field(first, "program"));
    EXPECT_TRUE(Contains(Block(second), "\r\nlogin=bob\r\n"));
    EXPECT_TRUE(Contains(Block(second), "\r\npassword=secret\r\n"));
    EXPECT_EQ(Installations().size(), 1u);

    // Forgetting it empties the user file's password; the saved one is still used for this login.
    ASSERT_EQ(Run({"--forget-password"}).ExitCode, 0);
    EXPECT_TRUE(Contains(Block(WaitForClient()), "\r\npassword=secret\r\n"));
    EXPECT_EQ(UserFile()->Attributes("password"), "");
    ASSERT_EQ(Run({}).ExitCode, 0);
    EXPECT_FALSE(Contains(Block(WaitForClient()), "password=")) << "no password is left to send";
}

TEST_F(LoginEndToEndTest, TheConsoleKeepsTheSavedPasswordInTheSystemKeyringWhenAsked)
{
    const test::TSecretService keyring;
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS=" + ShellQuote(keyring.Address());
    auto run = Run({"--login", "carol", "--password-stdin", "--keyring"}, "k3y pass\n", bus);
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_TRUE(Contains(Block(WaitForClient()), "\r\npassword=k3y pass\r\n"));
    EXPECT_EQ(keyring.Lookup("orb-loader", "carol"), "k3y pass");
    EXPECT_EQ(UserFile()->Attributes("password"), "");
    EXPECT_EQ(UserFile()->Attributes("password_store"), "keyring");
    EXPECT_EQ(ScrambleSavedPassword(UserFile()->Attributes("password"), false), "") << "an older launcher finds none";

    // No options: the password comes back from the keyring.
    ASSERT_EQ(Run({}, "", bus).ExitCode, 0);
    EXPECT_TRUE(Contains(Block(WaitForClient()), "\r\npassword=k3y pass\r\n"));

    // Back to the scrambled form: the entry goes.
    ASSERT_EQ(Run({"--no-keyring"}, "", bus).ExitCode, 0);
    EXPECT_EQ(ScrambleSavedPassword(UserFile()->Attributes("password"), false), "k3y pass");
    EXPECT_FALSE(UserFile()->HasAttribute("password_store"));
    EXPECT_EQ(keyring.Lookup("orb-loader", "carol"), std::nullopt);

    // Without a keyring --keyring is told it failed; the login goes on and the password is saved nowhere.
    run = Run({"--keyring"}, "", "DBUS_SESSION_BUS_ADDRESS=" + ShellQuote(test::NoBusAddress()));
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "could not be saved in the system keyring")) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "not saved anywhere else")) << run.Err;
    EXPECT_TRUE(Contains(Block(WaitForClient()), "\r\npassword=k3y pass\r\n"));
    EXPECT_EQ(UserFile()->Attributes("password"), "");
    EXPECT_FALSE(UserFile()->HasAttribute("password_store"));

    EXPECT_EQ(Run({"--keyring", "--no-keyring"}).ExitCode, 2);
    EXPECT_EQ(Run({"--keyring", "--forget-password"}).ExitCode, 2);
}

TEST_F(LoginEndToEndTest, ALockedKeyringLeavesThePasswordEmptyAndTheLoginGoesOn)
{
    const test::TSecretService keyring;
    const std::string bus = "DBUS_SESSION_BUS_ADDRESS=" + ShellQuote(keyring.Address());
    ASSERT_EQ(Run({"--login", "dave", "--password-stdin", "--keyring"}, "locked\n", bus).ExitCode, 0);
    WaitForClient();
    keyring.LockAll();
    const auto run = Run({}, "", bus);
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_FALSE(Contains(Block(WaitForClient()), "password=")) << "the user would type it";
    // Saving it again fails in the locked keyring: said so, with the keyring's reason, and written nowhere else.
    EXPECT_TRUE(Contains(run.Err, "could not be saved in the system keyring: ")) << run.Err;
    EXPECT_TRUE(Contains(run.Err, "locked")) << run.Err;
    EXPECT_EQ(UserFile()->Attributes("password"), "");
    EXPECT_FALSE(UserFile()->HasAttribute("password_store"));
}

TEST_F(LoginEndToEndTest, NewPublishedVersionLandsInANewInstallationReusingUnchangedFiles)
{
    ASSERT_EQ(Run({"--login", "carol"}).ExitCode, 0);
    const std::string first = WaitForClient();
    ASSERT_FALSE(first.empty());

    // Two seconds later every rewritten file has a new time stamp; the client program keeps its own.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    Publish("4.8.0-1");
    auto run = Run({"--login", "carol"});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_TRUE(Contains(run.Err, "version.info")) << run.Err;
    EXPECT_FALSE(Contains(run.Err, "orb-demo-client.gz")) << "the unchanged client was downloaded again:\n" << run.Err;
    const std::string second = WaitForClient();
    EXPECT_EQ(Field(second, "version"), "4.8.0-1");
    EXPECT_NE(Field(second, "program"), Field(first, "program"));
    EXPECT_EQ(Installations().size(), 2u);
}

TEST_F(LoginEndToEndTest, OfflineModeStartsTheNewestInstallationWithoutAnyServer)
{
    ASSERT_EQ(Run({"--login", "dave"}).ExitCode, 0);
    const std::string online = WaitForClient();
    ASSERT_FALSE(online.empty());
    Server->Stop();

    auto run = Run({"--offline"});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    EXPECT_FALSE(Contains(run.Err, "Connecting")) << run.Err;
    const std::string offline = WaitForClient();
    EXPECT_EQ(Field(offline, "program"), Field(online, "program"));
    // Nothing was fetched in this run: only the launcher's own parameters.
    EXPECT_TRUE(Block(offline).rfind("application_icon=resource/orb-loader.ico\r\n", 0) == 0) << Block(offline);
    EXPECT_TRUE(Contains(Block(offline), "\r\nlogin=dave\r\n"));
}

TEST_F(LoginEndToEndTest, OfflineModeRefusesInstallationsOlderThan45AndAMissingOne)
{
    const std::string message =
        "Off-line mode is not available either because your haven\xE2\x80\x99t logged in before.";
    auto none = Run({"--login", "erin", "--offline"});
    EXPECT_EQ(none.ExitCode, 1);
    EXPECT_TRUE(Contains(none.Err, message)) << none.Err;

    test::WriteBytes(AppData() / "app" / "APP#00000001" / "version.info", "4.4.9\r\n");
    auto old = Run({"--login", "erin", "--offline"});
    EXPECT_EQ(old.ExitCode, 1);
    EXPECT_TRUE(Contains(old.Err, message)) << old.Err;
    EXPECT_FALSE(ClientStarted());
}

TEST_F(LoginEndToEndTest, ServerRefusalIsShownAsInformationAfterTheUserFileWasSaved)
{
    auto run = Run({"--login", "frank", "--entry", "Closed account"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Contains(run.Out, "This account type is closed. Please contact your broker.")) << run.Out;
    EXPECT_FALSE(Contains(run.Err, "Error:")) << run.Err;
    EXPECT_EQ(UserFile()->Attributes("last_entry"), "Closed account");
    EXPECT_EQ(UserFile()->Attributes("last_login"), "frank");
    EXPECT_TRUE(Installations().empty());
}

TEST_F(LoginEndToEndTest, AnswerWithoutTheUpdateKeyIsBadConnectionSettings)
{
    auto run = Run({"--login", "gina", "--entry", "broken"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Contains(run.Err, "Bad connection settings")) << run.Err;
    // A typed account type is remembered as the user's own.
    auto entries = UserFile()->ChildNodes()->FindNode("entries")->ChildNodes();
    ASSERT_EQ(entries->Count(), 1);
    EXPECT_EQ(entries->Get(0)->Attributes("value"), "broken");
    EXPECT_TRUE(Installations().empty());
}

TEST_F(LoginEndToEndTest, UnreachableUpdateIndexAsksWhetherToContinue)
{
    const std::string question = "The application auto-update is currently unavailable";
    auto declined = Run({"--login", "hank", "--entry", "noupdate", "--no"});
    EXPECT_EQ(declined.ExitCode, 3);
    EXPECT_TRUE(Contains(declined.Err, question)) << declined.Err;
    EXPECT_TRUE(Contains(declined.Err, "index.xml")) << declined.Err;

    // Yes without any installation: nothing to start.
    auto nothing = Run({"--login", "hank", "--entry", "noupdate", "--yes"});
    EXPECT_EQ(nothing.ExitCode, 1);
    EXPECT_FALSE(ClientStarted());

    // Yes with an installation: the most recently used one starts.
    ASSERT_EQ(Run({"--login", "hank", "--entry", "demo"}).ExitCode, 0);
    const std::string installed = WaitForClient();
    auto accepted = Run({"--login", "hank", "--entry", "noupdate", "--yes"});
    EXPECT_EQ(accepted.ExitCode, 0) << accepted.Err;
    EXPECT_TRUE(Contains(accepted.Err, question));
    EXPECT_EQ(Field(WaitForClient(), "program"), Field(installed, "program"));
}

TEST_F(LoginEndToEndTest, MaintenanceAnswerNamesTheMinutes)
{
    auto run = Run({"--login", "ivy", "--entry", "maintenance", "--no"});
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_TRUE(Contains(run.Err, "scheduled maintenance and will be available in about 2 minutes.")) << run.Err;
}

TEST_F(LoginEndToEndTest, PreviewLoginSendsThePreviewCredentials)
{
    auto run = Run({"--login", "", "--preview"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::string block = Block(WaitForClient());
    EXPECT_TRUE(Contains(block, "\r\nlogin=preview\r\n")) << block;
    EXPECT_TRUE(Contains(block, "\r\npassword=preview\r\n")) << block;
    EXPECT_TRUE(Contains(block, "\r\npreview_mode=yes\r\n")) << block;
    EXPECT_TRUE(Contains(block, "\r\nentry=preview\r\n")) << block;
    EXPECT_EQ(UserFile()->Attributes("last_login"), "");
}

TEST_F(LoginEndToEndTest, PrivateIndexIsMergedAndItsFilesComeFromThePrivateAddress)
{
    auto run = Run({"--login", "jack", "--entry", "private"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    ASSERT_FALSE(WaitForClient().empty());
    auto dirs = Installations();
    ASSERT_EQ(dirs.size(), 1u);
    EXPECT_EQ(test::ReadBytes(dirs.front() / "config/private.ini"), "[private]\r\nfeed=vip\r\n");
    EXPECT_TRUE(Contains(test::ReadBytes(dirs.front() / "index.xml"), "private=\"true\""));
    EXPECT_TRUE(fs::exists(dirs.front() / "bin/orb-demo-client"));
}

TEST_F(LoginEndToEndTest, CancelledDownloadLeavesNoUsableInstallation)
{
    // The slow address sends about 64 KB per second: the client program takes over a second.
    const std::string command = Command({"--login", "kim", "--entry", "slow"}, "", "") + " & pid=$!; " +
                                "for i in $(seq 1 200); do grep -q 'Updating the client' " +
                                ShellQuote(Dir / "err.txt") + " 2>/dev/null && break; sleep 0.05; done; " +
                                "kill -TERM $pid; wait $pid";
    test::TChildProcess child({"sh", "-c", command});
    const int status = child.Wait();
    const std::string err = test::ReadBytes(Dir / "err.txt");
    EXPECT_EQ(status, 3) << err;
    EXPECT_TRUE(Contains(err, "Cancelling")) << err;
    EXPECT_FALSE(ClientStarted());
    for (const auto& dir : Installations())
        EXPECT_FALSE(fs::exists(dir / "index.xml")) << "a cancelled installation was marked complete";

    // The next login completes it.
    ASSERT_EQ(Run({"--login", "kim"}).ExitCode, 0);
    EXPECT_FALSE(WaitForClient().empty());
}

TEST_F(LoginEndToEndTest, NewerLauncherOpensTheSetupPageInTheBrowser)
{
    const fs::path browser = Dir / "browser.sh";
    test::WriteBytes(browser, "#!/bin/sh\nprintf '%s' \"$1\" > " + ShellQuote(Dir / "opened.txt") + "\n");
    fs::permissions(browser, fs::perms::owner_all);
    test::WriteBytes(Work() / "setup_link", "\xEF\xBB\xBFhttp://example.invalid/setup?x=1");

    auto run = Run({"--login", "lee", "--entry", "newlauncher", "--yes"}, "", "BROWSER=" + ShellQuote(browser));
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    for (int i = 0; i < 200 && !fs::exists(Dir / "opened.txt"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::ReadBytes(Dir / "opened.txt"), "http://example.invalid/setup?x=1");
    EXPECT_FALSE(ClientStarted()) << "the client must not start when the setup page opens";

    // Answered No, the login goes on.
    auto declined = Run({"--login", "lee", "--entry", "newlauncher", "--no"}, "", "BROWSER=" + ShellQuote(browser));
    EXPECT_EQ(declined.ExitCode, 0) << declined.Err;
    EXPECT_FALSE(WaitForClient().empty());
}

TEST_F(LoginEndToEndTest, UpdateTreeServedByNginxInstallsTheSameClient)
{
    test::TNginxServer nginx;
    fs::copy(Dir / "server/update", nginx.Root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(std::system(("chmod -R a+rX " + ShellQuote(nginx.Root())).c_str()), 0);
    StartServer({"--update-url", "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/"});
    WriteSettings();

    auto run = Run({"--login", "mia"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::string client = WaitForClient();
    EXPECT_EQ(Field(client, "version"), "4.7.0-15");
    EXPECT_TRUE(
        Contains(Block(client), "tarnel_update_url=http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/\r\n"));
    ASSERT_EQ(Installations().size(), 1u);
    EXPECT_TRUE(fs::exists(Installations().front() / "docs/manual.txt"));
}

TEST_F(LoginEndToEndTest, AnswerThatIsNotAnIndexAsksWhetherToContinue)
{
    auto run = Run({"--login", "ned", "--entry", "badindex", "--no"});
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_TRUE(Contains(run.Err, "The application auto-update is currently unavailable")) << run.Err;
    EXPECT_TRUE(Installations().empty());
}

TEST_F(LoginEndToEndTest, ClientThatCannotStartIsAnErrorNamingItsPath)
{
    const fs::path mainFile = Work() / "main_loader_settings.xml";
    test::WriteBytes(mainFile, StringReplaceAll(test::ReadBytes(mainFile), "bin\\orb-demo-client", "bin\\missing"));
    auto run = Run({"--login", "olga"});
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_TRUE(Contains(run.Err, "/bin/missing )")) << run.Err;
    EXPECT_FALSE(ClientStarted());
}

TEST_F(LoginEndToEndTest, FailuresEndAsTheUserExpectsWithTheUserFileSaved)
{
    const fs::path mainFile = Work() / "main_loader_settings.xml";
    const std::string demoMain = test::ReadBytes(mainFile);
    test::WriteBytes(Work() / "setup_link", "http://example.invalid/setup");
    struct TCase
    {
        std::string Name;
        std::string MainFile; ///< the main settings file of the case
        std::vector<std::string> Args;
        std::string Env;
        int ExitCode;
        std::string Text; ///< on standard error
    };
    const std::string dead = StringReplaceAll(demoMain, "127.0.0.1:" + std::to_string(Port), "127.0.0.1:1");
    const TCase cases[] = {
        {"no configuration server answers", dead, {"--login", "u1"}, "", 1, "Could not connect to the server."},
        {"the answer lacks the update address",
         StringReplaceAll(demoMain, "update_url=\"tarnel_update_url\"", "update_url=\"server\""),
         {"--login", "u2", "--entry", "broken", "--no"},
         "",
         3,
         "TAttributes: No such attribute: tarnel_update_url"},
        {"the browser cannot be started",
         demoMain,
         {"--login", "u3", "--entry", "newlauncher", "--yes"},
         "BROWSER=/nonexistent/browser",
         1,
         "Could not open browser window."},
    };
    for (const auto& c : cases)
    {
        test::WriteBytes(mainFile, c.MainFile);
        auto run = Run(c.Args, "", c.Env);
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Name << "\n" << run.Err;
        EXPECT_TRUE(Contains(run.Err, c.Text)) << c.Name << "\n" << run.Err;
        EXPECT_EQ(UserFile()->Attributes("last_login"), c.Args[1]) << c.Name;
        EXPECT_FALSE(ClientStarted()) << c.Name;
    }
    EXPECT_TRUE(Installations().empty());
}

TEST_F(LoginEndToEndTest, UsageErrorsAndTheInputCheckExitWithTwo)
{
    const std::string before = test::ReadBytes(Work() / "user_loader_settings.xml");
    struct TCase
    {
        std::vector<std::string> Args;
        std::string Message;
    };
    const TCase cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--login"}, "needs a value"},
        {{"--yes", "--no"}, "exclude each other"},
        {{"--language", "xx_XX"}, "unknown language"},
        {{"--login", "   "}, "Please choose an account type and enter your user name."},
    };
    for (const auto& c : cases)
    {
        auto run = Run(c.Args);
        EXPECT_EQ(run.ExitCode, 2) << c.Message;
        EXPECT_TRUE(Contains(run.Err, c.Message)) << run.Err;
    }
    EXPECT_EQ(test::ReadBytes(Work() / "user_loader_settings.xml"), before) << "nothing is saved before the check";

    auto help = Run({"--help"});
    EXPECT_EQ(help.ExitCode, 0);
    for (const char* option : {"--login", "--password-stdin", "--save-password", "--forget-password", "--entry",
                               "--language", "--offline", "--preview", "--yes", "--no", "Exit status"})
        EXPECT_TRUE(Contains(help.Out, option)) << option;
}

} // namespace
} // namespace orb

namespace orb
{
namespace
{

TEST_F(LoginEndToEndTest, AConfigurationServerOfAPrivateAuthorityIsReachedThroughTheCAFile)
{
    test::TNginxServer nginx;
    nginx.WriteFile("config", "exception=Reached the broker over TLS\r\n");
    struct TCase
    {
        const char* Name;
        bool WithCAFile;
        const char* Expected;
    };
    const TCase cases[] = {
        {"the installation's authority", true, "Reached the broker over TLS"},
        {"the system's authorities only", false, "Could not connect"},
    };
    for (const auto& c : cases)
    {
        const std::string main = test::ReadBytes(Work() / "main_loader_settings.xml");
        std::string changed =
            std::regex_replace(main, std::regex("<item url=\"[^\"]*\"/>"),
                               "<item url=\"https://localhost:" + std::to_string(nginx.HttpsPort()) + "/config\"/>");
        if (c.WithCAFile)
            changed = StringReplaceAll(changed, "<main_loader_settings ",
                                       "<main_loader_settings ca_file=\"" + nginx.CAFile().string() + "\" ");
        test::WriteBytes(Work() / "main_loader_settings.xml", changed);
        auto run = Run({"--login", "tls", "--entry", "demo"});
        test::WriteBytes(Work() / "main_loader_settings.xml", main);
        EXPECT_EQ(run.ExitCode, 1) << c.Name;
        EXPECT_TRUE(Contains(run.Out + run.Err, c.Expected)) << c.Name << "\n" << run.Out << run.Err;
        EXPECT_TRUE(Installations().empty());
    }
}

TEST_F(LoginEndToEndTest, AProxyEnabledInAnyCaseCarriesTheConfigurationTheIndexAndEveryDownload)
{
    test::TTinyProxy proxy("proxyuser", "proxypass");
    const std::string user = test::ReadBytes(Work() / "user_loader_settings.xml");
    test::WriteBytes(Work() / "user_loader_settings.xml",
                     std::regex_replace(user, std::regex("<proxy [^>]*/>"),
                                        "<proxy enabled=\"True\" server=\"127.0.0.1\" port=\"" +
                                            std::to_string(proxy.Port()) +
                                            "\" login=\"proxyuser\" password=\"proxypass\"/>"));
    auto run = Run({"--login", "paul", "--entry", "Demo account"});
    ASSERT_EQ(run.ExitCode, 0) << run.Out << run.Err;
    const std::string log = proxy.Log();
    for (const char* request : {"/config", "/update/index.xml", "orb-demo-client.gz"})
        EXPECT_TRUE(Contains(log, request)) << request << " did not go through the proxy:\n" << log;
    EXPECT_TRUE(Contains(Block(WaitForClient()), "proxy_server=127.0.0.1\r\n"));
}

} // namespace
} // namespace orb
