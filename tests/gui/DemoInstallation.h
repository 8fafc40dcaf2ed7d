#pragma once

#include "support/Servers.h"
#include "support/TempDir.h"
#include "support/TestData.h"

#include <filesystem>
#include <memory>
#include <string>

namespace orb::test
{

/// The demo installation in a temporary directory: the published update tree, the demo server serving it, the
/// launcher's working directory made from demo/, an application-data folder and a file for the demo client's report.
class TDemoInstallation
{
public:
    TDemoInstallation() = default;
    ~TDemoInstallation();
    TDemoInstallation(const TDemoInstallation&) = delete;
    TDemoInstallation& operator=(const TDemoInstallation&) = delete;

    /// Publishes the demo tree, starts the demo server, makes the working directory and enters it, as the front end
    /// runs in it; a step that fails fails the test (check HasFatalFailure()).
    void InstallDemo();
    /// Returns to the directory the test ran in before InstallDemo.
    void LeaveWork();

    /// The launcher's working directory.
    std::filesystem::path Work() const { return Dir / "launcher"; }
    /// Where the started demo client writes what it was given.
    std::filesystem::path ClientOutput() const { return Dir / "client.txt"; }

    TempDir Dir;                           ///< everything of the installation
    std::unique_ptr<TChildProcess> Server; ///< the demo server
    std::string Port;                      ///< the demo server's port
    TScopedEnv AppData{"XDG_DATA_HOME", (Dir / "appdata").string()};
    TScopedEnv Output{"ORB_DEMO_CLIENT_OUTPUT", (Dir / "client.txt").string()};

private:
    std::filesystem::path FOldDirectory;
};

} // namespace orb::test
