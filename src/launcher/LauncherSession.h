#pragma once

#include "launcher/LoginFlow.h"
#include "net/ProgressRunner.h"
#include "net/XMLDataProvider.h"
#include "update/Unit_Updater.h"

#include <filesystem>

namespace orb
{

/// One run of the launcher as every front end starts it: the three settings files, the language table, the
/// report's application information, the process-wide user agent and certificate authority, the shared provider
/// with its read time-out and compression, the runners and the login flow. The window, the console front end and
/// the windowed tests build one and bind to it; none wires its own start-up.
class TLauncherSession
{
public:
    /// Read time-out of the shared provider, in milliseconds.
    static constexpr int SharedReadTimeout = 120000;

    /// Loads the settings files of Directory (the working directory when empty) and the language of their choice
    /// (unless LoadLanguage is false: windows then keep their design texts), and configures the provider. Raises what
    /// loading raises; the front end then ends after telling the user.
    explicit TLauncherSession(const std::filesystem::path& Directory = {}, bool LoadLanguage = true);
    /// Frees the language table it loaded.
    ~TLauncherSession();
    TLauncherSession(const TLauncherSession&) = delete;
    TLauncherSession& operator=(const TLauncherSession&) = delete;

    /// Fills the flow from the settings (last login, saved password, lists, proxy). Raises on settings the flow cannot
    /// read; the front end reports the error and ends.
    void Start();

    /// The shared provider every configuration and index request goes through.
    TXMLDataProvider DataProvider;
    /// Runs requests behind the connection progress window.
    TProgressRunner Progress;
    /// Runs the downloads behind the update window.
    TUpdateRunner Updater;
    /// The login itself.
    TLoginFlow Flow{DataProvider, Progress, Updater};

private:
    bool FOwnsLanguage;
};

} // namespace orb
