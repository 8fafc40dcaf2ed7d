// orb-loader: the launcher's window front end.

#include "gui/LauncherWindow.h"
#include "gui/WebEngineSetup.h"
#include "launcher/ExeVersion.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    // The window takes no options (everything is chosen in it), but a packaged program tells its version.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0)
    {
        std::cout << "orb-loader " << orb::ExeVersion.VersionText() << "\n";
        return 0;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    orb::PrepareWebEngine();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Orb_Loader");
    // Desktops find the menu entry (and with it the icon) of a window by this name.
    QGuiApplication::setDesktopFileName("org.orbloader.OrbLoader");
    // Closing the login window ends the launcher, even while a hidden window (the update window) exists.
    QApplication::setQuitOnLastWindowClosed(true);
    try
    {
        return orb::RunLauncherWindow(application);
    }
    catch (const std::exception& e)
    {
        QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(e.what()));
    }
    catch (...)
    {
        QMessageBox::critical(nullptr, QApplication::applicationName(), "Unknown error during start-up.");
    }
    return 1;
}
