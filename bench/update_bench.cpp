// Update engine benchmarks, each with its baseline in the same run:
//  - BM_CacheCheckUpToDate vs BM_StatLoop: checking an index of 20,000 files that are all present and current,
//    against a loop that only calls stat on the same paths;
//  - BM_UpdateFromNginxVsCurl: 2,000 files of 64 KB downloaded from nginx on loopback (the update with its default
//    4 connections), against one curl process fetching the same URLs over one connection into files, in
//    alternating rounds (counter "ratio": the update's files per second over curl's);
//  - BM_UpdateVsCurlParallel: the same update over 4 connections against "curl --parallel --parallel-max 4"
//    (counter "ratio": curl's time over the update's);
//  - BM_UpdateThroughLatencyVsCurl: the same tree through a relay (TLatencyProxy) that answers every request
//    20 ms late, the update over 4 connections against one curl over one connection through the same relay;
//  - BM_LargeFileVsCurl: one 1 GB file, the update against "curl -o" (ratio), and the update's peak resident
//    memory above idle, measured in a forked child;
//  - BM_PeakMemoryOfTreeUpdate/4 and /16: peak resident memory above idle of the 2,000-file update over 4 and 16
//    connections, in a forked child;
//  - BM_ResumeAfterKill: five files of 100 MB; the update, in a forked child, is killed when half of the bytes are
//    on disk, then run again to its end: the bytes nginx served in the second run ("second_run_share") and in both
//    ("total_share"), as shares of the files' bytes;
//  - BM_PeakMemoryOfLargeDownload: peak resident memory of updating one 1 GB file (plain, as ".gz", and plain but
//    sent by nginx with gzip content coding) above the footprint the process had right before, measured in a
//    forked child;
//  - BM_HashedUpdateVsPlain: the same 2,000 x 64 KB update with a sha256 on every file (hashed while streaming and
//    compared) against the index without hashes, in alternating rounds (counter "hash_cost": extra time over plain);
//  - BM_HashedLargeFileVsPlain: the same for one 1 GB file;
//  - BM_ReuseByContent: an installation of 2,000 distinct files, then an index that republishes all of them under
//    new times and changes 20 (1%): how many files are downloaded, and the update's time against the first one;
//  - BM_CopyDirectory vs BM_StdCopyLoop: copying a tree of 200 files of 256 KB as the migration of an installation
//    does (exclusive temporary file, no link followed, rename), against std::filesystem::copy_file with the time set.

#include "base/TextUtils.h"
#include "base/Views.h"
#include "support/ScriptedViews.h"
#include "support/Servers.h"
#include "support/TempDir.h"
#include "update/DirectoryUtils.h"
#include "update/Installation.h"
#include "update/Unit_Updater.h"
#include "update/UpdateCache.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

std::map<std::string, double> GSeconds; // per-iteration wall time of each benchmark, for the ratios

const orb::TIndexTime Stamp{2024, 1, 31, 12, 0, 2};

std::string IndexFor(int Directories, int FilesPerDirectory, int Size)
{
    std::ostringstream xml;
    xml << "<update>";
    for (int d = 0; d < Directories; ++d)
    {
        xml << "<directory name=\"dir" << d << "\" modified=\"20240101000000\">";
        for (int f = 0; f < FilesPerDirectory; ++f)
            xml << "<file name=\"file" << f << ".bin\" size=\"" << Size << "\" modified=\"20240131120002\"/>";
        xml << "</directory>";
    }
    xml << "</update>";
    return xml.str();
}

/// 20,000 current files in 20 directories of an installation without "index.xml".
struct TCacheTree
{
    orb::test::TempDir Temp;
    std::string IndexText = IndexFor(20, 1000, 1000);
    fs::path AppDir = Temp / "app";
    std::vector<std::string> Paths;

    TCacheTree()
    {
        fs::create_directories(AppDir);
        auto root = orb::xml::LoadXMLNodeFromString(IndexText);
        fs::path dir = AppDir / ("APP#" + orb::InstallationIdentity(*root));
        for (int d = 0; d < 20; ++d)
        {
            fs::create_directories(dir / ("dir" + std::to_string(d)));
            for (int f = 0; f < 1000; ++f)
            {
                fs::path p = dir / ("dir" + std::to_string(d)) / ("file" + std::to_string(f) + ".bin");
                std::ofstream(p) << "x";
                orb::SetLocalFileTime(p, Stamp);
                Paths.push_back(p.string());
            }
        }
    }
};

TCacheTree& CacheTree()
{
    static TCacheTree tree;
    return tree;
}

void BM_CacheCheckUpToDate(benchmark::State& State)
{
    auto& tree = CacheTree();
    for (auto _ : State)
    {
        State.PauseTiming();
        auto root = orb::xml::LoadXMLNodeFromString(tree.IndexText);
        State.ResumeTiming();
        bool isNew = false;
        orb::CheckUpdateCache(root, isNew, tree.AppDir, tree.Temp / "no-old-layout");
        if (root->Attributes("total_update_size") != "0")
            State.SkipWithError("files were not up to date");
    }
}
BENCHMARK(BM_CacheCheckUpToDate)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StatLoop(benchmark::State& State)
{
    auto& tree = CacheTree();
    for (auto _ : State)
    {
        long long sum = 0;
        for (const auto& p : tree.Paths)
        {
            struct stat st
            {
            };
            if (::stat(p.c_str(), &st) == 0)
                sum += st.st_mtime;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_StatLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

/// 200 files of 256 KB in 10 directories, and a fresh folder for each copy (deleting would slow later creation).
struct TCopyTree
{
    orb::test::TempDir Dir;
    std::vector<fs::path> Files;
    int Copies = 0;
    TCopyTree()
    {
        std::string bytes(256 * 1024, 'x');
        for (int d = 0; d < 10; ++d)
        {
            for (int f = 0; f < 20; ++f)
            {
                fs::path rel = fs::path("d" + std::to_string(d)) / ("f" + std::to_string(f) + ".bin");
                orb::test::WriteBytes(Dir / "src" / rel, bytes);
                Files.push_back(rel);
            }
        }
    }
    fs::path NextTarget() { return Dir / ("copy" + std::to_string(Copies++)); }
};

TCopyTree& CopyTree()
{
    static TCopyTree tree;
    return tree;
}

void BM_CopyDirectory(benchmark::State& State)
{
    auto& tree = CopyTree();
    for (auto _ : State)
        orb::CopyDirectory(tree.Dir / "src", tree.NextTarget());
}
BENCHMARK(BM_CopyDirectory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_StdCopyLoop(benchmark::State& State)
{
    auto& tree = CopyTree();
    for (auto _ : State)
    {
        fs::path target = tree.NextTarget();
        for (const auto& rel : tree.Files)
        {
            fs::create_directories(target / rel.parent_path());
            fs::copy_file(tree.Dir / "src" / rel, target / rel);
            fs::last_write_time(target / rel, fs::last_write_time(tree.Dir / "src" / rel));
        }
    }
}
BENCHMARK(BM_StdCopyLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

/// nginx serving 2,000 files of 64 KB, published with an index.
struct TDownloadTree
{
    orb::test::TNginxServer Nginx;
    std::string Base;
    std::string IndexText = IndexFor(20, 100, 65536);
    int Round = 0;
    orb::test::TempDir Out;

    TDownloadTree()
    {
        std::mt19937 gen(7);
        std::string bytes(65536, '\0');
        for (auto& c : bytes)
            c = static_cast<char>(gen());
        for (int d = 0; d < 20; ++d)
            for (int f = 0; f < 100; ++f)
                Nginx.WriteFile("tree/dir" + std::to_string(d) + "/file" + std::to_string(f) + ".bin", bytes);
        Base = "http://127.0.0.1:" + std::to_string(Nginx.HttpPort()) + "/tree/";
    }

    /// A fresh output directory for each round: creating files right after deleting thousands is slow here.
    fs::path NextDir()
    {
        fs::path dir = Out / ("round" + std::to_string(Round++));
        fs::create_directories(dir);
        ::sync();
        return dir;
    }
};

TDownloadTree& DownloadTree()
{
    static TDownloadTree tree;
    return tree;
}

/// One update of Index from Base into a fresh directory over Connections connections; its wall time in seconds.
double TimeUpdateOf(TDownloadTree& Tree, const std::string& Index, const std::string& Base, int Connections = 4)
{
    fs::path dir = Tree.NextDir();
    auto root = orb::xml::LoadXMLNodeFromString(Index);
    bool isNew = false;
    orb::CheckUpdateCache(root, isNew, dir, dir / "no-old-layout");
    orb::test::TScriptedViews views;
    auto start = std::chrono::steady_clock::now();
    orb::TUpdateRunner runner;
    runner.Connections = Connections;
    runner.UpdateComponents(root, Base, "");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// One update of the whole tree from Base (default: nginx itself) into a fresh directory; its wall time in seconds.
double TimeUpdate(TDownloadTree& Tree, int Connections, const std::string& Base = "")
{
    return TimeUpdateOf(Tree, Tree.IndexText, Base.empty() ? Tree.Base : Base, Connections);
}

/// One curl process fetching the same 2,000 URLs from Base (default: nginx itself) into files of a fresh
/// directory; Options "" keeps one connection, "--parallel --parallel-max 4" uses four (with "-s" curl 7.88 still
/// draws its progress meter in parallel mode: "--no-progress-meter" silences it).
double TimeCurl(TDownloadTree& Tree, const std::string& Options = "", const std::string& Base = "")
{
    fs::path dir = Tree.NextDir();
    std::ofstream config(dir / "curl.conf");
    for (int d = 0; d < 20; ++d)
    {
        fs::create_directories(dir / ("dir" + std::to_string(d)));
        for (int f = 0; f < 100; ++f)
        {
            std::string rel = "dir" + std::to_string(d) + "/file" + std::to_string(f) + ".bin";
            config << "url = \"" << (Base.empty() ? Tree.Base : Base) << rel << "\"\noutput = \""
                   << (dir / rel).string() << "\"\n";
        }
    }
    config.close();
    std::string command = "curl -s " + Options + " -K '" + (dir / "curl.conf").string() + "'";
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/// Times one round of A and B, alternating which goes first from round to round; adds their times to SumA and SumB
/// and returns A's time (a negative time of either marks a failure and is returned as such).
double AlternatingRound(int Round, const std::function<double()>& A, const std::function<double()>& B, double& SumA,
                        double& SumB)
{
    double a = 0, b = 0;
    if (Round % 2 == 0)
    {
        a = A();
        b = B();
    }
    else
    {
        b = B();
        a = A();
    }
    SumA += a;
    SumB += b;
    return a < 0 || b < 0 ? -1 : a;
}

/// Rounds alternate which of the two goes first, since file creation on this disk speeds up or slows down over
/// minutes (it is slow for a while after many files were deleted).
void BM_UpdateFromNginxVsCurl(benchmark::State& State)
{
    auto& tree = DownloadTree();
    double update = 0, curl = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        const double u = AlternatingRound(
            rounds++, [&] { return TimeUpdate(tree, 4); }, [&] { return TimeCurl(tree); }, update, curl);
        if (u < 0)
            State.SkipWithError("curl failed");
        State.SetIterationTime(std::max(u, 0.0));
    }
    State.counters["update_files_per_s"] = 2000.0 * rounds / update;
    State.counters["curl_files_per_s"] = 2000.0 * rounds / curl;
    State.counters["ratio"] = curl / update;
}
BENCHMARK(BM_UpdateFromNginxVsCurl)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);

/// IndexText with a sha256 of Bytes on every file.
std::string WithHashes(const std::string& IndexText, const std::string& Bytes)
{
    return orb::StringReplaceAll(IndexText, "\"/>", "\" sha256=\"" + orb::Sha256Hex(Bytes) + "\"/>");
}

void BM_HashedUpdateVsPlain(benchmark::State& State)
{
    auto& tree = DownloadTree();
    std::string bytes = orb::test::ReadBytes(tree.Nginx.Root() / "tree/dir0/file0.bin");
    const std::string hashed = WithHashes(tree.IndexText, bytes);
    double withHash = 0, plain = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        double h = 0, p = 0;
        if (rounds % 2 == 0)
        {
            h = TimeUpdateOf(tree, hashed, tree.Base);
            p = TimeUpdateOf(tree, tree.IndexText, tree.Base);
        }
        else
        {
            p = TimeUpdateOf(tree, tree.IndexText, tree.Base);
            h = TimeUpdateOf(tree, hashed, tree.Base);
        }
        withHash += h;
        plain += p;
        ++rounds;
        State.SetIterationTime(h);
    }
    State.counters["hashed_ms"] = 1000 * withHash / rounds;
    State.counters["plain_ms"] = 1000 * plain / rounds;
    State.counters["hash_cost"] = withHash / plain - 1;
}
BENCHMARK(BM_HashedUpdateVsPlain)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(8);

/// Downloads one file of Size bytes from Base into Dir (with its sha256 when Sha256 is not empty) over Connections
/// connections; wall seconds.
double TimeOneFile(const std::string& Base, long long Size, const std::string& Sha256, const fs::path& Dir,
                   int Connections = 4)
{
    fs::create_directories(Dir);
    ::sync();
    auto root = orb::xml::LoadXMLNodeFromString(
        "<update><file name=\"big.bin\" size=\"" + std::to_string(Size) + "\" modified=\"20240131120002\"" +
        (Sha256.empty() ? "" : " sha256=\"" + Sha256 + "\"") + " need_for_update=\"true\"/></update>");
    root->SetAttribute("local_name", (Dir / "").string());
    root->SetAttribute("total_update_size", std::to_string(Size));
    orb::test::TScriptedViews views;
    auto start = std::chrono::steady_clock::now();
    orb::TUpdateRunner runner;
    runner.Connections = Connections;
    runner.UpdateComponents(root, Base, "");
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ec;
    fs::remove_all(Dir, ec);
    return seconds;
}

void BM_HashedLargeFileVsPlain(benchmark::State& State)
{
    const long long size = 1LL << 30;
    orb::test::TNginxServer nginx;
    orb::TSha256 hash;
    {
        std::ofstream out(nginx.Root() / "big.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        std::mt19937 gen(5);
        for (long long done = 0; done < size; done += static_cast<long long>(block.size()))
        {
            for (auto& c : block)
                c = static_cast<char>(gen());
            hash.Update(block.data(), block.size());
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    fs::permissions(nginx.Root() / "big.bin", fs::perms::others_read, fs::perm_options::add);
    const std::string sha256 = hash.HexDigest();
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/";
    orb::test::TempDir out;
    double withHash = 0, plain = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        const fs::path dir = out / ("round" + std::to_string(rounds));
        double h = 0, p = 0;
        if (rounds % 2 == 0)
        {
            h = TimeOneFile(base, size, sha256, dir / "h");
            p = TimeOneFile(base, size, "", dir / "p");
        }
        else
        {
            p = TimeOneFile(base, size, "", dir / "p");
            h = TimeOneFile(base, size, sha256, dir / "h");
        }
        withHash += h;
        plain += p;
        ++rounds;
        State.SetIterationTime(h);
    }
    State.counters["hashed_s"] = withHash / rounds;
    State.counters["plain_s"] = plain / rounds;
    State.counters["hash_cost"] = withHash / plain - 1;
}
BENCHMARK(BM_HashedLargeFileVsPlain)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(4);

void BM_ReuseByContent(benchmark::State& State)
{
    // 2,000 distinct files; the second version republishes every one under a new time and changes 20 of them.
    orb::test::TNginxServer nginx;
    std::string first = "<update>", second = "<update>";
    std::mt19937 gen(11);
    std::string bytes(65536, '\0');
    for (auto& c : bytes)
        c = static_cast<char>(gen());
    int changed = 0;
    for (int d = 0; d < 20; ++d)
    {
        const std::string dir = "<directory name=\"dir" + std::to_string(d) + "\" modified=\"20240101000000\">";
        first += dir;
        second += dir;
        for (int f = 0; f < 100; ++f)
        {
            const std::string rel = "dir" + std::to_string(d) + "/file" + std::to_string(f) + ".bin";
            std::memcpy(bytes.data(), rel.data(), rel.size()); // distinct content per file
            nginx.WriteFile("v1/" + rel, bytes);
            const std::string entry = "<file name=\"file" + std::to_string(f) + ".bin\" size=\"65536\" modified=\"";
            first += entry + "20240131120002\" sha256=\"" + orb::Sha256Hex(bytes) + "\"/>";
            if (f == 7)
            {
                bytes[100] = static_cast<char>(bytes[100] + 1);
                ++changed;
            }
            nginx.WriteFile("v2/" + rel, bytes);
            second += entry + "20250505050506\" sha256=\"" + orb::Sha256Hex(bytes) + "\"/>";
        }
        first += "</directory>";
        second += "</directory>";
    }
    first += "</update>";
    second += "</update>";
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/";
    orb::test::TempDir out;
    int rounds = 0;
    double firstSeconds = 0, secondSeconds = 0;
    long long downloaded = 0;
    for (auto _ : State)
    {
        const fs::path appDir = out / ("round" + std::to_string(rounds++));
        fs::create_directories(appDir);
        ::sync();
        orb::test::TScriptedViews views;
        orb::TUpdateRunner runner;
        auto start = std::chrono::steady_clock::now();
        orb::UpdateInstallation(orb::xml::LoadXMLNodeFromString(first), runner, base + "v1/", "", {}, appDir,
                                appDir / "no-old-layout", [](const fs::path&) {});
        auto middle = std::chrono::steady_clock::now();
        auto root = orb::xml::LoadXMLNodeFromString(second);
        orb::UpdateInstallation(root, runner, base + "v2/", "", {}, appDir, appDir / "no-old-layout",
                                [](const fs::path&) {});
        auto end = std::chrono::steady_clock::now();
        firstSeconds += std::chrono::duration<double>(middle - start).count();
        secondSeconds += std::chrono::duration<double>(end - middle).count();
        downloaded = std::stoll(root->Attributes("total_update_size")) / 65536;
        State.SetIterationTime(std::chrono::duration<double>(end - middle).count());
    }
    State.counters["changed_files"] = changed;
    State.counters["downloaded_files"] = static_cast<double>(downloaded);
    State.counters["first_install_ms"] = 1000 * firstSeconds / rounds;
    State.counters["reuse_update_ms"] = 1000 * secondSeconds / rounds;
}
BENCHMARK(BM_ReuseByContent)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

long StatusKilobytes(const char* Field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(Field, 0) == 0)
            return std::stol(line.substr(std::strlen(Field)));
    return -1;
}

/// Runs Update in a forked child; returns the peak resident memory above the child's footprint right before
/// Update, in MB (-1 when Update failed). Prepare runs in the child before the footprint is taken.
double PeakGrowthOfChildMB(const std::function<void()>& Prepare, const std::function<void()>& Update)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    pid_t pid = ::fork();
    if (pid == 0)
    {
        ::close(fds[0]);
        double growth = -1;
        try
        {
            orb::test::TScriptedViews views;
            Prepare();
            long idle = StatusKilobytes("VmRSS:");
            Update();
            long peak = StatusKilobytes("VmHWM:");
            growth = static_cast<double>(peak - idle) / 1024.0;
        }
        catch (const std::exception& e)
        {
            std::fprintf(stderr, "update failed: %s\n", e.what());
        }
        ssize_t written = ::write(fds[1], &growth, sizeof growth);
        (void)written;
        ::_exit(0);
    }
    ::close(fds[1]);
    double growth = -1;
    ssize_t got = ::read(fds[0], &growth, sizeof growth);
    (void)got;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return growth;
}

/// Updates one large file in a forked child over Connections connections; returns the peak resident memory above
/// the child's footprint right before the update, in MB.
double PeakGrowthMB(const std::string& Base, const std::string& Name, long long Size, const fs::path& Dir,
                    int Connections = 4)
{
    orb::xml::IXMLNodePtr root;
    return PeakGrowthOfChildMB(
        [&] {
            root =
                orb::xml::LoadXMLNodeFromString("<update><file name=\"" + Name + "\" size=\"" + std::to_string(Size) +
                                                "\" modified=\"20240131120002\" need_for_update=\"true\"/></update>");
            root->SetAttribute("local_name", (Dir / "").string());
            root->SetAttribute("total_update_size", std::to_string(Size));
        },
        [&] {
            orb::TUpdateRunner runner;
            runner.Connections = Connections;
            runner.UpdateComponents(root, Base, "");
        });
}

void BM_PeakMemoryOfLargeDownload(benchmark::State& State)
{
    const long long size = 1LL << 30;
    orb::test::TNginxOptions options;
    // coded.bin is big.bin again, compressed by nginx on the fly as gzip content coding.
    options.ServerDirectives = "    location = /coded.bin { gzip on; gzip_types *; gzip_min_length 0; }\n";
    orb::test::TNginxServer nginx(options);
    {
        // Written in pieces: the benchmark process itself should not hold the file either.
        std::ofstream out(nginx.Root() / "big.bin", std::ios::binary);
        std::string block(1 << 20, '\0');
        std::mt19937 gen(3);
        for (auto& c : block)
            c = static_cast<char>(gen() % 16); // compressible, so that the ".gz" variant stays small
        for (long long done = 0; done < size; done += static_cast<long long>(block.size()))
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    std::string gzipCommand =
        "gzip -1 -k -c '" + (nginx.Root() / "big.bin").string() + "' > '" + (nginx.Root() / "big.bin.gz").string() +
        "' && chmod a+r '" + (nginx.Root() / "big.bin.gz").string() + "' '" + (nginx.Root() / "big.bin").string() + "'";
    if (std::system(gzipCommand.c_str()) != 0)
        State.SkipWithError("gzip failed");
    std::error_code linkError;
    fs::create_hard_link(nginx.Root() / "big.bin", nginx.Root() / "coded.bin", linkError);
    if (linkError)
        State.SkipWithError("cannot link coded.bin");
    std::string probe = "curl -sI -H 'Accept-Encoding: gzip' http://127.0.0.1:" + std::to_string(nginx.HttpPort()) +
                        "/coded.bin | grep -qi '^content-encoding: *gzip'";
    if (std::system(probe.c_str()) != 0)
        State.SkipWithError("nginx does not send coded.bin with gzip content coding");
    long long gzSize = static_cast<long long>(fs::file_size(nginx.Root() / "big.bin.gz"));
    std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/";
    orb::test::TempDir out;
    double plain = 0, gz = 0, coded = 0;
    for (auto _ : State)
    {
        plain = PeakGrowthMB(base, "big.bin", size, out.Path());
        gz = PeakGrowthMB(base, "big.bin.gz", gzSize, out.Path());
        coded = PeakGrowthMB(base, "coded.bin", size, out.Path());
    }
    if (plain < 0 || gz < 0 || coded < 0)
        State.SkipWithError("the update in the child failed");
    if (fs::file_size(out.Path() / "coded.bin") != static_cast<std::uintmax_t>(size))
        State.SkipWithError("coded.bin arrived with the wrong size");
    State.counters["peak_growth_MB_plain"] = plain;
    State.counters["peak_growth_MB_gz"] = gz;
    State.counters["peak_growth_MB_coded"] = coded;
    State.counters["limit_MB"] = 64;
}
BENCHMARK(BM_PeakMemoryOfLargeDownload)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

void BM_UpdateVsCurlParallel(benchmark::State& State)
{
    auto& tree = DownloadTree();
    double update = 0, curl = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        const double u = AlternatingRound(
            rounds++, [&] { return TimeUpdate(tree, 4); },
            [&] { return TimeCurl(tree, "--no-progress-meter --parallel --parallel-max 4"); }, update, curl);
        if (u < 0)
            State.SkipWithError("curl failed");
        State.SetIterationTime(std::max(u, 0.0));
    }
    State.counters["update_files_per_s"] = 2000.0 * rounds / update;
    State.counters["curl_files_per_s"] = 2000.0 * rounds / curl;
    State.counters["ratio"] = curl / update;
}
BENCHMARK(BM_UpdateVsCurlParallel)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);

/// The same tree through a relay that answers every request 20 ms late, as a distant server does: the update over
/// four connections against one curl over one connection. A round of one connection takes 2,000 x 20 ms at least.
void BM_UpdateThroughLatencyVsCurl(benchmark::State& State)
{
    const int delayMs = 20;
    auto& tree = DownloadTree();
    orb::test::TLatencyProxy proxy(tree.Nginx.HttpPort(), delayMs);
    const std::string base = "http://127.0.0.1:" + std::to_string(proxy.Port()) + "/tree/";
    double update = 0, curl = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        const double u = AlternatingRound(
            rounds++, [&] { return TimeUpdate(tree, 4, base); }, [&] { return TimeCurl(tree, "", base); }, update,
            curl);
        if (u < 0)
            State.SkipWithError("curl failed");
        State.SetIterationTime(std::max(u, 0.0));
    }
    State.counters["delay_ms"] = delayMs;
    State.counters["update_s"] = update / rounds;
    State.counters["curl_s"] = curl / rounds;
    State.counters["ratio"] = curl / update;
}
BENCHMARK(BM_UpdateThroughLatencyVsCurl)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(2);

/// Writes Size bytes of random data (Seed) to Path, readable by nginx, in pieces.
void WriteRandomFile(const fs::path& Path, long long Size, unsigned Seed)
{
    std::ofstream out(Path, std::ios::binary);
    std::vector<std::uint64_t> block((1 << 20) / sizeof(std::uint64_t));
    std::mt19937_64 gen(Seed);
    for (long long done = 0; done < Size;)
    {
        for (auto& word : block)
            word = gen();
        const long long piece = std::min<long long>(Size - done, static_cast<long long>(block.size() * 8));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(piece));
        done += piece;
    }
    out.close();
    fs::permissions(Path, fs::perms::others_read | fs::perms::group_read, fs::perm_options::add);
}

/// One curl process downloading Address into a file of the fresh directory Dir, removed afterwards; wall seconds.
double TimeCurlOneFile(const std::string& Address, const fs::path& Dir)
{
    fs::create_directories(Dir);
    ::sync();
    const std::string command = "curl -sf -o '" + (Dir / "big.bin").string() + "' '" + Address + "'";
    auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::error_code ec;
    fs::remove_all(Dir, ec);
    return status == 0 ? seconds : -1;
}

void BM_LargeFileVsCurl(benchmark::State& State)
{
    const long long size = 1LL << 30;
    orb::test::TNginxServer nginx;
    WriteRandomFile(nginx.Root() / "big.bin", size, 13);
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/";
    orb::test::TempDir out;
    double update = 0, curl = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        const fs::path dir = out / ("round" + std::to_string(rounds));
        const double u = AlternatingRound(
            rounds, [&] { return TimeOneFile(base, size, "", dir / "u", 4); },
            [&] { return TimeCurlOneFile(base + "big.bin", dir / "c"); }, update, curl);
        ++rounds;
        if (u < 0)
            State.SkipWithError("curl failed");
        State.SetIterationTime(std::max(u, 0.0));
    }
    fs::create_directories(out / "peak");
    const double peak = PeakGrowthMB(base, "big.bin", size, out / "peak", 4);
    if (peak < 0)
        State.SkipWithError("the update in the child failed");
    State.counters["update_MB_per_s"] = 1024.0 * rounds / update;
    State.counters["curl_MB_per_s"] = 1024.0 * rounds / curl;
    State.counters["ratio"] = curl / update;
    State.counters["peak_growth_MB"] = peak;
}
BENCHMARK(BM_LargeFileVsCurl)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

/// Peak resident memory of the 2,000-file update over range(0) connections, in a forked child.
void BM_PeakMemoryOfTreeUpdate(benchmark::State& State)
{
    auto& tree = DownloadTree();
    const int connections = static_cast<int>(State.range(0));
    double peak = 0;
    for (auto _ : State)
    {
        const fs::path dir = tree.NextDir();
        orb::xml::IXMLNodePtr root;
        peak = PeakGrowthOfChildMB(
            [&] {
                root = orb::xml::LoadXMLNodeFromString(tree.IndexText);
                bool isNew = false;
                orb::CheckUpdateCache(root, isNew, dir, dir / "no-old-layout");
            },
            [&] {
                orb::TUpdateRunner runner;
                runner.Connections = connections;
                runner.UpdateComponents(root, tree.Base, "");
            });
        if (peak < 0)
            State.SkipWithError("the update in the child failed");
    }
    State.counters["connections"] = connections;
    State.counters["peak_growth_MB"] = peak;
}
BENCHMARK(BM_PeakMemoryOfTreeUpdate)->Arg(4)->Arg(16)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

/// Bytes of the regular files under Dir (temporary files of downloads in progress included).
long long BytesUnder(const fs::path& Dir)
{
    long long total = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(Dir, ec), end; !ec && it != end; it.increment(ec))
    {
        std::error_code sizeError;
        const auto size = it->is_regular_file(sizeError) ? it->file_size(sizeError) : 0;
        if (!sizeError)
            total += static_cast<long long>(size);
    }
    return total;
}

/// nginx's count of body bytes sent once it stops changing: it logs a request only when it has ended, and the
/// requests of a killed client end when nginx notices.
long long SettledBodyBytes(const orb::test::TNginxServer& Nginx)
{
    long long last = Nginx.BodyBytesSent();
    for (int i = 0; i < 50; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const long long now = Nginx.BodyBytesSent();
        if (now == last)
            break;
        last = now;
    }
    return last;
}

/// Five files of 100 MB: an update is killed when half of the bytes are on disk, then run again to its end. Large
/// files because only bytes of partly received files are at stake: with 64 KB files they are at most a few files'
/// worth, whatever the engine keeps, while here several pools' worth of 100 MB files are in flight (and a kill in
/// the middle of the third file leaves the sequential engine 50 MB to fetch again).
void BM_ResumeAfterKill(benchmark::State& State)
{
    const int files = 5;
    const long long fileSize = 100LL << 20, treeBytes = files * fileSize;
    orb::test::TNginxServer nginx;
    std::string index = "<update><directory name=\"big\" modified=\"20240101000000\">";
    fs::create_directories(nginx.Root() / "big");
    fs::permissions(nginx.Root() / "big", fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    for (int f = 0; f < files; ++f)
    {
        WriteRandomFile(nginx.Root() / "big" / ("part" + std::to_string(f) + ".bin"), fileSize, 20 + f);
        index += "<file name=\"part" + std::to_string(f) + ".bin\" size=\"" + std::to_string(fileSize) +
                 "\" modified=\"20240131120002\"/>";
    }
    index += "</directory></update>";
    const std::string base = "http://127.0.0.1:" + std::to_string(nginx.HttpPort()) + "/";
    orb::test::TempDir out;
    double firstShare = 0, secondShare = 0, killedAt = 0;
    int rounds = 0;
    for (auto _ : State)
    {
        const fs::path appDir = out / ("round" + std::to_string(rounds++));
        fs::create_directories(appDir);
        ::sync();
        const long long before = SettledBodyBytes(nginx);
        const pid_t pid = ::fork();
        if (pid == 0)
        {
            try
            {
                orb::test::TScriptedViews views;
                auto root = orb::xml::LoadXMLNodeFromString(index);
                bool isNew = false;
                orb::CheckUpdateCache(root, isNew, appDir, appDir / "no-old-layout");
                orb::TUpdateRunner runner;
                runner.Connections = 4;
                runner.UpdateComponents(root, base, "");
            }
            catch (const std::exception& e)
            {
                std::fprintf(stderr, "update failed: %s\n", e.what());
            }
            ::_exit(0);
        }
        long long onDisk = 0;
        int status = 0;
        bool ended = false;
        while ((onDisk = BytesUnder(appDir)) < treeBytes / 2)
        {
            if (::waitpid(pid, &status, WNOHANG) == pid)
            {
                ended = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        if (!ended)
        {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
        }
        if (ended)
        {
            State.SkipWithError("the first update ended before half of the bytes were on disk");
            break;
        }
        const long long middle = SettledBodyBytes(nginx);

        auto root = orb::xml::LoadXMLNodeFromString(index);
        bool isNew = false;
        orb::CheckUpdateCache(root, isNew, appDir, appDir / "no-old-layout");
        {
            orb::test::TScriptedViews views;
            orb::TUpdateRunner runner;
            runner.Connections = 4;
            runner.UpdateComponents(root, base, "");
        }
        const long long after = SettledBodyBytes(nginx);
        for (int f = 0; f < files; ++f)
        {
            const fs::path part =
                fs::path(root->Attributes("local_name")) / "big" / ("part" + std::to_string(f) + ".bin");
            std::error_code ec;
            if (fs::file_size(part, ec) != static_cast<std::uintmax_t>(fileSize))
                State.SkipWithError("a file is incomplete after the second update");
        }
        killedAt += static_cast<double>(onDisk) / static_cast<double>(treeBytes);
        firstShare += static_cast<double>(middle - before) / static_cast<double>(treeBytes);
        secondShare += static_cast<double>(after - middle) / static_cast<double>(treeBytes);
    }
    if (rounds == 0)
        return;
    State.counters["killed_at_share"] = killedAt / rounds;
    State.counters["first_run_share"] = firstShare / rounds;
    State.counters["second_run_share"] = secondShare / rounds;
    State.counters["total_share"] = (firstShare + secondShare) / rounds;
}
BENCHMARK(BM_ResumeAfterKill)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);

/// Prints the usual table and keeps each run's wall time per iteration for the ratios.
class TRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& Runs) override
    {
        ConsoleReporter::ReportRuns(Runs);
        for (const auto& run : Runs)
        {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type == Run::RT_Iteration || median) && !run.error_occurred)
                GSeconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }
};

double Find(const std::string& Prefix)
{
    for (const auto& [name, seconds] : GSeconds)
        if (name.rfind(Prefix, 0) == 0)
            return seconds;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    double check = Find("BM_CacheCheckUpToDate"), stat = Find("BM_StatLoop");
    if (check > 0 && stat > 0)
        std::printf("cache check / stat loop: %.2fx (target: within 2x)\n", check / stat);
    return 0;
}
