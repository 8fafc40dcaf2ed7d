#include "gui/LauncherWindow.h"

#include "GuiTestApplication.h"
#include "gui/Unit_SmartException.h"
#include "launcher/LoaderSettings.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

namespace orb
{
namespace
{

/// The window front end started in a working directory of its own, as a user starts it.
class LauncherWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { FSaved = std::filesystem::current_path(); }
    void TearDown() override { std::filesystem::current_path(FSaved); }

    /// Writes the three settings files with the given proxy attributes and runs the front end in their folder,
    /// answering the first modal window with its text; returns the run's result.
    int RunWithProxy(const std::string& ProxyAttributes)
    {
        const auto resources = test::SourceDir() / "resource";
        test::WriteBytes(Dir / MainSettingsFileName,
                         "<m update_url=\"tarnel_update_url\" application=\"client\"><entry_servers><item "
                         "url=\"http://127.0.0.1:1/\"/></entry_servers><languages><item name=\"English\" "
                         "value=\"en_US\"/></languages></m>");
        test::WriteBytes(Dir / ClientSettingsFileName, "<c title=\"Orb Trader\"><entries/></c>");
        test::WriteBytes(Dir / UserSettingsFileName, "<user_loader_settings language=\"en_US\" resource_path=\"" +
                                                         resources.string() + "\"><proxy " + ProxyAttributes +
                                                         "/><alternate_server/><entries/></user_loader_settings>");
        std::filesystem::current_path(Dir.Path());
        test::WhenModal([this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* report = qobject_cast<TForm_SmartException*>(modal))
            {
                Report = report->Label_Info->text().toStdString() + "\n" + report->Memo->toPlainText().toStdString();
                report->close();
            }
            else if (auto* dialog = qobject_cast<QDialog*>(modal))
            {
                Report = "another dialog";
                dialog->done(0);
            }
        });
        return RunLauncherWindow(*qApp);
    }

    test::TempDir Dir;
    std::string Report;

private:
    std::filesystem::path FSaved;
};

TEST_F(LauncherWindowTest, AStartUpErrorIsReportedAndEndsTheLauncherWithoutItsWindow)
{
    EXPECT_EQ(RunWithProxy("enabled=\"maybe\""), 1);
    EXPECT_NE(Report.find("maybe"), std::string::npos) << Report;
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
}

} // namespace
} // namespace orb
