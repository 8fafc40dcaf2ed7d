#include "GuiTestApplication.h"
#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "gui/QtViews.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_ResetPassword.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "localisation/Unit_Language.h"
#include "net/ProgressRunner.h"
#include "support/Servers.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
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
        LanguageCode = "en_US";
        ApplyLanguageDirection();
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

/// A window whose button runs the handler a test gives it.
class TForm_Handlers : public TQtForm
{
public:
    TForm_Handlers() : TQtForm("TForm_Handlers")
    {
        Button = new QPushButton("Go", this);
        connect(Button, &QPushButton::clicked, this, [this] { Guarded(Handler); });
        FinishCreate(false);
    }
    QPushButton* Button = nullptr;
    std::function<void()> Handler;
};

TEST_F(WindowsTest, HandlerErrorsGoThroughTheApplicationsHandler)
{
    TForm_Handlers form;
    QStringList boxes;
    Dialogs->OnDialogShown = [&](QWidget& Box) {
        boxes.push_back(static_cast<QMessageBox&>(Box).text());
        WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); });
    };
    // Information is a plain message; every other error is the report, naming the window's class.
    const struct
    {
        std::function<void()> Raise;
        QStringList Boxes;
        const char* Reported;
    } cases[] = {
        {[] { throw EInformationException("The account is being opened."); }, {"The account is being opened."}, ""},
        {[] { throw Exception("server gone"); }, {}, "EXCEPTION\nException in TForm_Handlers"},
        {[] { throw EConvertError("'x' is not a number"); }, {}, "EXCEPTION\nEConvertError in TForm_Handlers"},
        {[] { throw std::runtime_error("bad state"); }, {}, "MESSAGE\nbad state"},
    };
    for (const auto& c : cases)
    {
        boxes.clear();
        QString reported;
        WhenModal([&] {
            if (!Report->isVisible())
                return;
            reported = Report->Memo->toPlainText();
            Report->Button_OK->click();
        });
        form.Handler = c.Raise;
        form.Button->click();
        QApplication::processEvents();
        EXPECT_EQ(boxes, c.Boxes) << c.Reported;
        EXPECT_EQ(reported.isEmpty(), !*c.Reported) << reported.toStdString();
        EXPECT_TRUE(reported.contains(c.Reported)) << reported.toStdString();
    }
}

TEST_F(WindowsTest, EveryWindowNamesItsInputsForAssistiveTechnology)
{
    TForm_ResetPassword reset;
    const struct
    {
        QWidget* Control;
        const char* Name;
        const char* Caption;
    } cases[] = {
        {Updater.ProgressBar_File, "File progress", ""},
        {Updater.ProgressBar_Total, "Total progress", ""},
        {Updater.Button_Cancel, "Cancel", "Cancel"},
        {Progress.Button_Break, "Cancel", "Cancel"},
        {reset.Edit_ResetCode, "Reset Code", ""},
        {reset.Edit_NewPassword, "New Password", ""},
        {reset.Edit_ConfirmPassword, "Confirm Password", ""},
        {reset.Label_ResetCode, "", "&Reset Code"},
        {reset.Label_NewPassword, "", "&New Password"},
        {reset.Label_ConfirmPassword, "", "&Confirm Password"},
        {reset.Button_Reset, "Reset", "R&eset"},
        {reset.Button_Cancel, "Cancel", "C&ancel"},
        {Report->Button_Details, "More", "More"},
        {Report->Button_Copy, "Copy it", "Copy it"},
        {Report->Button_OK, "OK", "OK"},
        {Report->Memo, "More", ""},
    };
    for (const auto& c : cases)
    {
        const std::string name = c.Control->objectName().toStdString();
        EXPECT_EQ(c.Control->accessibleName().toStdString(), c.Name) << name;
        if (auto* label = qobject_cast<QLabel*>(c.Control))
        {
            EXPECT_EQ(label->text().toStdString(), c.Caption) << name;
        }
        if (auto* button = qobject_cast<QAbstractButton*>(c.Control))
        {
            EXPECT_EQ(button->text().toStdString(), c.Caption) << name;
        }
    }
    // The report's Details button changes its caption with the view; its name follows.
    WhenModal([&] {
        QTest::mouseClick(Report->Button_Details, Qt::LeftButton);
        EXPECT_EQ(Report->Button_Details->accessibleName(), "Less");
        Report->Button_OK->click();
    });
    Dialogs->ShowException("TForm_Updater", std::make_exception_ptr(Exception("gone")));
}

TEST_F(WindowsTest, MnemonicsAreUniqueAndTypable)
{
    // Captions of one page in, captions with mnemonics and accessible names out.
    const struct
    {
        std::vector<const char*> Captions;
        std::vector<const char*> Expected;
        std::vector<const char*> Names;
    } cases[] = {
        {{"Username", "Password", "Port :"}, {"&Username", "&Password", "P&ort :"}, {"Username", "Password", "Port"}},
        {{"Sa&ve", "Save As", "Server"}, {"Sa&ve", "&Save As", "S&erver"}, {"Save", "Save As", "Server"}},
        {{"Terms && Conditions", "Trade"}, {"&Terms && Conditions", "T&rade"}, {"Terms & Conditions", "Trade"}},
        {{"Пароль", "Порт"}, {"&Пароль", "П&орт"}, {"Пароль", "Порт"}},
        {{"用户名", "密码：", "Login 登录"},
         {"用户名(&A)", "密码(&B)：", "&Login 登录"},
         {"用户名", "密码", "Login 登录"}},
    };
    for (const auto& c : cases)
    {
        QWidget page;
        std::vector<QWidget*> controls;
        for (const char* caption : c.Captions)
        {
            // Labels with an input, and a button for the last caption.
            if (controls.size() + 1 < c.Captions.size())
            {
                auto* label = new QLabel(QString::fromUtf8(caption), &page);
                label->setBuddy(new QLineEdit(&page));
                controls.push_back(label);
            }
            else
                controls.push_back(new QPushButton(QString::fromUtf8(caption), &page));
        }
        AssignMnemonics(controls);
        SetAccessibleNames(&page);
        for (size_t i = 0; i < controls.size(); ++i)
        {
            auto* label = qobject_cast<QLabel*>(controls[i]);
            const QString text = label ? label->text() : static_cast<QPushButton*>(controls[i])->text();
            EXPECT_EQ(text.toStdString(), c.Expected[i]);
            QWidget* named = label ? label->buddy() : controls[i];
            EXPECT_EQ(named->accessibleName().toStdString(), c.Names[i]);
        }
    }
    QLabel alone("Status");
    AssignMnemonics({&alone});
    EXPECT_EQ(alone.text(), "Status") << "a label without an input shows its text as it is";
}

TEST_F(WindowsTest, WindowsFollowARightToLeftLanguageFromTheirCreationOn)
{
    ResourcePath = Dir.Path();
    LanguageCode = "he_IL";
    TForm_ResetPassword reset;
    EXPECT_TRUE(reset.isRightToLeft());
    EXPECT_TRUE(Progress.isRightToLeft()) << "the open windows follow";
    // Mirrored places: Reset stands left of Cancel, the captions keep their distance from the right edge.
    EXPECT_EQ(reset.Button_Reset->x(), 280 - 145 - 75);
    EXPECT_EQ(reset.Button_Cancel->x(), 280 - 60 - 75);
    EXPECT_EQ(reset.Edit_NewPassword->x(), 280 - 12 - 256);
    bool checked = false;
    WhenModal([&] {
        // The report lays its parts out mirrored as it sizes itself: the picture on the right, Details leftmost.
        EXPECT_EQ(Report->Image->x(), Report->width() - TForm_SmartException::ImageWidth);
        EXPECT_LT(Report->Button_Details->x(), Report->Button_Copy->x());
        EXPECT_LT(Report->Button_Copy->x(), Report->Button_OK->x());
        EXPECT_EQ(Report->Button_OK->x(),
                  Report->width() -
                      TSmartExceptionView::ButtonLeft(Report->width(), TForm_SmartException::ButtonWidth, 3) -
                      TForm_SmartException::ButtonWidth);
        checked = true;
        Report->Button_OK->click();
    });
    Dialogs->ShowException("TForm_Updater", std::make_exception_ptr(Exception("gone")));
    EXPECT_TRUE(checked);

    LanguageCode = "en_US";
    ApplyLanguageDirection();
    EXPECT_FALSE(reset.isRightToLeft());
    EXPECT_EQ(reset.Button_Reset->x(), 145);
    EXPECT_EQ(reset.Edit_NewPassword->x(), 12);
    EXPECT_EQ(Report->Image->x(), 0);
    EXPECT_GT(Report->Button_Details->x(), Report->Button_OK->x());
}

TEST_F(WindowsTest, WaitWindowsRefuseToCloseUntilTheWorkerClosesThem)
{
    struct TCase
    {
        TWaitWindow Window;
        TQtModalWaitForm& Form;
        QPushButton* Cancel;
    };
    for (const TCase& c : {TCase{TWaitWindow::wwUpdater, Updater, Updater.Button_Cancel},
                           TCase{TWaitWindow::wwProgress, Progress, Progress.Button_Break}})
    {
        SCOPED_TRACE(c.Form.objectName().toStdString());
        bool cancelled = false;
        bool checked = false;
        WhenModal([&] {
            EXPECT_TRUE(c.Form.isVisible());
            EXPECT_FALSE(c.Form.FormCloseQuery());
            c.Form.close();
            EXPECT_TRUE(c.Form.isVisible()) << "closed from the title bar";
            QTest::keyClick(&c.Form, Qt::Key_Escape);
            EXPECT_TRUE(c.Form.isVisible()) << "closed with Escape";
            QTest::mouseClick(c.Cancel, Qt::LeftButton);
            EXPECT_TRUE(cancelled);
            EXPECT_TRUE(c.Form.isVisible()) << "Cancel only runs the caller's action";
            checked = true;
            c.Form.Close(c.Window);
        });
        ModalWait().ShowModal(c.Window, [&] { cancelled = true; });
        EXPECT_TRUE(checked);
        EXPECT_FALSE(c.Form.isVisible());
        EXPECT_TRUE(c.Form.NaturalClosing);
        // Outside a wait Cancel has nothing to run.
        cancelled = false;
        c.Cancel->click();
        EXPECT_FALSE(cancelled);
    }
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
