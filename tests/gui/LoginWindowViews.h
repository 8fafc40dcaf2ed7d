#pragma once

#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_Updater.h"
#include "launcher/LauncherSession.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"

#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace orb::test
{

/// The windows, views and runners the windowed front end builds around the login window.
struct TLoginWindowViews
{
    TQtMainThread MainThread;
    TForm_Progress Progress;
    TForm_Updater Updater;
    TQtWaitWindows Waits{Progress, Updater};
    TQtDialogs Dialogs{nullptr};
    std::unique_ptr<TLauncherSession> Session;
    std::unique_ptr<TForm_Orb_Loader> Window;

    /// Installs these views as the process's views (ResetViews() removes them).
    void InstallLoginViews() { InstallViews({&MainThread, &Dialogs, &Waits, &Updater}); }

    /// Builds the launcher session on the settings files in Settings and the login window on it, and starts both, as
    /// the windowed front end does (without the language table when LoadLanguage is false).
    void StartOnSettings(const std::filesystem::path& Settings, bool LoadLanguage = true)
    {
        Window.reset();
        Session.reset();
        Session = std::make_unique<TLauncherSession>(Settings, LoadLanguage);
        Window = std::make_unique<TForm_Orb_Loader>(*Session);
        Updater.LoginWindow = Window.get();
        Session->Start();
        Window->Start();
    }

    /// Opens the login window on the settings files in Settings with the language table, as the windowed front end
    /// does, and waits until it is on screen.
    void OpenOnSettings(const std::filesystem::path& Settings)
    {
        StartOnSettings(Settings);
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }
};

} // namespace orb::test
