#include "platform/SafeFiles.h"

#include "PlatformTestUtil.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using orb::test::ReadBytes;
using orb::test::WriteBytes;

namespace
{

struct TCloser
{
    void operator()(std::FILE* F) const { std::fclose(F); }
};
using TFile = std::unique_ptr<std::FILE, TCloser>;

} // namespace

TEST(CreateNewFile, CreatesAFreshFileAndRefusesAnythingAlreadyAtTheName)
{
    orb::test::TempDir dir;
    WriteBytes(dir / "outside.txt", "outside");
    WriteBytes(dir / "existing", "old");
    fs::create_directory(dir / "directory");
    std::vector<const char*> names = {"existing", "directory"};
    if (orb::test::MakeSymlink(dir / "outside.txt", dir / "link") &&
        orb::test::MakeSymlink(dir / "missing", dir / "dangling"))
        names.insert(names.end(), {"link", "dangling"});
    for (const char* name : names)
    {
        std::error_code ec;
        TFile f(orb::platform::CreateNewFile(dir / name, ec));
        EXPECT_FALSE(f) << name;
        EXPECT_EQ(ec, std::errc::file_exists) << name;
    }
    EXPECT_EQ(ReadBytes(dir / "outside.txt"), "outside");
    EXPECT_EQ(ReadBytes(dir / "existing"), "old");
    EXPECT_FALSE(fs::exists(dir / "missing"));

    std::error_code ec;
    TFile f(orb::platform::CreateNewFile(dir / "new", ec));
    ASSERT_TRUE(f) << ec.message();
    std::fputs("fresh", f.get());
    f.reset();
    EXPECT_EQ(ReadBytes(dir / "new"), "fresh");
    EXPECT_FALSE(orb::platform::CreateNewFile(dir / "nowhere" / "new", ec));
    EXPECT_EQ(ec, std::errc::no_such_file_or_directory);
}

TEST(OpenRegularFile, ReadsFilesAndRefusesLinksAndAnythingElse)
{
    orb::test::TempDir dir;
    WriteBytes(dir / "file", "content");
    fs::create_directory(dir / "directory");
    struct TCase
    {
        const char* Name;
        std::errc Error;
    };
    std::vector<TCase> cases = {{"directory", std::errc::invalid_argument},
                                {"missing", std::errc::no_such_file_or_directory}};
    if (orb::test::MakeSymlink(dir / "file", dir / "link"))
        cases.push_back({"link", std::errc::too_many_symbolic_link_levels});
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    cases.push_back({"fifo", std::errc::invalid_argument});
#endif
    for (const auto& c : cases)
    {
        std::error_code ec;
        TFile f(orb::platform::OpenRegularFile(dir / c.Name, ec));
        EXPECT_FALSE(f) << c.Name;
        EXPECT_EQ(ec, c.Error) << c.Name << ": " << ec.message();
    }
    std::error_code ec;
    TFile f(orb::platform::OpenRegularFile(dir / "file", ec));
    ASSERT_TRUE(f) << ec.message();
    char buffer[16] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, f.get()), 7u);
    EXPECT_STREQ(buffer, "content");
}
