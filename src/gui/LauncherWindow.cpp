#include "gui/LauncherWindow.h"

#include "base/Views.h"
#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_ResetPassword.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "launcher/LauncherSession.h"
#include "localisation/Unit_Language.h"
#include "net/ProxySettings.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace orb
{

namespace
{

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

} // namespace

namespace
{

/// Asks for the system proxy's user name and password in two small dialogs on the window thread.
std::optional<TProxyCredentials> AskProxyCredentials(const std::string& Proxy)
{
    std::optional<TProxyCredentials> result;
    const auto ask = [&] {
        const QString title = QApplication::applicationName();
        const QString prompt = QString::fromStdString("The proxy " + Proxy + " asks for a user name and password.");
        bool ok = false;
        const QString login =
            QInputDialog::getText(nullptr, title, prompt + "\nUser name:", QLineEdit::Normal, {}, &ok);
        if (!ok || login.isEmpty())
            return;
        const QString password =
            QInputDialog::getText(nullptr, title, prompt + "\nPassword:", QLineEdit::Password, {}, &ok);
        if (ok)
            result = TProxyCredentials{login.toStdString(), password.toStdString()};
    };
    // Requests run on worker threads too; the dialogs belong to the window thread, which is waited for.
    if (QThread::currentThread() == qApp->thread())
        ask();
    else
        QMetaObject::invokeMethod(qApp, ask, Qt::BlockingQueuedConnection);
    return result;
}

} // namespace

int RunLauncherWindow(QApplication& Application)
{
    SetProxyCredentialsPrompt(AskProxyCredentials);
    std::unique_ptr<TLauncherSession> session;
    try
    {
        session = std::make_unique<TLauncherSession>();
    }
    catch (const std::exception& e)
    {
        // The settings or the language could not be read: no report dialog can exist yet.
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(e.what()));
        return 1;
    }

    TQtMainThread mainThread;
    // The windows in the order the start-up makes them; the login window is the main window.
    TForm_Orb_Loader loginWindow(*session);
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

    // From here on the application's handler reports every error; one while starting ends the launcher after the
    // report, since a half-filled window would only fail later.
    try
    {
        session->Start();
        loginWindow.Start();
    }
    catch (...)
    {
        ApplicationEventsException(LoginWindowClassName, std::current_exception());
        return 1;
    }
    // Start loaded the application's icon; the connection progress window shows it too.
    progress.Image->setPixmap(QApplication::windowIcon().pixmap(32, 32));
    loginWindow.show();
    ScheduleUnattendedSteps(loginWindow);
    return Application.exec();
}

} // namespace orb
