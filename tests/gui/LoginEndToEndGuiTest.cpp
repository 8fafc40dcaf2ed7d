// The login window as a user meets it: the real window and Qt views against the demo server, installing into an
// application-data folder of its own and starting the demo client.

#include "GuiTestApplication.h"
#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_Updater.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "support/Servers.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

using test::ShellQuote;

std::string ReplaceAll(std::string Text, const std::string& From, const std::string& To)
{
    for (size_t at = Text.find(From); at != std::string::npos; at = Text.find(From, at + To.size()))
        Text.replace(at, From.size(), To);
    return Text;
}

/// Restores an environment variable's value (or its absence) when it goes.
class TScopedEnv
{
public:
    TScopedEnv(const char* Name, const std::string& Value) : FName(Name)
    {
        if (const char* old = std::getenv(Name))
            FOld = old, FHadOld = true;
        ::setenv(Name, Value.c_str(), 1);
    }
    ~TScopedEnv()
    {
        if (FHadOld)
            ::setenv(FName, FOld.c_str(), 1);
        else
            ::unsetenv(FName);
    }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    std::string FOld;
    bool FHadOld = false;
};

/// The demo installation in a temporary directory (published update tree, demo server, working directory made from
/// demo/, application-data folder) and the launcher's windows built as the windowed front end builds them.
class LoginEndToEndGuiTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::string publish = "bash " + ShellQuote(test::SourceDir() / "tools/demo_server/publish_demo_tree.sh") +
                                    " " + ShellQuote(ORB_DEMO_CLIENT) + " " + ShellQuote(ORB_MAKE_INDEX) + " " +
                                    ShellQuote(Dir / "server") + " 4.7.0-15";
        ASSERT_EQ(std::system(publish.c_str()), 0) << publish;

        Server = std::make_unique<test::TChildProcess>(
            std::vector<std::string>{"python3", (test::SourceDir() / "tools/demo_server/server.py").string(),
                                     "--update-root", (Dir / "server/update").string(), "--private-root",
                                     (Dir / "server/private").string()},
            Dir / "server.log");
        std::string line;
        if (!Server->ReadLine(line, 20000) || line.rfind("PORT ", 0) != 0)
            FAIL() << "The demo server did not start: " << line << "\n" << test::ReadBytes(Dir / "server.log");
        const std::string port = line.substr(5);

        fs::create_directories(Work());
        for (const char* name : {"main_loader_settings.xml", "client_loader_settings.xml", "user_loader_settings.xml"})
            test::WriteBytes(Work() / name, ReplaceAll(test::ReadBytes(test::SourceDir() / "demo" / name),
                                                       "DEMO_SERVER", "127.0.0.1:" + port));
        fs::copy(test::SourceDir() / "resource", Work() / "resource", fs::copy_options::recursive);

        // The launcher runs in its working directory, as the front end does.
        OldDirectory = fs::current_path();
        fs::current_path(Work());
        SetProcessLanguageStorage(nullptr);
        Dialogs.OnDialogShown = [this](QWidget& Box) {
            if (auto* box = qobject_cast<QMessageBox*>(&Box))
                Shown.push_back(box->text().toStdString());
            else
                Shown.push_back(Box.metaObject()->className());
            test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); });
        };
        InstallViews({&MainThread, &Dialogs, &Waits, &Updater});
    }

    void TearDown() override
    {
        Window.reset();
        ResetViews();
        ConnectionSettings.Clear();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        if (!OldDirectory.empty())
            fs::current_path(OldDirectory);
    }

    fs::path Work() const { return Dir / "launcher"; }
    fs::path ClientOutput() const { return Dir / "client.txt"; }

    /// Opens the login window on the working directory's settings, as the windowed front end does.
    void Open()
    {
        LoadLoaderSettings(Work());
        LanguageTable = std::make_unique<TLanguage>();
        Window = std::make_unique<TForm_Orb_Loader>(Provider, ProgressRunner, Runner);
        Updater.LoginWindow = Window.get();
        Window->Start();
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }

    /// Logs in with Press and notes whether the update window was on screen meanwhile.
    void LogIn(const std::function<void()>& Press)
    {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [this] { UpdaterShown = UpdaterShown || Updater.isVisible(); });
        watch.start(1);
        Press();
        watch.stop();
    }

    /// What the started demo client wrote (it renames its file into place; it runs on its own); "" when it never ran.
    std::string WaitForClient()
    {
        for (int i = 0; i < 600 && !fs::exists(ClientOutput()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return fs::exists(ClientOutput()) ? test::ReadBytes(ClientOutput()) : "";
    }

    test::TempDir Dir;
    std::unique_ptr<test::TChildProcess> Server;
    TScopedEnv AppData{"XDG_DATA_HOME", (Dir / "appdata").string()};
    TScopedEnv Output{"ORB_DEMO_CLIENT_OUTPUT", (Dir / "client.txt").string()};
    fs::path OldDirectory;

    TQtMainThread MainThread;
    TForm_Progress Progress;
    TForm_Updater Updater;
    TQtWaitWindows Waits{Progress, Updater};
    TQtDialogs Dialogs{nullptr};
    std::vector<std::string> Shown;
    TXMLDataProvider Provider;
    TProgressRunner ProgressRunner;
    TUpdateRunner Runner;
    std::unique_ptr<TForm_Orb_Loader> Window;
    bool UpdaterShown = false;
};

TEST_F(LoginEndToEndGuiTest, EnterInTheUserNameLogsInUpdatesStartsTheClientAndCloses)
{
    Open();
    Window->Edit_Login->clear();
    QTest::keyClicks(Window->Edit_Login, "alice");
    LogIn([this] { QTest::keyClick(Window->Edit_Login, Qt::Key_Return); });

    EXPECT_TRUE(Shown.empty()) << Shown.front();
    EXPECT_TRUE(UpdaterShown) << "the first login installs the client through the update window";
    EXPECT_FALSE(Updater.isVisible());
    EXPECT_TRUE(Window->LoginFinished);
    EXPECT_FALSE(Window->isVisible()) << "the login window closes once the client runs";

    const std::string client = WaitForClient();
    ASSERT_FALSE(client.empty()) << "the demo client did not run";
    EXPECT_NE(client.find("version=4.7.0-15\n"), std::string::npos) << client;
    EXPECT_NE(client.find("\r\nlogin=alice\r\n"), std::string::npos) << client;
    EXPECT_NE(client.find("\r\nentry=demo\r\n"), std::string::npos) << client;
    EXPECT_NE(client.find("cwd=" + Work().string() + "\n"), std::string::npos) << client;
}

TEST_F(LoginEndToEndGuiTest, SecondLoginByTheButtonStartsTheInstalledClientWithoutUpdating)
{
    Open();
    Window->Edit_Login->clear();
    QTest::keyClicks(Window->Edit_Login, "bob");
    LogIn([this] { QTest::mouseClick(Window->Button_OK, Qt::LeftButton); });
    ASSERT_TRUE(Window->LoginFinished) << (Shown.empty() ? "" : Shown.front());
    ASSERT_FALSE(WaitForClient().empty());
    fs::remove(ClientOutput());

    // A new window on the saved settings: the last user is filled in and the installation is current.
    Window.reset();
    UpdaterShown = false;
    Open();
    EXPECT_EQ(Window->Edit_Login->text().toStdString(), "bob");
    LogIn([this] { QTest::mouseClick(Window->Button_OK, Qt::LeftButton); });
    EXPECT_TRUE(Shown.empty()) << Shown.front();
    EXPECT_TRUE(Window->LoginFinished);
    EXPECT_FALSE(Window->isVisible());
    const std::string client = WaitForClient();
    ASSERT_FALSE(client.empty()) << "the demo client did not run";
    EXPECT_NE(client.find("\r\nlogin=bob\r\n"), std::string::npos) << client;
}

} // namespace
} // namespace orb
