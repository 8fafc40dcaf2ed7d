#pragma once

#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_Updater.h"
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
    TXMLDataProvider Provider;
    TProgressRunner ProgressRunner;
    TUpdateRunner Runner;
    std::unique_ptr<TForm_Orb_Loader> Window;

    /// Installs these views as the process's views (ResetViews() removes them).
    void InstallLoginViews() { InstallViews({&MainThread, &Dialogs, &Waits, &Updater}); }

    /// Opens the login window on the settings files in Settings with the language table, as the windowed front end
    /// does, and waits until it is on screen.
    void OpenOnSettings(const std::filesystem::path& Settings)
    {
        LoadLoaderSettings(Settings);
        LanguageTable = std::make_unique<TLanguage>();
        Window = std::make_unique<TForm_Orb_Loader>(Provider, ProgressRunner, Runner);
        Updater.LoginWindow = Window.get();
        Window->Start();
        Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }
};

} // namespace orb::test
