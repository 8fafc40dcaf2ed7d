#include "GuiTestApplication.h"
#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "gui/QtViews.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "localisation/Unit_Language.h"
#include "net/ProgressRunner.h"
#include "support/Servers.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <thread>

namespace orb
{
namespace
{

using nlohmann::json;
using test::WhenModal;

/// The Qt views installed for one test, with the two wait windows and the report dialog.
class WindowsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetProcessLanguageStorage(nullptr);
        test::WriteBytes(Dir / "exception.ini",
                         "[Form_SmartException]\r\nDetails=More\r\nSimple=Less\r\nCopy=Copy it\r\n");
        Report = std::make_unique<TForm_SmartException>((Dir / "exception.ini").string());
        Dialogs = std::make_unique<TQtDialogs>(Report.get());
        InstallViews({&MainThread, Dialogs.get(), &Waits, &Updater});
    }
    void TearDown() override
    {
        ResetViews();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
    }

    test::TempDir Dir;
    TQtMainThread MainThread;
    TForm_Progress Progress;
    TForm_Updater Updater;
    TQtWaitWindows Waits{Progress, Updater};
    std::unique_ptr<TForm_SmartException> Report;
    std::unique_ptr<TQtDialogs> Dialogs;
};

TEST_F(WindowsTest, UpdaterRefusesToCloseUntilTheWorkerClosesIt)
{
    bool cancelled = false;
    bool checked = false;
    WhenModal([&] {
        EXPECT_TRUE(Updater.isVisible());
        EXPECT_FALSE(Updater.FormCloseQuery());
        Updater.close();
        EXPECT_TRUE(Updater.isVisible()) << "closed from the title bar";
        QTest::keyClick(&Updater, Qt::Key_Escape);
        EXPECT_TRUE(Updater.isVisible()) << "closed with Escape";
        QTest::mouseClick(Updater.Button_Cancel, Qt::LeftButton);
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(Updater.isVisible()) << "Cancel only asks the worker to stop";
        checked = true;
        Updater.Close(TWaitWindow::wwUpdater);
    });
    ModalWait().ShowModal(TWaitWindow::wwUpdater, [&] { cancelled = true; });
    EXPECT_TRUE(checked);
    EXPECT_FALSE(Updater.isVisible());
    EXPECT_TRUE(Updater.NaturalClosing);
}

TEST_F(WindowsTest, UpdaterShowsWhatAWorkerThreadHandsOver)
{
    QWidget login;
    login.setObjectName("Form_Orb_Loader");
    login.show();
    Updater.LoginWindow = &login;
    bool loginHidden = false;
    std::string workerError;
    std::thread worker([&] {
        MainThread.Synchronize([] { UpdateProgress().SetLoginWindowVisible(false); });
        MainThread.Synchronize([&] { loginHidden = login.isHidden(); });
        MainThread.Synchronize([] {
            UpdateProgress().SetUpdatingFile("bin\\client.exe");
            UpdateProgress().SetFileProgress("12 KB of 30 KB", 40);
            UpdateProgress().SetTotalProgress("12 KB of 300 KB", 4);
        });
        // An error on the user-interface thread comes back to the worker.
        try
        {
            MainThread.Synchronize([] { throw Exception("refused"); });
        }
        catch (const Exception& e)
        {
            workerError = e.Message;
        }
        MainThread.Synchronize([] {
            ModalWait().Close(TWaitWindow::wwUpdater);
            UpdateProgress().SetLoginWindowVisible(true);
        });
    });
    ModalWait().ShowModal(TWaitWindow::wwUpdater, [] {});
    worker.join();
    EXPECT_TRUE(loginHidden);
    EXPECT_FALSE(login.isHidden());
    EXPECT_EQ(workerError, "refused");
    EXPECT_EQ(Updater.Label_UpdatingFile->text(), "bin\\client.exe");
    EXPECT_EQ(Updater.Label_FileProgress->text(), "12 KB of 30 KB");
    EXPECT_EQ(Updater.ProgressBar_File->value(), 40);
    EXPECT_EQ(Updater.Label_TotalProgress->text(), "12 KB of 300 KB");
    EXPECT_EQ(Updater.ProgressBar_Total->value(), 4);
}

TEST_F(WindowsTest, ExceptionDialogTogglesItsViewsAndCopiesTheReport)
{
    EXPECT_TRUE(Report->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(Report->Button_Copy->text(), "Copy it");
    EXPECT_EQ(Report->Button_OK->text(), "OK");
    // Details is the rightmost button, OK the leftmost.
    EXPECT_GT(Report->Button_Details->x(), Report->Button_Copy->x());
    EXPECT_GT(Report->Button_Copy->x(), Report->Button_OK->x());

    QApplication::clipboard()->clear();
    bool checked = false;
    WhenModal([&] {
        const QRect area = Report->screen()->availableGeometry();
        EXPECT_EQ(Report->windowTitle(), "Orb_Loader Exception");
        EXPECT_TRUE(Report->Label_Info->isVisible());
        EXPECT_FALSE(Report->Memo->isVisible());
        EXPECT_EQ(Report->Label_Info->text(), "disk full");
        EXPECT_EQ(Report->Button_Details->text(), "More");
        EXPECT_GE(Report->width(), 360);
        EXPECT_GE(Report->height(), 130);

        QTest::mouseClick(Report->Button_Details, Qt::LeftButton);
        EXPECT_TRUE(Report->Memo->isVisible());
        EXPECT_FALSE(Report->Label_Info->isVisible());
        EXPECT_EQ(Report->Button_Details->text(), "Less");
        EXPECT_EQ(Report->height(), std::max(area.height() / 3, 130));
        EXPECT_GE(Report->width(), area.width() / 2);
        EXPECT_EQ(Report->x(), TSmartExceptionView::Centre(area.left(), area.width(), Report->width()));
        EXPECT_TRUE(Report->Memo->toPlainText().contains("EXCEPTION\nEInOutError in TForm_Updater"));

        QTest::mouseClick(Report->Button_Copy, Qt::LeftButton);
        const QString copied = QApplication::clipboard()->text();
        EXPECT_EQ(copied.toStdString(), SmartExceptionReport().MemoText());
        EXPECT_TRUE(copied.contains("MESSAGE\r\ndisk full")) << copied.toStdString();

        QTest::mouseClick(Report->Button_Details, Qt::LeftButton);
        EXPECT_TRUE(Report->Label_Info->isVisible());
        EXPECT_EQ(Report->Button_Details->text(), "More");
        checked = true;
        QTest::mouseClick(Report->Button_OK, Qt::LeftButton);
    });
    Dialogs->ShowException("TForm_Updater", std::make_exception_ptr(EInOutError(28, "disk full")));
    EXPECT_TRUE(checked);
    EXPECT_FALSE(Report->isVisible());
}

TEST_F(WindowsTest, ChangingTheLanguageRetranslatesTheOpenWindows)
{
    const auto languages = Dir / "resource";
    test::WriteBytes(languages / "language" / "language_en_US.ini",
                     "[Messages]\r\nOK=OK\r\n"
                     "[Form_Updater]\r\nCaption=Update Progress\r\nButton_Cancel.Caption=Cancel\r\n"
                     "Label_UpdatingFile.Caption=never shown\r\n"
                     "[Form_Progress]\r\nCaption=Server Connection Information\r\n"
                     "Label_Status.Caption=Connecting to the server ...\r\n");
    test::WriteBytes(languages / "language" / "language_de_DE.ini",
                     "[Messages]\r\nOK=OK\r\n"
                     "[Form_Updater]\r\nCaption=Aktualisierung\r\nButton_Cancel.Caption=Abbrechen\r\n"
                     "Label_TotalProgressCaption.Caption=Gesamt:\r\n"
                     "Label_UpdatingFile.Caption=never shown\r\n"
                     "[Form_Progress]\r\nCaption=Serververbindung\r\nLabel_Status.Caption=Verbinde ...\r\n"
                     "Button_Break.Caption=Abbrechen\r\n");
    ResourcePath = languages.string();
    LanguageCode = "en_US";
    LanguageTable = std::make_unique<TLanguage>();
    // Windows made after the language table translate themselves at creation.
    TForm_Updater updater;
    TForm_Progress progress;
    EXPECT_EQ(progress.Label_Status->text(), "Connecting to the server ...");
    updater.Label_UpdatingFile->setText("data\\file.bin");
    updater.show();
    progress.show();

    LanguageCode = "de_DE";
    LanguageTable->ChangeLanguage();
    EXPECT_EQ(updater.windowTitle(), "Aktualisierung");
    EXPECT_EQ(updater.Button_Cancel->text(), "Abbrechen");
    EXPECT_EQ(updater.Label_TotalProgressCaption->text(), "Gesamt:");
    EXPECT_EQ(updater.Label_UpdatingFile->text(), "data\\file.bin") << "data labels are not translated";
    EXPECT_EQ(progress.windowTitle(), "Serververbindung");
    EXPECT_EQ(progress.Label_Status->text(), "Verbinde ...");
    EXPECT_EQ(progress.Button_Break->text(), "Abbrechen");
    // The report dialog is not an application window: it keeps its texts.
    EXPECT_EQ(Report->Button_Copy->text(), "Copy it");
    updater.hide();
    progress.hide();
}

TEST_F(WindowsTest, ProgressWindowShowsUntilTheRequestThreadEnds)
{
    test::TFixtureServer server;
    server.Answer("/settings", json{{"body", "name=value"}, {"delay", 0.3}});
    THTTPDataProvider provider;
    provider.URL.SetURL(server.URL("/settings"));
    bool shown = false;
    Progress.OnShown = [&](TForm_Progress& Sender) {
        shown = Sender.isVisible() && Sender.windowTitle() == "Server Connection Information" &&
                !(Sender.windowFlags() & Qt::WindowCloseButtonHint);
    };
    TProgressRunner runner;
    runner.HTTPRequest(provider);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(Progress.isVisible());
    EXPECT_EQ(runner.HTTPResponse, "name=value");
}

TEST_F(WindowsTest, ProgressWindowReportsAFailedRequestAfterClosing)
{
    test::TFixtureServer server;
    server.Answer("/settings", json{{"status", 500}, {"body", "broken"}});
    THTTPDataProvider provider;
    provider.URL.SetURL(server.URL("/settings"));
    TProgressRunner runner;
    EXPECT_THROW(runner.HTTPRequest(provider), ESmartException);
    EXPECT_FALSE(Progress.isVisible());
}

TEST_F(WindowsTest, ProgressCancelStartsTheLauncherAnewAndEndsTheProcess)
{
    test::TFixtureServer server;
    server.Answer("/settings", json{{"body", "late"}, {"delay", 0.5}});
    THTTPDataProvider provider;
    provider.URL.SetURL(server.URL("/settings"));
    TProgressRunner runner;
    runner.RestartPath = "/bin/true";
    int exitCode = -1;
    runner.EndProcess = [&](int Code) { exitCode = Code; };
    Progress.OnShown = [&](TForm_Progress& Sender) {
        Sender.OnShown = nullptr;
        QTest::mouseClick(Sender.Button_Break, Qt::LeftButton);
    };
    runner.HTTPRequest(provider);
    EXPECT_EQ(exitCode, 0);
}

TEST_F(WindowsTest, LocalizedDialogCaptionsTheButtonsInCreationOrder)
{
    QString yes;
    QString no;
    Dialogs->OnDialogShown = [&](QWidget& Box) {
        EXPECT_EQ(Box.windowTitle(), "Confirm");
        yes = Box.findChild<QPushButton*>("Yes")->text();
        no = Box.findChild<QPushButton*>("No")->text();
        WhenModal([&Box] { QTest::mouseClick(Box.findChild<QPushButton*>("No"), Qt::LeftButton); });
    };
    // The captions go to the buttons in the dialog's own order (Yes before No), not in the order given.
    auto result = Dialogs->ShowLocalizedDialog("Confirm", "A new version is available.", TMsgDlgType::mtConfirmation,
                                               {"Ja", "Nein"}, {TMsgDlgBtn::mbNo, TMsgDlgBtn::mbYes});
    EXPECT_EQ(result, TModalResult::mrNo);
    EXPECT_EQ(yes, "Ja");
    EXPECT_EQ(no, "Nein");
}

TEST_F(WindowsTest, MessagesAndReportsWithoutTheReportDialogUseAMessageBox)
{
    TQtDialogs plain(nullptr);
    QStringList texts;
    plain.OnDialogShown = [&](QWidget& Box) {
        texts.push_back(static_cast<QMessageBox&>(Box).text());
        WhenModal([&Box] { QTest::keyClick(&Box, Qt::Key_Return); });
    };
    plain.ShowMessage("Saved.\r\nRestart to apply.");
    plain.ShowException("TForm_Progress", std::make_exception_ptr(Exception("server gone")));
    EXPECT_EQ(texts, (QStringList{"Saved.\nRestart to apply.", "server gone"}));
}

} // namespace
} // namespace orb
