// Parsing speed of the XML library on an update index, with expat's SAX parser on the same bytes as the baseline.
#include "xml/VuvareSAX.h"
#include "xml/VuvareXMLNode.h"

#include <benchmark/benchmark.h>
#include <expat.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <string>

namespace
{

/// An update index: directories nested up to three levels, each holding files, FileCount files in all.
std::string MakeIndex(int FileCount)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<index name=\"\">\r\n";
    int files = 0;
    int dir = 0;
    auto fileLine = [&](int Depth) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "%*s<file name=\"module_%06d.dll.gz\" size=\"%d\" modified=\"2024%02d%02d%02d%02d%02d\"/>\r\n",
                      Depth * 2, "", files, 1000 + (files * 7919) % 9000000, 1 + files % 12, 1 + files % 28, files % 24,
                      files % 60, (files * 7) % 60);
        out += line;
        ++files;
    };
    while (files < FileCount)
    {
        // One top directory with a few files, two subdirectories, each with a nested one.
        out += "  <directory name=\"dir_" + std::to_string(dir++) + "\" modified=\"20240101000000\">\r\n";
        for (int i = 0; i < 10 && files < FileCount; ++i)
            fileLine(2);
        for (int sub = 0; sub < 2 && files < FileCount; ++sub)
        {
            out += "    <directory name=\"sub_" + std::to_string(sub) + "\" modified=\"20240101000000\">\r\n";
            for (int i = 0; i < 20 && files < FileCount; ++i)
                fileLine(3);
            out += "      <directory name=\"lang\" modified=\"20240101000000\">\r\n";
            for (int i = 0; i < 15 && files < FileCount; ++i)
                fileLine(4);
            out += "      </directory>\r\n";
            out += "    </directory>\r\n";
        }
        out += "  </directory>\r\n";
    }
    out += "</index>";
    return out;
}

const std::string& Index(int FileCount)
{
    static std::map<int, std::string> cache;
    auto& doc = cache[FileCount];
    if (doc.empty())
        doc = MakeIndex(FileCount);
    return doc;
}

void BM_VuvareSAX_ParseString(benchmark::State& State)
{
    const std::string& doc = Index(static_cast<int>(State.range(0)));
    size_t events = 0;
    orb::xml::TVuvareSAX parser([&](const std::string&, const orb::xml::TAttributes&) { ++events; },
                                [&](const std::string&) { ++events; }, [&](const std::string&) { ++events; },
                                [&](const std::string&) { ++events; });
    for (auto _ : State)
    {
        parser.ParseString(doc);
        benchmark::DoNotOptimize(events);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(doc.size()));
}

void XMLCALL ExpatStart(void* Data, const XML_Char*, const XML_Char**)
{
    ++*static_cast<size_t*>(Data);
}
void XMLCALL ExpatEnd(void* Data, const XML_Char*)
{
    ++*static_cast<size_t*>(Data);
}
void XMLCALL ExpatText(void* Data, const XML_Char*, int)
{
    ++*static_cast<size_t*>(Data);
}
void XMLCALL ExpatComment(void* Data, const XML_Char*)
{
    ++*static_cast<size_t*>(Data);
}

void BM_Expat_Parse(benchmark::State& State)
{
    const std::string& doc = Index(static_cast<int>(State.range(0)));
    size_t events = 0;
    for (auto _ : State)
    {
        XML_Parser parser = XML_ParserCreate("UTF-8");
        XML_SetUserData(parser, &events);
        XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
        XML_SetCharacterDataHandler(parser, ExpatText);
        XML_SetCommentHandler(parser, ExpatComment);
        if (XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), 1) != XML_STATUS_OK)
            State.SkipWithError(XML_ErrorString(XML_GetErrorCode(parser)));
        XML_ParserFree(parser);
        benchmark::DoNotOptimize(events);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_LoadXMLNodeFromString(benchmark::State& State)
{
    const std::string& doc = Index(static_cast<int>(State.range(0)));
    for (auto _ : State)
    {
        auto root = orb::xml::LoadXMLNodeFromString(doc);
        benchmark::DoNotOptimize(root.get());
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(doc.size()));
}

void BM_NodeXML(benchmark::State& State)
{
    const std::string& doc = Index(static_cast<int>(State.range(0)));
    auto root = orb::xml::LoadXMLNodeFromString(doc);
    size_t bytes = 0;
    for (auto _ : State)
    {
        std::string text = root->XML();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(bytes));
}

double ThreadSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

/// Runs Base and Subject alternately in every iteration and reports Subject's processor time over Base's as the
/// counter "ratio": both see the same load of the shared machine, so the ratio holds when absolute times do not.
template <typename BaseFn, typename SubjectFn>
void Interleaved(benchmark::State& State, BaseFn&& Base, SubjectFn&& Subject)
{
    double base = 0;
    double subject = 0;
    for (auto _ : State)
    {
        const double t0 = ThreadSeconds();
        Base();
        const double t1 = ThreadSeconds();
        Subject();
        const double t2 = ThreadSeconds();
        base += t1 - t0;
        subject += t2 - t1;
    }
    State.counters["ratio"] = subject / base;
}

struct CountingParser
{
    size_t Events = 0;
    orb::xml::TVuvareSAX Parser{[this](const std::string&, const orb::xml::TAttributes&) { ++Events; },
                                [this](const std::string&) { ++Events; }, [this](const std::string&) { ++Events; },
                                [this](const std::string&) { ++Events; }};
};

void ExpatParse(const std::string& Doc, size_t& Events)
{
    XML_Parser parser = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser, &Events);
    XML_SetElementHandler(parser, ExpatStart, ExpatEnd);
    XML_SetCharacterDataHandler(parser, ExpatText);
    XML_SetCommentHandler(parser, ExpatComment);
    XML_Parse(parser, Doc.data(), static_cast<int>(Doc.size()), 1);
    XML_ParserFree(parser);
}

/// Expat's time over ParseString's on the same bytes: how many times faster the own parser is.
void BM_Ratio_ExpatOverParseString(benchmark::State& State)
{
    const std::string& doc = Index(static_cast<int>(State.range(0)));
    CountingParser own;
    size_t events = 0;
    Interleaved(
        State, [&] { own.Parser.ParseString(doc); }, [&] { ExpatParse(doc, events); });
    benchmark::DoNotOptimize(events);
}

/// LoadXMLNodeFromString's time over ParseString's.
void BM_Ratio_LoadOverParseString(benchmark::State& State)
{
    const std::string& doc = Index(static_cast<int>(State.range(0)));
    CountingParser own;
    Interleaved(
        State, [&] { own.Parser.ParseString(doc); },
        [&] { benchmark::DoNotOptimize(orb::xml::LoadXMLNodeFromString(doc).get()); });
}

/// ParseString's time for 200,000 files over its time for 20,000 (the input is 10x longer).
void BM_Ratio_Parse200kOver20k(benchmark::State& State)
{
    const std::string& small = Index(20000);
    const std::string& large = Index(200000);
    CountingParser own;
    Interleaved(
        State, [&] { own.Parser.ParseString(small); }, [&] { own.Parser.ParseString(large); });
}

/// A 64 MiB server answer whose one item (a text run, an attribute value or a comment, by Kind) holds nearly all of
/// it, in lines of 76 base64-like characters: the parser sees it in 1,024 blocks of 64 KiB.
const std::string& LargeItemAnswer(int Kind)
{
    static std::map<int, std::string> cache;
    auto& doc = cache[Kind];
    if (!doc.empty())
        return doc;
    const size_t size = 64u << 20;
    std::string payload;
    payload.reserve(size);
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; payload.size() + 200 < size; ++i)
    {
        payload += kAlphabet[(i * 7919) % 64];
        if (i % 76 == 75)
            payload += "\r\n";
    }
    doc = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<answer code=\"0\">\r\n";
    if (Kind == 0)
        doc += "<data>" + payload + "</data>";
    else if (Kind == 1)
        doc += "<data value=\"" + payload + "\"/>";
    else
        doc += "<!--" + payload + "-->";
    doc += "\r\n</answer>";
    return doc;
}

/// ParseString of the 64 MiB answer, the way the data provider hands an answer to the document.
void BM_VuvareSAX_LargeItem(benchmark::State& State)
{
    const std::string& doc = LargeItemAnswer(static_cast<int>(State.range(0)));
    CountingParser own;
    for (auto _ : State)
    {
        own.Parser.ParseString(doc);
        benchmark::DoNotOptimize(own.Events);
    }
    State.SetBytesProcessed(static_cast<int64_t>(State.iterations()) * static_cast<int64_t>(doc.size()));
}

/// Processor time per byte of the 64 MiB one-item answer over that of the 17 MB index of 200,000 files, both parsed
/// with ParseString in the same iterations: an item spanning many blocks costs what ordinary input costs.
void BM_Ratio_LargeItemOverIndexPerByte(benchmark::State& State)
{
    const std::string& index = Index(200000);
    const std::string& answer = LargeItemAnswer(static_cast<int>(State.range(0)));
    CountingParser own;
    Interleaved(
        State, [&] { own.Parser.ParseString(index); }, [&] { own.Parser.ParseString(answer); });
    State.counters["ratio"] =
        State.counters["ratio"] * static_cast<double>(index.size()) / static_cast<double>(answer.size());
}

BENCHMARK(BM_VuvareSAX_ParseString)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Expat_Parse)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadXMLNodeFromString)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
// Writing the tree back (the update engine takes a checksum of this text).
BENCHMARK(BM_NodeXML)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio_ExpatOverParseString)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio_LoadOverParseString)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio_Parse200kOver20k)->Unit(benchmark::kMillisecond);
// One item of a 64 MiB answer spanning 1,024 blocks: 0 a text run, 1 an attribute value, 2 a comment.
BENCHMARK(BM_VuvareSAX_LargeItem)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ratio_LargeItemOverIndexPerByte)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

/// Prints the usual table and keeps each run's processor time per iteration (the machines are shared, so wall
/// time includes waiting for a core) and throughput for the ratios.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& Runs) override
    {
        ConsoleReporter::ReportRuns(Runs);
        for (const auto& run : Runs)
        {
            // With repetitions the median is kept; a single run stands for itself.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single)
                continue;
            const std::string name = run.run_name.str();
            Seconds[name] = run.GetAdjustedCPUTime();
            auto ratio = run.counters.find("ratio");
            if (ratio != run.counters.end())
                Ratios[name] = ratio->second.value;
            auto bytes = run.counters.find("bytes_per_second");
            if (bytes != run.counters.end())
                MBps[name] = bytes->second.value / 1e6;
        }
    }
    /// Processor time per iteration, in the benchmarks' time unit.
    std::map<std::string, double> Seconds;
    std::map<std::string, double> MBps;
    /// The "ratio" counters of the interleaved benchmarks.
    std::map<std::string, double> Ratios;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.Seconds;
    auto& mb = reporter.MBps;
    for (const char* n : {"20000", "200000"})
    {
        std::string own = std::string("BM_VuvareSAX_ParseString/") + n;
        std::string expat = std::string("BM_Expat_Parse/") + n;
        std::string nodes = std::string("BM_LoadXMLNodeFromString/") + n;
        if (t.count(own) && t.count(expat))
            std::printf("%s files: ParseString %.0f MB/s, expat %.0f MB/s, ratio %.2fx expat\n", n, mb[own], mb[expat],
                        t[expat] / t[own]);
        if (t.count(own) && t.count(nodes))
            std::printf("%s files: LoadXMLNodeFromString %.0f MB/s, %.2fx the time of the bare parse\n", n, mb[nodes],
                        t[nodes] / t[own]);
    }
    const std::string small = "BM_VuvareSAX_ParseString/20000";
    const std::string large = "BM_VuvareSAX_ParseString/200000";
    if (t.count(small) && t.count(large))
        std::printf("ParseString 200000 files takes %.2fx the time of 20000\n", t[large] / t[small]);
    const std::string nsmall = "BM_LoadXMLNodeFromString/20000";
    const std::string nlarge = "BM_LoadXMLNodeFromString/200000";
    if (t.count(nsmall) && t.count(nlarge))
        std::printf("LoadXMLNodeFromString 200000 files takes %.2fx the time of 20000\n", t[nlarge] / t[nsmall]);
    std::printf("Interleaved in the same iterations (processor time of this thread):\n");
    for (const auto& [name, ratio] : reporter.Ratios)
        std::printf("  %s = %.2f\n", name.c_str(), ratio);
    benchmark::Shutdown();
    return 0;
}
