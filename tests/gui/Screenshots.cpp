// Renders the launcher's windows to PNG files for review: screenshots OUTPUT_DIR [RESOURCE_DIR [SETTINGS_DIR]]
#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "gui/QtViews.h"
#include "gui/RegistrationForm.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_Edit.h"
#include "gui/WebDialog.h"
#include "gui/WebEngineSetup.h"
#include "launcher/LauncherSession.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "xml/VuvareXMLNode.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>

#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace
{

/// Writes what Window shows to Dir/Name.png and names the file on standard output; false (said on standard error)
/// when the file cannot be written.
bool Write(QWidget& Window, const QString& Dir, const char* Name)
{
    const QString file = Dir + "/" + Name + ".png";
    if (!Window.grab().save(file))
    {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

bool Save(QWidget& Window, const QString& Dir, const char* Name)
{
    Window.show();
    QApplication::processEvents();
    if (!Write(Window, Dir, Name))
        return false;
    Window.hide();
    return true;
}

/// Runs the event loop until Done holds or 20 seconds have passed; false at the time-out.
bool WaitUntil(const std::function<bool()>& Done)
{
    QElapsedTimer timer;
    timer.start();
    while (!Done())
    {
        if (timer.elapsed() > 20000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

/// Saves a window that is already on screen and leaves it there (the wizard starts over when shown again).
bool SaveShown(QWidget& Window, const QString& Dir, const char* Name)
{
    // Widgets shown a moment ago take their places once the layout's pending request has run.
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    return Write(Window, Dir, Name);
}

/// Saves Window with the keyboard focus on Button, as a keyboard user sees it, under Dir/Name_focus.png.
bool SaveFocused(QWidget& Window, QWidget* Button, const QString& Dir, const char* Name)
{
    const bool wasShown = Window.isVisible();
    Window.show();
    Window.activateWindow();
    Window.setAttribute(Qt::WA_KeyboardFocusChange);
    Button->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
    const bool ok = Write(Window, Dir, (std::string(Name) + "_focus").c_str());
    if (!wasShown)
        Window.hide();
    return ok;
}

/// The demo server's account services for the registration pictures; Port stays 0 when it cannot start.
struct TDemoServer
{
    explicit TDemoServer(const QString& ResourceDir)
    {
        Process.start("python3", {ResourceDir + "/../tools/demo_server/server.py", "--port", "0"});
        if (!Process.waitForReadyRead(20000))
            return;
        const QString line = QString::fromLatin1(Process.readLine()).trimmed();
        if (line.startsWith("PORT "))
            Port = line.mid(5).toInt();
    }
    ~TDemoServer()
    {
        Process.kill();
        Process.waitForFinished(5000);
    }
    QProcess Process;
    int Port = 0;
};

/// Walks the wizard through the demo service, saving its pages, a page with a warning and the final screen.
bool SaveRegistrationPictures(const QString& Out, const std::string& URL)
{
    bool ok = true;
    orb::TForm_Registration wizard;
    wizard.Exchange.URL = URL;
    wizard.Exchange.ProviderId = "demo";
    wizard.Exchange.Language = "en_US";
    auto entries = orb::xml::LoadXMLNodeFromString(
        R"(<entries><item name="Demo account" value="demo"/><item name="Private account" value="private"/></entries>)");
    for (int i = 0; i < entries->ChildNodes()->Count(); ++i)
        wizard.Exchange.Entries.push_back(entries->ChildNodes()->Get(i));
    wizard.resize(360, 560);
    wizard.show();
    auto page = [&](int Index) {
        return WaitUntil([&] { return !wizard.Exchange.Busy() && wizard.Exchange.PageIndex() == Index; });
    };
    auto edit = [&](const char* Id, const char* Text) {
        if (auto* editor = wizard.Panel_Fields->findChild<orb::TVisualField_Edit*>(QString("VisualField_") + Id))
            editor->Edit_Value->setText(Text);
    };
    if (!page(1))
    {
        std::fprintf(stderr, "screenshots: the registration service did not answer\n");
        return false;
    }
    ok &= SaveShown(wizard, Out, "registration_page1");
    ok &= SaveFocused(wizard, wizard.Button_Submit, Out, "registration_page1");
    edit("first_name", "Ann");
    edit("last_name", "Lee");
    edit("email", "ann.example.com");
    if (auto* country = wizard.Panel_Fields->findChild<orb::TVisualField_ComboBox*>("VisualField_country"))
        country->ComboBox_Value->setCurrentIndex(1);
    wizard.Button_SubmitClick();
    ok &= WaitUntil([&] { return !wizard.Exchange.Busy(); });
    ok &= SaveShown(wizard, Out, "registration_warning");
    edit("email", "ann@example.com");
    wizard.Button_SubmitClick();
    ok &= page(2);
    ok &= SaveShown(wizard, Out, "registration_page2");
    wizard.Button_SubmitClick();
    ok &= page(3);
    ok &= SaveShown(wizard, Out, "registration_page3");
    wizard.Button_SubmitClick(); // the declarations are not accepted yet: marked in red
    ok &= SaveShown(wizard, Out, "registration_page3_declarations");
    edit("nickname", "slowpoke"); // the demo service takes a while for this one: the waiting screen shows
    for (const char* id : {"VisualField_terms", "VisualField_risk"})
        if (auto* box = wizard.Panel_Fields->findChild<orb::TVisualField_CheckBox*>(id))
            box->CheckBox_Value->click();
    wizard.Button_SubmitClick();
    for (int i = 0; i < 3; ++i)
        wizard.Timer_ProgressTimer();
    ok &= SaveShown(wizard, Out, "registration_waiting");
    ok &= WaitUntil([&] { return wizard.Exchange.State() == orb::rsRegistrateEnd; });
    ok &= SaveShown(wizard, Out, "registration_done");
    return ok;
}

/// Writes a local page for the browser pictures and returns its address.
QString WritePage(const QTemporaryDir& Dir, const char* Name, const QByteArray& Html)
{
    QFile file(Dir.filePath(Name));
    if (file.open(QIODevice::WriteOnly))
        file.write(Html);
    return QUrl::fromLocalFile(file.fileName()).toString();
}

/// Gives the browser a moment to put the loaded page on screen.
void SettleBrowser()
{
    QElapsedTimer timer;
    timer.start();
    WaitUntil([&timer] { return timer.elapsed() > 700; });
}

/// The web window of a link on a local page longer than the window (it shows no scroll bars).
bool SaveWebWindow(const QString& Out, const QTemporaryDir& Pages)
{
    const QByteArray paragraph = "<p>The customer confirms having read the risk disclosure. Trading on margin carries "
                                 "a high level of risk and may not be suitable for all investors; losses can exceed "
                                 "deposits.</p>";
    QByteArray html = "<html><body style=\"font-family:sans-serif;margin:16px\"><h2>Terms and conditions</h2>";
    for (int i = 1; i <= 12; ++i)
        html += "<h3>" + QByteArray::number(i) + ". Section</h3>" + paragraph;
    const QString url = WritePage(Pages, "terms.html", html + "</body></html>");
    orb::TForm_IEBrowser window(nullptr, "terms and conditions", url);
    int completions = 0;
    QObject::connect(&window, &orb::TForm_IEBrowser::DocumentCompleted, [&completions] { ++completions; });
    window.show();
    if (!WaitUntil([&completions] { return completions >= 2; }))
    {
        std::fprintf(stderr, "screenshots: the web window did not load its page\n");
        return false;
    }
    SettleBrowser();
    return SaveShown(window, Out, "web_window");
}

} // namespace

int main(int argc, char** argv)
{
    orb::PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Orb_Loader");
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [RESOURCE_DIR]\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    orb::ResourcePath = argc > 2 ? argv[2] : "resource";
    orb::LanguageCode = "en_US";
    orb::LanguageTable = std::make_unique<orb::TLanguage>();

    // The start-up code sets the application's icon; a stock one stands in for it here.
    QApplication::setWindowIcon(app.style()->standardIcon(QStyle::SP_ComputerIcon));
    bool ok = true;
    orb::TForm_Progress progress;
    ok &= Save(progress, out, "progress");
    ok &= SaveFocused(progress, progress.Button_Break, out, "progress");

    orb::TForm_Updater updater;
    updater.SetUpdatingFile("bin\\terminal.exe");
    updater.SetFileProgress("1,204 of 3,010 KB", 40);
    updater.SetTotalProgress("8,960 of 41,300 KB", 22);
    ok &= Save(updater, out, "updater");
    ok &= SaveFocused(updater, updater.Button_Cancel, out, "updater");

    orb::TForm_SmartException report(orb::GetLanguageFileName());
    try
    {
        throw orb::EInOutError(28, "Cannot write file \"bin\\terminal.exe\": no space left on device");
    }
    catch (...)
    {
        orb::SmartExceptionReport().ApplicationInfo = "Orb_Loader 1.0.0.1";
        orb::SmartExceptionReport().MakeException("TForm_Updater", std::current_exception(), true, "");
    }
    report.UpdateFromReport();
    report.show(); // shown first, so that the views switch without a modal loop
    report.ShowSimple();
    ok &= Save(report, out, "exception_simple");
    report.show();
    ok &= SaveFocused(report, report.Button_Details, out, "exception_simple");
    report.show();
    report.ShowDetails();
    ok &= Save(report, out, "exception_details");

    QTemporaryDir pages;
    ok &= SaveWebWindow(out, pages);

    // The registration service of the demo server answers the wizard, embedded and on its own; confirmations
    // are answered with OK.
    std::unique_ptr<TDemoServer> demo;
    orb::TQtMainThread mainThread;
    orb::TQtDialogs dialogs(nullptr);
    dialogs.OnDialogShown = [](QWidget& Box) {
        QTimer::singleShot(0, &Box, [&Box] {
            if (auto* button = Box.findChild<QAbstractButton*>("OK"))
                button->click();
            else
                static_cast<QDialog&>(Box).done(0);
        });
    };
    orb::InstallViews({&mainThread, &dialogs, nullptr, nullptr});
    if (argc > 2)
    {
        demo = std::make_unique<TDemoServer>(QString::fromLocal8Bit(argv[2]));
        if (demo->Port == 0)
        {
            std::fprintf(stderr, "screenshots: the demo server did not start\n");
            ok = false;
        }
        else
            ok &= SaveRegistrationPictures(out, "http://127.0.0.1:" + std::to_string(demo->Port) + "/registration");
    }

    // The login window on copies of the settings files (leaving the Settings page writes the user file).
    // One launcher session on copies of the settings files serves every login window below.
    QTemporaryDir settings;
    std::unique_ptr<orb::TLauncherSession> session;
    if (argc > 3)
    {
        for (const char* name : {orb::MainSettingsFileName, orb::ClientSettingsFileName, orb::UserSettingsFileName})
        {
            QFile source(QString::fromLocal8Bit(argv[3]) + "/" + name);
            QFile copy(settings.filePath(name));
            if (source.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly))
                copy.write(source.readAll().replace(
                    "DEMO_SERVER", "127.0.0.1:" + QByteArray::number(demo && demo->Port ? demo->Port : 9)));
        }
        session = std::make_unique<orb::TLauncherSession>(settings.path().toStdString(), false);
        orb::TForm_Orb_Loader login(*session);
        session->Start();
        login.Start();
        for (int i = 0; i < login.TabControl->count(); ++i)
        {
            login.show(); // the embedded wizard starts once it is on screen
            login.TabControl->setCurrentIndex(i);
            if (auto* wizard = login.FormRegistration())
                WaitUntil([&] { return !wizard->Exchange.Busy() && wizard->Exchange.PageIndex() == 1; });
            const std::string name = "login_" + login.PageControl->currentWidget()->objectName().toStdString();
            ok &= Save(login, out, name.c_str());
        }
        login.TabControl->setCurrentIndex(login.PageControl->indexOf(login.TabSheet_Login));

        // The Login page in a language written from right to left.
        const auto chooseLanguage = [&login](const char* Code) {
            const int index = login.CB_Language->findData(QString::fromUtf8(Code));
            login.CB_Language->setCurrentIndex(index);
            if (index >= 0)
                login.CB_LanguageChange(index);
            else
            {
                orb::LanguageCode = Code;
                orb::LanguageTable->ChangeLanguage();
            }
        };
        chooseLanguage("ar_KW");
        ok &= Save(login, out, "login_language_ar_KW");
        ok &= SaveFocused(login, login.Button_OK, out, "login_language_ar_KW");
        chooseLanguage("en_US");
    }
    if (argc > 3)
    {
        // A user who chose the Dark skin, as the window starts for him.
        orb::UserSettings->SetAttribute("skin", "Dark");
        orb::TForm_Orb_Loader login(*session);
        session->Start();
        login.Start();
        ok &= Save(login, out, "login_skin_Dark");
        ok &= SaveFocused(login, login.Button_OK, out, "login_skin_Dark");

        // The login window with a browser strip above the panel (added to the loaded client file only).
        auto strip = orb::ClientSettings->AddChild("browser_window");
        strip->SetAttribute("url", WritePage(pages, "banner.html",
                                             "<html><body style=\"margin:0;background:#1c4f8c;color:white;"
                                             "font:bold 15px sans-serif;padding:10px 14px\">Markets open: "
                                             "spreads from 0.1 pips this week</body></html>")
                                       .toStdString());
        strip->SetAttribute("width", "460");
        strip->SetAttribute("height", "40");
        orb::TForm_Orb_Loader withStrip(*session);
        withStrip.Start();
        bool loaded = false;
        if (withStrip.WebBrowser)
            QObject::connect(withStrip.WebBrowser, &QWebEngineView::loadFinished, [&loaded] { loaded = true; });
        withStrip.show();
        ok &= WaitUntil([&loaded] { return loaded; });
        SettleBrowser();
        ok &= SaveShown(withStrip, out, "login_browser_strip");
    }
    orb::ResetViews();
    session.reset();
    return ok ? 0 : 1;
}
