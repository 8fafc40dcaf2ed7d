// An update index as a hostile or broken server could send it: parsed, walked by the cache check into a scratch
// application directory, and checked that nothing was created outside it.

#include "base/Exceptions.h"
#include "update/UpdateCache.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace
{

const fs::path& Scratch()
{
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("fuzz-update-index-" + std::to_string(::getpid()));
        fs::create_directories(d / "app");
        fs::create_directories(d / "cwd");
        // The scratch folder goes when the fuzzer ends normally.
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(fs::temp_directory_path() / ("fuzz-update-index-" + std::to_string(::getpid())), ec);
        });
        return d;
    }();
    return dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    const fs::path& scratch = Scratch();
    std::string text(reinterpret_cast<const char*>(Data), Size);
    try
    {
        auto root = orb::xml::LoadXMLNodeFromString(text);
        bool isNew = false;
        orb::CheckUpdateCache(root, isNew, scratch / "app", scratch / "cwd");
    }
    catch (const orb::Exception&)
    {}
    // Whatever the index says, the scratch folder holds only the application directory and the current one.
    int entries = 0;
    for ([[maybe_unused]] auto& e : fs::directory_iterator(scratch))
        ++entries;
    if (entries != 2)
        std::abort();
    std::error_code ec;
    for (auto& e : fs::directory_iterator(scratch / "app"))
        fs::remove_all(e.path(), ec);
    return 0;
}
