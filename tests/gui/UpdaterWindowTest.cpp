#include "gui/QtViews.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_Updater.h"
#include "net/HTTPDataProvider.h"
#include "support/Servers.h"
#include "support/TempDir.h"
#include "update/Unit_Updater.h"
#include "xml/VuvareXMLNode.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

/// The update window with the real update worker, against the fixture server.
class UpdaterWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        InstallViews({&MainThread, &Dialogs, &Waits, &Updater});
        Login.setObjectName("Form_Orb_Loader");
        Login.show();
        Updater.LoginWindow = &Login;
        // Watches the windows while the modal loop runs.
        Watch.setInterval(5);
        QObject::connect(&Watch, &QTimer::timeout, [this] {
            if (Updater.isVisible())
            {
                LoginHiddenDuringUpdate = LoginHiddenDuringUpdate || Login.isHidden();
                if (OnProgress)
                    OnProgress();
            }
        });
        Watch.start();
    }
    void TearDown() override { ResetViews(); }

    /// The root of an index after the cache check, installing into Dir.
    static xml::IXMLNodePtr Index(const fs::path& Dir, const std::string& Name, const std::string& Size)
    {
        fs::create_directories(Dir);
        auto root = xml::LoadXMLNodeFromString("<update><file name=\"" + Name + "\" size=\"" + Size +
                                               "\" modified=\"20240131120002\" need_for_update=\"true\"/></update>");
        root->SetAttribute("local_name", (Dir / "").string());
        root->SetAttribute("total_update_size", Size);
        return root;
    }

    test::TempDir Temp;
    test::TFixtureServer Server;
    TQtMainThread MainThread;
    TQtDialogs Dialogs{nullptr};
    TForm_Progress Progress;
    TForm_Updater Updater;
    TQtWaitWindows Waits{Progress, Updater};
    QWidget Login;
    QTimer Watch;
    bool LoginHiddenDuringUpdate = false;
    std::function<void()> OnProgress;
};

TEST_F(UpdaterWindowTest, UpdateShowsTheFileAndBringsTheLoginWindowBack)
{
    Server.Answer("/b/client.bin", nlohmann::json{{"body", std::string(3000, 'c')}, {"delay", 0.2}});
    const fs::path dir = Temp / "install";
    TUpdateRunner runner;
    runner.UpdateComponents(Index(dir, "client.bin", "3000"), Server.URL("/b/"), "");
    EXPECT_EQ(test::ReadBytes(dir / "client.bin"), std::string(3000, 'c'));
    EXPECT_TRUE(LoginHiddenDuringUpdate);
    EXPECT_FALSE(Login.isHidden());
    EXPECT_FALSE(Updater.isVisible());
    EXPECT_EQ(Updater.Label_UpdatingFile->text(), "client.bin");
    EXPECT_EQ(Updater.ProgressBar_Total->value(), 100);
}

TEST_F(UpdaterWindowTest, CancelDuringADownloadClosesTheWindowAndRaisesTheCancellation)
{
    Server.Answer("/b/slow.bin",
                  nlohmann::json{{"body", std::string(100000, 's')}, {"stall_after", 5000}, {"stall", 30}});
    const fs::path dir = Temp / "install";
    test::WriteBytes(dir / "slow.bin", "previous version");
    TUpdateRunner runner;
    runner.ProgressInterval = std::chrono::milliseconds(0);
    bool cancelled = false;
    OnProgress = [&] {
        if (!cancelled && Updater.ProgressBar_File->value() > 0)
        {
            cancelled = true;
            Updater.close();
            EXPECT_TRUE(Updater.isVisible()) << "closed while the worker runs";
            QTest::mouseClick(Updater.Button_Cancel, Qt::LeftButton);
        }
    };
    try
    {
        runner.UpdateComponents(Index(dir, "slow.bin", "100000"), Server.URL("/b/"), "");
        FAIL() << "no error";
    }
    catch (const EHTTPDataProvider& e)
    {
        EXPECT_EQ(e.ErrorCode, httpAborted);
    }
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(Updater.isVisible());
    EXPECT_FALSE(Login.isHidden());
    EXPECT_EQ(test::ReadBytes(dir / "slow.bin"), "previous version");
}

} // namespace
} // namespace orb
