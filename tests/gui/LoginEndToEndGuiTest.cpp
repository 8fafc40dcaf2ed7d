// The login window as a user meets it: the real window and Qt views against the demo server, installing into an
// application-data folder of its own and starting the demo client.

#include "DemoInstallation.h"
#include "GuiTestApplication.h"
#include "LoginWindowViews.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"

#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

/// The demo installation in a temporary directory (published update tree, demo server, working directory made from
/// demo/, application-data folder) and the launcher's windows built as the windowed front end builds them.
class LoginEndToEndGuiTest : public ::testing::Test,
                             protected test::TDemoInstallation,
                             protected test::TLoginWindowViews
{
protected:
    void SetUp() override
    {
        // The launcher runs in its working directory, as the front end does.
        InstallDemo();
        if (HasFatalFailure())
            return;
        SetProcessLanguageStorage(nullptr);
        Dialogs.OnDialogShown = [this](QWidget& Box) {
            if (auto* box = qobject_cast<QMessageBox*>(&Box))
                Shown.push_back(box->text().toStdString());
            else
                Shown.push_back(Box.metaObject()->className());
            test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); });
        };
        InstallLoginViews();
    }

    void TearDown() override
    {
        Window.reset();
        ResetViews();
        ConnectionSettings.Clear();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        LeaveWork();
    }

    /// Opens the login window on the working directory's settings, as the windowed front end does.
    void Open() { OpenOnSettings(Work()); }

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

    std::vector<std::string> Shown;
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
