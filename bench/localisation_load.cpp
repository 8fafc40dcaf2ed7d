// Loading a 2,000-line language file and looking messages up, each beside a baseline in the same run:
// reading the same file's bytes (the least any loader does), and a plain hash map lookup.
#include "localisation/Ini32SaveLoad.h"
#include "localisation/Unit_Language.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>

namespace
{

/// A language file of 2,000 lines in 20 sections, in a fresh directory.
const std::filesystem::path& LanguageDir()
{
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("orb-bench-language-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d / "language");
        std::ofstream out(d / "language" / "language_en_US.ini", std::ios::binary);
        out << "\xEF\xBB\xBF";
        int lines = 0;
        for (int s = 0; lines < 2000; ++s)
        {
            out << (s ? "\r\n" : "") << (s == 0 ? "[Messages]" : "[Form_Window" + std::to_string(s) + "]") << "\r\n";
            lines += 2;
            for (int k = 0; k < 98 && lines < 2000; ++k, ++lines)
                out << "Key_" << k << ".Caption=A message text of ordinary length, number " << k << "\r\n";
        }
        return d;
    }();
    return dir;
}

std::string LanguageFile()
{
    return (LanguageDir() / "language" / "language_en_US.ini").string();
}

void BM_ReadFileBytes(benchmark::State& state)
{
    auto file = LanguageFile();
    for (auto _ : state)
    {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        benchmark::DoNotOptimize(bytes.str());
    }
}
BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMicrosecond);

void BM_LoadLanguageFile(benchmark::State& state)
{
    auto file = LanguageFile();
    for (auto _ : state)
    {
        orb::TIni32SaveLoad ini(file);
        benchmark::DoNotOptimize(ini.Lines().size());
    }
}
BENCHMARK(BM_LoadLanguageFile)->Unit(benchmark::kMicrosecond);

void BM_LoadMessageTable(benchmark::State& state)
{
    orb::ResourcePath = LanguageDir().string();
    orb::LanguageCode = "en_US";
    for (auto _ : state)
    {
        orb::TLanguage language;
        benchmark::DoNotOptimize(language.Ok);
    }
    orb::SetProcessLanguageStorage(nullptr);
}
BENCHMARK(BM_LoadMessageTable)->Unit(benchmark::kMicrosecond);

void BM_HashMapLookup(benchmark::State& state)
{
    std::unordered_map<std::string, std::string> map;
    for (int k = 0; k < 98; ++k)
        map["key_" + std::to_string(k) + ".caption"] = "text";
    std::string key = "key_57.caption";
    for (auto _ : state)
        benchmark::DoNotOptimize(map.find(key));
}
BENCHMARK(BM_HashMapLookup);

void BM_MessageLookup(benchmark::State& state)
{
    orb::ResourcePath = LanguageDir().string();
    orb::LanguageCode = "en_US";
    orb::TLanguage language;
    std::string key = "Key_57.Caption";
    for (auto _ : state)
        benchmark::DoNotOptimize(language.Get(key));
    orb::SetProcessLanguageStorage(nullptr);
}
BENCHMARK(BM_MessageLookup);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(LanguageDir(), ec);
    return 0;
}
