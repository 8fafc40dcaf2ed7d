#include "MakeIndex.h"

#include "UpdateTestUtil.h"
#include "net/StreamInflater.h"
#include "update/IndexTime.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace orb;
using namespace orb::test;
using orb::tools::TMakeIndexOptions;

namespace
{

std::string Gunzip(const std::string& Data)
{
    std::string out;
    TStreamInflater inflater(TInflateFormat::Gzip, /*Members=*/false, {"", "damaged", "cut short"});
    inflater.Feed(Data.data(), Data.size(), [&](const char* Piece, size_t Size) { out.append(Piece, Size); });
    inflater.Finish();
    return out;
}

TMakeIndexOptions OptionsFor(const fs::path& Root)
{
    TMakeIndexOptions options;
    options.Root = Root;
    return options;
}

std::string MakeIndexText(const TMakeIndexOptions& Options)
{
    orb::tools::MakeIndex(Options);
    return ReadBytes(Options.Root / "index.xml");
}

} // namespace

TEST(MakeIndex, ListsTheTreeWithSizesAndRoundedLocalTimesAndGzipsMatchingFiles)
{
    TempDir dir;
    WriteBytes(dir / "bin" / "app.exe", "executable");
    WriteBytes(dir / "bin" / "lang" / "de.ini", std::string(5000, 'd'));
    WriteBytes(dir / "empty.dat", "");
    WriteBytes(dir / "skip.tmp", "left out");
    SetLocalFileTime(dir / "bin" / "app.exe", {2024, 1, 31, 12, 0, 3});
    SetLocalFileTime(dir / "bin" / "lang" / "de.ini", {2023, 5, 6, 7, 8, 10});

    TMakeIndexOptions options;
    options.Root = dir.Path();
    options.GzipPatterns = {"*.ini"};
    options.ExcludePatterns = {"*.tmp"};
    std::string first = MakeIndexText(options);

    auto root = xml::LoadXMLNodeFromString(first);
    EXPECT_EQ(root->NodeName(), "update");
    auto bin = root->ChildNodes()->Get(0);
    EXPECT_EQ(bin->Attributes("name"), "bin");
    auto app = bin->ChildNodes()->Get(0);
    EXPECT_EQ(app->Attributes("name"), "app.exe");
    EXPECT_EQ(app->Attributes("size"), "10");
    EXPECT_EQ(app->Attributes("modified"), "20240131120002");
    auto ini = bin->ChildNodes()->Get(1)->ChildNodes()->Get(0);
    EXPECT_EQ(ini->Attributes("name"), "de.ini.gz");
    EXPECT_EQ(ini->Attributes("modified"), "20230506070810");
    EXPECT_EQ(ini->Attributes("size"), std::to_string(fs::file_size(dir / "bin" / "lang" / "de.ini.gz")));
    EXPECT_EQ(Gunzip(ReadBytes(dir / "bin" / "lang" / "de.ini.gz")), std::string(5000, 'd'));
    auto empty = root->ChildNodes()->Get(1);
    EXPECT_EQ(empty->Attributes("name"), "empty.dat.gz"); // the launcher does not download empty files
    EXPECT_EQ(root->ChildNodes()->Count(), 2);

    // A second run over an unchanged tree gives the same index, so the same installation directory.
    EXPECT_EQ(MakeIndexText(options), first);
}

TEST(MakeIndex, RefusesNamesTheLauncherWouldRefuseOrMistake)
{
    struct TCase
    {
        std::string File;
        std::string Message;
    };
    const TCase cases[] = {
        {"back\\slash", "Cannot publish \"back\\slash\": the launcher refuses this name"},
        {"sub/x.GZ", "Cannot publish \"sub\\x.GZ\": the launcher treats \".gz\" in other letter cases"},
        {"..gz", "Cannot publish \"..gz\": the launcher refuses this name"},
        {"index.xml.gz", "Cannot publish \"index.xml.gz\": the launcher keeps its own index.xml"},
        {"tab\tname", "Cannot publish \"tab\tname\": the name contains a control character"},
        {"bad\xff.bin", "Cannot publish \"bad\xff.bin\": the name is not valid UTF-8"},
    };
    for (const auto& c : cases)
    {
        TempDir dir;
        WriteBytes(dir / c.File, "content");
        try
        {
            orb::tools::MakeIndex(OptionsFor(dir.Path()));
            ADD_FAILURE() << "published " << c.File;
        }
        catch (const Exception& e)
        {
            EXPECT_EQ(e.Message.substr(0, c.Message.size()), c.Message);
        }
        EXPECT_FALSE(fs::exists(dir / "index.xml"));
    }

    TempDir clash;
    WriteBytes(clash / "a", "plain");
    WriteBytes(clash / "a.gz", "stale");
    EXPECT_THROW(orb::tools::MakeIndex(OptionsFor(clash.Path())), Exception);
}

TEST(MakeIndex, PatternsMatchWithStarsAndQuestionMarks)
{
    struct TCase
    {
        std::string Pattern, Name;
        bool Match;
    };
    const TCase cases[] = {{"*.ini", "de.ini", true}, {"*.ini", "de.ini.bak", false},
                           {"?.txt", "a.txt", true},  {"?.txt", "ab.txt", false},
                           {"*", "", true},           {"a*b*c", "aXbYc", true},
                           {"a*b*c", "aXbY", false},  {"*.INI", "de.ini", false}};
    for (const auto& c : cases)
        EXPECT_EQ(orb::tools::MatchPattern(c.Pattern, c.Name), c.Match) << c.Pattern << " " << c.Name;
}

namespace
{

/// Runs the orb-make-index program with Arguments in Dir; its output, and the exit code in ExitCode.
std::string RunMakeIndex(const std::string& Arguments, int& ExitCode, const fs::path& Dir)
{
    const std::string command =
        "cd '" + Dir.string() + "' && " + std::string(ORB_MAKE_INDEX) + " " + Arguments + " >out.txt 2>&1";
    const int status = std::system(command.c_str());
    ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return ReadBytes(Dir / "out.txt");
}

} // namespace

TEST(MakeIndex, KeygenSignAndSha256PublishAnIndexTheLauncherCanVerify)
{
    TempDir dir;
    WriteBytes(dir / "tree" / "bin" / "app.exe", "executable");
    WriteBytes(dir / "tree" / "lang.ini", std::string(5000, 'l'));
    int code = 0;

    // The key: a private file for the broker and the element for the installation's settings.
    const std::string element = RunMakeIndex("--keygen '" + (dir / "broker-2026.pem").string() + "'", code, dir.Path());
    ASSERT_EQ(code, 0) << element;
    EXPECT_EQ(fs::status(dir / "broker-2026.pem").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    auto keys = xml::LoadXMLNodeFromString(element);
    ASSERT_EQ(keys->NodeName(), "update_keys");
    auto item = keys->ChildNodes()->Get(0);
    EXPECT_EQ(item->Attributes("name"), "broker-2026");
    const TUpdateKey key = ParseUpdateKey(item->Attributes("name"), item->Attributes("value"));
    // A second keygen onto the same file would lose the broker's key.
    const std::string again = RunMakeIndex("--keygen '" + (dir / "broker-2026.pem").string() + "'", code, dir.Path());
    EXPECT_EQ(code, 1);
    EXPECT_NE(again.find("exists already"), std::string::npos) << again;

    // --sha256 alone: hashes of the served bytes, no signature and no serial.
    RunMakeIndex("--sha256 --gzip '*.ini' '" + (dir / "tree").string() + "'", code, dir.Path());
    ASSERT_EQ(code, 0);
    auto plain = xml::LoadXMLNodeFromFile(dir / "tree" / "index.xml");
    EXPECT_FALSE(plain->HasAttribute("serial"));
    EXPECT_FALSE(fs::exists(dir / "tree" / "index.xml.sig"));
    EXPECT_EQ(plain->ChildNodes()->Get(0)->ChildNodes()->Get(0)->Attributes("sha256"), Sha256Hex("executable"));
    EXPECT_EQ(plain->ChildNodes()->Get(1)->Attributes("name"), "lang.ini.gz");
    EXPECT_EQ(plain->ChildNodes()->Get(1)->Attributes("sha256"), FileSha256(dir / "tree" / "lang.ini.gz"));

    // --sign: the signature covers the exact bytes of the index file; serial and expiry on the root.
    const std::string signedOut = RunMakeIndex("--gzip '*.ini' --sign '" + (dir / "broker-2026.pem").string() +
                                                   "' --serial 42 --expires 30 '" + (dir / "tree").string() + "'",
                                               code, dir.Path());
    ASSERT_EQ(code, 0) << signedOut;
    const std::string bytes = ReadBytes(dir / "tree" / "index.xml");
    const std::string signatureFile = ReadBytes(dir / "tree" / "index.xml.sig");
    EXPECT_EQ(signatureFile.back(), '\n');
    EXPECT_TRUE(VerifySignature(bytes, ParseIndexSignature(signatureFile), key.PublicKey));
    EXPECT_FALSE(VerifySignature(bytes + " ", ParseIndexSignature(signatureFile), key.PublicKey));
    auto root = xml::LoadXMLNodeFromString(bytes);
    EXPECT_EQ(root->Attributes("serial"), "42");
    const TIndexTime expires = ParseIndexExpires(root->Attributes("expires"));
    const TIndexTime in29 = UtcNow(29 * 86400), in31 = UtcNow(31 * 86400);
    EXPECT_TRUE(FormatIndexTime(in29) < FormatIndexTime(expires) && FormatIndexTime(expires) < FormatIndexTime(in31));
    EXPECT_EQ(root->ChildNodes()->Get(0)->ChildNodes()->Get(0)->Attributes("sha256"), Sha256Hex("executable"));
    for (const char* served : {"index.xml", "index.xml.sig"})
        EXPECT_NE(fs::status(dir / "tree" / served).permissions() & fs::perms::others_read, fs::perms::none);

    // Without --serial the serial is the publishing time.
    const auto before =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    RunMakeIndex("--gzip '*.ini' --sign '" + (dir / "broker-2026.pem").string() + "' '" + (dir / "tree").string() + "'",
                 code, dir.Path());
    ASSERT_EQ(code, 0);
    const int64_t serial = ParseIndexSerial(xml::LoadXMLNodeFromFile(dir / "tree" / "index.xml")->Attributes("serial"));
    EXPECT_GE(serial, before);
    // The signature of the earlier run is not published as a file of the tree.
    EXPECT_EQ(ReadBytes(dir / "tree" / "index.xml").find("index.xml.sig"), std::string::npos);
    EXPECT_LE(serial, before + 60);

    // Misuse stops before anything is written.
    struct TCase
    {
        std::string Arguments;
        int Code;
        std::string Output;
    };
    WriteBytes(dir / "not-a-key.pem", "hello");
    const TCase cases[] = {
        {"--serial 5 tree", 2, "--serial and --expires belong to a signed index"},
        {"--sign broker-2026.pem --serial -5 tree", 2, "--serial needs a number"},
        {"--sign broker-2026.pem --expires 0 tree", 1, "at least one day"},
        {"--sign broker-2026.pem --expires x tree", 2, "--expires needs a number"},
        {"--sign not-a-key.pem tree", 1, "not an Ed25519 private key"},
        {"--sign missing.pem tree", 1, "Cannot read missing.pem"},
    };
    const std::string published = ReadBytes(dir / "tree" / "index.xml");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Arguments);
        const std::string out = RunMakeIndex(c.Arguments, code, dir.Path());
        EXPECT_EQ(code, c.Code);
        EXPECT_NE(out.find(c.Output), std::string::npos) << out;
    }
    EXPECT_EQ(ReadBytes(dir / "tree" / "index.xml"), published);
}
