// orb-loader: the launcher's window front end.

#include "base/Views.h"
#include "exception_dialog/SmartException.h"
#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_ResetPassword.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "gui/WebEngineSetup.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/ExeVersion.h"
#include "launcher/LoaderSettings.h"
#include "launcher/LoginFlow.h"
#include "localisation/Unit_Language.h"
#include "net/HTTPDataProvider.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>

namespace
{

using namespace orb;

/// For demonstrations and pictures without a person at the keyboard: ORB_SCREENSHOT=<file.png> saves the login
/// window as it first appears, ORB_AUTOLOGIN=1 then presses its Login button.
void ScheduleUnattendedSteps(TForm_Orb_Loader& LoginWindow)
{
    const QString screenshot = qEnvironmentVariable("ORB_SCREENSHOT");
    const bool autoLogin = !qEnvironmentVariableIsEmpty("ORB_AUTOLOGIN");
    if (screenshot.isEmpty() && !autoLogin)
        return;
    // Once the event loop runs, the window has been laid out and painted.
    QTimer::singleShot(500, &LoginWindow, [&LoginWindow, screenshot, autoLogin] {
        if (!screenshot.isEmpty() && !LoginWindow.grab().save(screenshot))
            std::fprintf(stderr, "orb-loader: could not save the picture %s\n", qPrintable(screenshot));
        if (autoLogin && LoginWindow.isVisible())
            LoginWindow.Button_OK->click();
    });
}

/// Everything from the settings files to the end of the message loop, once the application object exists.
int Run(QApplication& Application)
{
    LoadLoaderSettings();
    // An installation may bring its own certificate authority for its servers.
    if (const std::string caFile = MainSettings->Attributes("ca_file"); !caFile.empty())
        SetDefaultCAFile(caFile);
    LanguageTable = std::make_unique<TLanguage>();

    TQtMainThread mainThread;
    TXMLDataProvider provider;
    provider.HTTP.HTTP_Client.ReadTimeout = 120000;
    provider.HTTP.SetCompression(true);
    TProgressRunner progressRunner;
    TUpdateRunner updateRunner;

    // The windows in the order the start-up makes them; the login window is the main window.
    TForm_Orb_Loader loginWindow(provider, progressRunner, updateRunner);
    TForm_Updater updater;
    TForm_Progress progress;
    TForm_ResetPassword resetPassword;
    loginWindow.ForgotPassword.ResetView = &resetPassword;
    updater.LoginWindow = &loginWindow;

    TForm_SmartException report(GetLanguageFileName());
    TQtDialogs dialogs(&report);
    TQtWaitWindows waits(progress, updater);
    InstallViews(TViews{&mainThread, &dialogs, &waits, &updater});
    struct TUninstall
    {
        ~TUninstall() { ResetViews(); }
    } uninstall;

    // From here on the application's handler reports every error: the login window's Start sets it up.
    SmartExceptionReport().ApplicationInfo = "Orb_Loader " + ExeVersion.VersionText();
    ConnectionSettings.Clear();
    SetDefaultUserAgent("ORB_LOADER " + ExeVersion.VersionText());
    try
    {
        loginWindow.Start();
    }
    catch (...)
    {
        ApplicationEventsException(LoginWindowClassName, std::current_exception());
    }
    // Start loaded the application's icon; the connection progress window shows it too.
    progress.Image->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    loginWindow.show();
    ScheduleUnattendedSteps(loginWindow);
    const int result = Application.exec();
    LanguageTable.reset();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    PrepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orb_Loader");
    // Closing the login window ends the launcher, even while a hidden window (the update window) exists.
    QApplication::setQuitOnLastWindowClosed(true);
    try
    {
        return Run(application);
    }
    catch (const std::exception& e)
    {
        // No handler is installed yet: say what went wrong before the process ends.
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(e.what()));
    }
    catch (...)
    {
        QMessageBox::critical(nullptr, QApplication::applicationName(), "Unknown error during start-up.");
    }
    return 1;
}
