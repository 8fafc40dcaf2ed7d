// Renders the launcher's windows to PNG files for review: screenshots OUTPUT_DIR [RESOURCE_DIR [SETTINGS_DIR]]
#include "base/Exceptions.h"
#include "exception_dialog/SmartException.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "gui/WebEngineSetup.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPixmap>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <exception>

namespace
{

bool Save(QWidget& Window, const QString& Dir, const char* Name)
{
    Window.show();
    QApplication::processEvents();
    const QString file = Dir + "/" + Name + ".png";
    if (!Window.grab().save(file))
    {
        std::fprintf(stderr, "screenshots: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    Window.hide();
    return true;
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

    orb::TForm_Updater updater;
    updater.SetUpdatingFile("bin\\terminal.exe");
    updater.SetFileProgress("1,204 of 3,010 KB", 40);
    updater.SetTotalProgress("8,960 of 41,300 KB", 22);
    ok &= Save(updater, out, "updater");

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
    report.ShowDetails();
    ok &= Save(report, out, "exception_details");

    // The login window on copies of the settings files (leaving the Settings page writes the user file).
    if (argc > 3)
    {
        QTemporaryDir settings;
        for (const char* name : {orb::MainSettingsFileName, orb::ClientSettingsFileName, orb::UserSettingsFileName})
            QFile::copy(QString::fromLocal8Bit(argv[3]) + "/" + name, settings.filePath(name));
        orb::LoadLoaderSettings(settings.path().toStdString());
        orb::TXMLDataProvider provider;
        orb::TProgressRunner progressRunner;
        orb::TUpdateRunner updateRunner;
        orb::TForm_Orb_Loader login(provider, progressRunner, updateRunner);
        login.Start();
        for (int i = 0; i < login.TabControl->count(); ++i)
        {
            login.TabControl->setCurrentIndex(i);
            const std::string name = "login_" + login.PageControl->currentWidget()->objectName().toStdString();
            ok &= Save(login, out, name.c_str());
        }
        login.TabControl->setCurrentIndex(login.PageControl->indexOf(login.TabSheet_Login));
    }
    return ok ? 0 : 1;
}
