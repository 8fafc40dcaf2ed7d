#include "DemoInstallation.h"

#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace orb::test
{

namespace fs = std::filesystem;

TDemoInstallation::~TDemoInstallation()
{
    LeaveWork();
}

void TDemoInstallation::InstallDemo()
{
    const std::string publish = "bash " + ShellQuote(SourceDir() / "tools/demo_server/publish_demo_tree.sh") + " " +
                                ShellQuote(ORB_DEMO_CLIENT) + " " + ShellQuote(ORB_MAKE_INDEX) + " " +
                                ShellQuote(Dir / "server") + " 4.7.0-15";
    ASSERT_EQ(std::system(publish.c_str()), 0) << publish;

    Server = std::make_unique<TChildProcess>(
        std::vector<std::string>{"python3", (SourceDir() / "tools/demo_server/server.py").string(), "--update-root",
                                 (Dir / "server/update").string(), "--private-root", (Dir / "server/private").string()},
        Dir / "server.log");
    std::string line;
    if (!Server->ReadLine(line, 20000) || line.rfind("PORT ", 0) != 0)
        FAIL() << "The demo server did not start: " << line << "\n" << ReadBytes(Dir / "server.log");
    Port = line.substr(5);

    fs::create_directories(Work());
    for (const char* name : {"main_loader_settings.xml", "client_loader_settings.xml", "user_loader_settings.xml"})
        WriteBytes(Work() / name,
                   StringReplaceAll(ReadBytes(SourceDir() / "demo" / name), "DEMO_SERVER", "127.0.0.1:" + Port));
    fs::copy(SourceDir() / "resource", Work() / "resource", fs::copy_options::recursive);

    FOldDirectory = fs::current_path();
    fs::current_path(Work());
}

void TDemoInstallation::LeaveWork()
{
    if (FOldDirectory.empty())
        return;
    std::error_code error;
    fs::current_path(FOldDirectory, error);
    FOldDirectory.clear();
}

} // namespace orb::test
