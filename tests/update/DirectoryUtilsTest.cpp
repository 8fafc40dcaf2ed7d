#include "update/DirectoryUtils.h"

#include "UpdateTestUtil.h"
#include "net/HTTPDataProvider.h"
#include "support/TestData.h"
#include "update/DownloadWriter.h"
#include "update/IndexTime.h"
#include "update/UpdateErrors.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace orb;
using orb::test::GetTime;
using orb::test::ReadBytes;
using orb::test::SetTime;
using orb::test::TempDir;
using orb::test::WriteBytes;

TEST(IndexTime, ParsesFourteenDigitsAndIgnoresTheRest)
{
    EXPECT_EQ(ParseIndexTime("20240229235958"), (TIndexTime{2024, 2, 29, 23, 59, 58}));
    EXPECT_EQ(ParseIndexTime("19991231000000extra"), (TIndexTime{1999, 12, 31, 0, 0, 0}));
    EXPECT_EQ(FormatIndexTime({2024, 2, 9, 3, 4, 5}), "20240209030405");
}

TEST(IndexTime, RejectsMalformedOrImpossibleStamps)
{
    for (std::string text :
         {"", "2024010112000", "2024a101120000", "20230229120000", "20241301000000", "20240100000000", "20240101240000",
          "20240101126000", "20240101120060", "20240431000000", " 2024010112000"})
    {
        try
        {
            ParseIndexTime(text);
            ADD_FAILURE() << "accepted " << text;
        }
        catch (const EConvertError& e)
        {
            EXPECT_EQ(e.Message, "Wrong date: \"" + text + "\"");
        }
    }
}

TEST(IndexTime, DosRoundingDropsOddSecondsOnly)
{
    EXPECT_EQ(RoundToDosTime({2024, 1, 1, 0, 0, 59}).Second, 58);
    EXPECT_EQ(RoundToDosTime({2024, 1, 1, 0, 0, 58}).Second, 58);
    EXPECT_EQ(RoundToDosTime({2024, 1, 1, 0, 0, 1}).Second, 0);
}

TEST(IndexTime, FileTimesRoundTripAsLocalTimeToTheSecond)
{
    TempDir dir;
    WriteBytes(dir / "f", "x");
    for (TIndexTime t :
         {TIndexTime{2024, 7, 1, 12, 30, 45}, TIndexTime{2024, 1, 15, 0, 0, 1}, TIndexTime{1999, 12, 31, 0, 0, 0}})
    {
        SetTime(dir / "f", t);
        EXPECT_EQ(GetTime(dir / "f"), t);
    }
    TIndexTime none;
    EXPECT_FALSE(TryGetLocalFileTime(dir / "missing", none));
}

TEST(SegmentName, RefusesEveryNameThatLeavesItsDirectory)
{
    for (std::string name :
         {std::string(), std::string("."), std::string(".."), std::string("a/b"), std::string("x.orb-part"),
          std::string("a\\b"), std::string("/etc"), std::string("\\x"), std::string("a\0b", 3), std::string("../x")})
    {
        try
        {
            CheckSegmentName(name, "bin\\" + name);
            ADD_FAILURE() << "accepted " << name;
        }
        catch (const EUnsafeName& e)
        {
            EXPECT_EQ(e.Message, "Unsafe name in the update index: \"bin\\" + name + "\"");
        }
    }
    for (std::string name : {"app.exe", "...", "..gz", ".hidden", "a b", "Ünïcode.txt"})
        EXPECT_NO_THROW(CheckSegmentName(name, name)) << name;
}

TEST(CopyDirectory, CopiesTheTreeKeepingTimesAndReplacingFiles)
{
    TempDir dir;
    TIndexTime stamp{2021, 3, 4, 5, 6, 7};
    WriteBytes(dir / "src" / "a.txt", "alpha");
    WriteBytes(dir / "src" / "sub" / "deep" / "b.bin", std::string(100000, '\x01'));
    SetTime(dir / "src" / "a.txt", stamp);
    SetTime(dir / "src" / "sub" / "deep" / "b.bin", stamp);
    WriteBytes(dir / "dst" / "a.txt", "old content that is longer");

    CopyDirectory(dir / "src", dir / "dst");

    EXPECT_EQ(ReadBytes(dir / "dst" / "a.txt"), "alpha");
    EXPECT_EQ(ReadBytes(dir / "dst" / "sub" / "deep" / "b.bin"), std::string(100000, '\x01'));
    EXPECT_EQ(GetTime(dir / "dst" / "a.txt"), stamp);
    EXPECT_EQ(GetTime(dir / "dst" / "sub" / "deep" / "b.bin"), stamp);
}

TEST(CopyDirectory, LinksAreSkippedAndLinksInTheTargetAreReplacedNotWrittenThrough)
{
    TempDir dir;
    WriteBytes(dir / "outside" / "secret.txt", "outside");
    WriteBytes(dir / "outside" / "a.txt", "outside a");
    WriteBytes(dir / "src" / "a.txt", "alpha");
    WriteBytes(dir / "src" / "sub" / "b.txt", "beta");
    fs::create_symlink(dir / "outside" / "secret.txt", dir / "src" / "file-link");
    fs::create_directory_symlink(dir / "outside", dir / "src" / "dir-link");
    fs::create_symlink("a.txt", dir / "src" / "relative-link");
    // The target holds links where the copies go: a file link, and a link in place of a directory.
    fs::create_directories(dir / "dst");
    fs::create_symlink(dir / "outside" / "a.txt", dir / "dst" / "a.txt");
    fs::create_directory_symlink(dir / "outside", dir / "dst" / "sub");

    CopyDirectory(dir / "src", dir / "dst");

    for (const char* name : {"file-link", "dir-link", "relative-link"})
        EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dst" / name))) << name;
    EXPECT_FALSE(fs::is_symlink(dir / "dst" / "a.txt"));
    EXPECT_EQ(ReadBytes(dir / "dst" / "a.txt"), "alpha");
    EXPECT_FALSE(fs::is_symlink(dir / "dst" / "sub"));
    EXPECT_EQ(ReadBytes(dir / "dst" / "sub" / "b.txt"), "beta");
    EXPECT_EQ(ReadBytes(dir / "outside" / "a.txt"), "outside a");
    EXPECT_FALSE(fs::exists(dir / "outside" / "b.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "outside"), fs::directory_iterator()), 2);

    // A link in place of the whole target directory is replaced as well.
    fs::remove_all(dir / "dst");
    fs::create_directory_symlink(dir / "outside", dir / "dst");
    CopyDirectory(dir / "src", dir / "dst");
    EXPECT_FALSE(fs::is_symlink(dir / "dst"));
    EXPECT_EQ(ReadBytes(dir / "dst" / "a.txt"), "alpha");
    EXPECT_EQ(ReadBytes(dir / "outside" / "a.txt"), "outside a");
}

TEST(CopyDirectory, MissingSourceIsReportedByName)
{
    TempDir dir;
    WriteBytes(dir / "file", "x");
    for (auto source : {dir / "missing", dir / "file"})
    {
        try
        {
            CopyDirectory(source, dir / "dst");
            ADD_FAILURE() << "no error for " << source;
        }
        catch (const Exception& e)
        {
            EXPECT_EQ(e.Message, "Directory " + source.string() + " does not exist");
        }
    }
}

TEST(DeleteDirectory, RemovesTheTreeButNeverWhatLinksPointTo)
{
    TempDir dir;
    WriteBytes(dir / "keep" / "precious.txt", "keep me");
    WriteBytes(dir / "victim" / "a.txt", "a");
    WriteBytes(dir / "victim" / "sub" / "b.txt", "b");
    fs::create_directory_symlink(dir / "keep", dir / "victim" / "sub" / "dirlink");
    fs::create_symlink(dir / "keep" / "precious.txt", dir / "victim" / "filelink");
    fs::create_symlink(dir / "nowhere", dir / "victim" / "dangling");

    DeleteDirectory(dir / "victim");

    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "victim")));
    EXPECT_EQ(ReadBytes(dir / "keep" / "precious.txt"), "keep me");
}

TEST(DeleteDirectory, ALinkInPlaceOfTheDirectoryIsRemovedAlone)
{
    TempDir dir;
    WriteBytes(dir / "keep" / "precious.txt", "keep me");
    fs::create_directory_symlink(dir / "keep", dir / "APP#LINK");
    DeleteDirectory(dir / "APP#LINK");
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "APP#LINK")));
    EXPECT_EQ(ReadBytes(dir / "keep" / "precious.txt"), "keep me");
}

TEST(DeleteDirectory, MissingDirectoryIsReportedByName)
{
    TempDir dir;
    try
    {
        DeleteDirectory(dir / "missing");
        FAIL() << "no error";
    }
    catch (const Exception& e)
    {
        EXPECT_EQ(e.Message, "Directory " + (dir / "missing").string() + " does not exist");
    }
}

TEST(SetDirectoryTime, RoundsOddSecondsDown)
{
    TempDir dir;
    fs::create_directory(dir / "d");
    SetDirectoryTime(dir / "d", {2022, 6, 30, 23, 59, 59});
    EXPECT_EQ(GetTime(dir / "d"), (TIndexTime{2022, 6, 30, 23, 59, 58}));
    SetDirectoryTime(dir / "d", {2022, 6, 30, 10, 0, 4});
    EXPECT_EQ(GetTime(dir / "d"), (TIndexTime{2022, 6, 30, 10, 0, 4}));
    EXPECT_THROW(SetDirectoryTime(dir / "missing", {2022, 1, 1, 0, 0, 0}), EOSError);
}

TEST(CopyFileReplacing, ReplacesTheTargetAndLeavesNoTemporaryFile)
{
    TempDir dir;
    TIndexTime stamp{2020, 2, 2, 2, 2, 2};
    WriteBytes(dir / "a" / "src.bin", "new");
    SetTime(dir / "a" / "src.bin", stamp);
    WriteBytes(dir / "b" / "dst.bin", "old");
    CopyFileReplacing(dir / "a" / "src.bin", dir / "b" / "dst.bin");
    EXPECT_EQ(ReadBytes(dir / "b" / "dst.bin"), "new");
    EXPECT_EQ(GetTime(dir / "b" / "dst.bin"), stamp);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "b"), fs::directory_iterator()), 1);
    EXPECT_EQ(TemporaryNameBeside(dir / "b" / "dst.bin"), dir / "b" / "dst.bin.orb-part");
    EXPECT_THROW(CopyFileReplacing(dir / "a" / "missing", dir / "b" / "dst.bin"), EOSError);
    EXPECT_EQ(ReadBytes(dir / "b" / "dst.bin"), "new");
}

TEST(CopyFileReplacing, PlantedLinksAreReplacedOrRefusedNeverWrittenThrough)
{
    struct TCase
    {
        std::string What;
        std::string LinkName; ///< below dst/, pointing at outside.txt
        std::string Source;   ///< below src/
        bool Refused;
    };
    const TCase cases[] = {
        {"link at the temporary name", "f.bin.orb-part", "f.bin", false},
        {"link at the target", "f.bin", "f.bin", false},
        {"dangling link at the temporary name", "f.bin.orb-part", "f.bin", false},
        {"link as the source", "", "link", true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        TempDir dir;
        TIndexTime stamp{2020, 2, 2, 2, 2, 2};
        WriteBytes(dir / "outside.txt", "outside");
        SetTime(dir / "outside.txt", {2019, 1, 1, 0, 0, 0});
        WriteBytes(dir / "src" / "f.bin", "new");
        SetTime(dir / "src" / "f.bin", stamp);
        fs::create_symlink(dir / "outside.txt", dir / "src" / "link");
        fs::create_directories(dir / "dst");
        if (!c.LinkName.empty())
            fs::create_symlink(c.What.find("dangling") == 0 ? dir / "missing" : dir / "outside.txt",
                               dir / "dst" / c.LinkName);
        if (c.Refused)
        {
            EXPECT_THROW(CopyFileReplacing(dir / "src" / c.Source, dir / "dst" / "f.bin"), EOSError);
            EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "dst" / "f.bin")));
        }
        else
        {
            CopyFileReplacing(dir / "src" / c.Source, dir / "dst" / "f.bin");
            EXPECT_FALSE(fs::is_symlink(dir / "dst" / "f.bin"));
            EXPECT_EQ(ReadBytes(dir / "dst" / "f.bin"), "new");
            EXPECT_EQ(GetTime(dir / "dst" / "f.bin"), stamp);
            EXPECT_EQ(std::distance(fs::directory_iterator(dir / "dst"), fs::directory_iterator()), 1);
        }
        EXPECT_FALSE(fs::exists(dir / "missing"));
        EXPECT_EQ(ReadBytes(dir / "outside.txt"), "outside");
        EXPECT_EQ(GetTime(dir / "outside.txt"), (TIndexTime{2019, 1, 1, 0, 0, 0}));
    }
}

TEST(DownloadWriter, PlantedLinksAtTheTemporaryNameOrTheTargetAreReplacedNotWrittenThrough)
{
    for (std::string planted : {"f.bin.orb-part", "f.bin"})
    {
        SCOPED_TRACE(planted);
        TempDir dir;
        WriteBytes(dir / "outside.txt", "outside");
        fs::create_directories(dir / "install");
        fs::create_symlink(dir / "outside.txt", dir / "install" / planted);
        {
            TDownloadWriter writer(dir / "install" / "f.bin", false);
            writer.Write("downloaded");
            writer.Finish();
        }
        SetLocalFileTime(dir / "install" / "f.bin", {2024, 1, 31, 12, 0, 2});
        EXPECT_FALSE(fs::is_symlink(dir / "install" / "f.bin"));
        EXPECT_EQ(ReadBytes(dir / "install" / "f.bin"), "downloaded");
        EXPECT_EQ(ReadBytes(dir / "outside.txt"), "outside");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "install"), fs::directory_iterator()), 1);
    }
}

TEST(SetLocalFileTime, RefusesALinkAndLeavesTheTimeOfWhatItPointsTo)
{
    TempDir dir;
    WriteBytes(dir / "outside.txt", "outside");
    SetTime(dir / "outside.txt", {2019, 1, 1, 0, 0, 0});
    fs::create_symlink(dir / "outside.txt", dir / "link");
    try
    {
        SetLocalFileTime(dir / "link", {2024, 1, 31, 12, 0, 2});
        FAIL() << "the time was set through the link";
    }
    catch (const EOSError& e)
    {
        EXPECT_EQ(e.Message, "Refused to set the time through a symbolic link\r\nPath: " + (dir / "link").string());
    }
    EXPECT_EQ(GetTime(dir / "outside.txt"), (TIndexTime{2019, 1, 1, 0, 0, 0}));
}

TEST(IndexTime, FileTimesFollowDaylightSavingChangesOfTheTimeZone)
{
    const char* saved = std::getenv("TZ");
    std::string savedValue = saved ? saved : "";
    TempDir dir;
    WriteBytes(dir / "f", "x");
    for (std::string zone : {"Europe/Berlin", "America/New_York", "Asia/Kolkata", "UTC"})
    {
        ::setenv("TZ", zone.c_str(), 1);
        ::tzset();
        // Every quarter hour and odd minute across the spring and autumn changes of 2024, as the system converts it.
        for (std::time_t t : {1711846800L, 1730595600L, 1710054000L, 1730613600L})
        {
            for (std::time_t step = -7200; step <= 7200; step += 377)
            {
                std::time_t moment = t + step;
                fs::last_write_time(dir / "f",
                                    std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(moment)));
                std::tm tm{};
                localtime_r(&moment, &tm);
                TIndexTime expected{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
                EXPECT_EQ(GetTime(dir / "f"), expected) << zone << " " << moment;
            }
        }
    }
    if (saved)
        ::setenv("TZ", savedValue.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(TDownloadWriter, GunzipsPieceByPieceAndNamesTheFileWhoseDataIsBad)
{
    const std::string one = test::Compress("first member, ", true);
    const std::string two = test::Compress(std::string(200000, 'z'), true);
    struct TCase
    {
        const char* Name;
        std::string Body;
        std::size_t Piece;   ///< bytes handed to Write at a time
        std::string Content; ///< the file written, when the body is good
        std::string Error;   ///< the failure, when it is not
    };
    const TCase cases[] = {
        {"one member at once", one, one.size(), "first member, ", ""},
        {"two members byte by byte", one + two, 1, "first member, " + std::string(200000, 'z'), ""},
        {"no gzip data", "this is not gzip data", 7, "", "Cannot unpack f.txt: incorrect header check"},
        {"cut short", two.substr(0, two.size() - 3), 4096, "", "Cannot unpack f.txt: the gzip data ends too early"},
        {"empty", "", 1, "", "Cannot unpack f.txt: the gzip data ends too early"},
        {"rubbish after a member", one + "rubbish", 5, "", "Cannot unpack f.txt: incorrect header check"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        TempDir dir;
        try
        {
            TDownloadWriter writer(dir / "f.txt", true);
            for (std::size_t at = 0; at < c.Body.size(); at += c.Piece)
                writer.Write(std::string_view(c.Body).substr(at, c.Piece));
            writer.Finish();
            EXPECT_EQ(c.Error, "") << "no failure";
            EXPECT_EQ(ReadBytes(dir / "f.txt"), c.Content);
        }
        catch (const EDecompressionError& e)
        {
            EXPECT_EQ(e.Message, c.Error);
            // Nothing is left behind: neither the target nor the temporary file.
            EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 0);
        }
    }
}
