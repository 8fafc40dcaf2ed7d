#include "launcher/ExeVersion.h"

#include "base/Exceptions.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

TEST(TExeVersion, VersionTextJoinsTheFourNumbers)
{
    EXPECT_EQ(orb::TExeVersion(4, 7, 0, 12).VersionText(), "4.7.0.12");
    EXPECT_EQ(orb::TExeVersion(65535, 0, 65535, 1).VersionText(), "65535.0.65535.1");
}

TEST(TExeVersion, RunningLauncherCarriesTheProjectVersion)
{
    std::string project = ORB_PROJECT_VERSION;
    // The project version may have fewer than four numbers; the missing ones are 0.
    while (std::count(project.begin(), project.end(), '.') < 3)
        project += ".0";
    EXPECT_EQ(orb::ExeVersion.VersionText(), project);
}

TEST(TExeVersion, ExecutablesWithoutVersionResourceRaiseOSError)
{
    EXPECT_THROW(orb::TExeVersion(orb::platform::ExecutablePath()), orb::EOSError);
}
