#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace orb::test
{

TempDir::TempDir()
{
    std::random_device rd;
    std::mt19937_64 gen(rd());
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt)
    {
        std::ostringstream name;
        name << "orb-test-" << std::hex << gen();
        auto candidate = base / name.str();
        if (std::filesystem::create_directory(candidate))
        {
            FPath = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only entries behind; make them writable so that removal succeeds.
    for (auto it = std::filesystem::recursive_directory_iterator(FPath, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    {
        std::error_code permEc;
        if (!it->is_symlink(permEc))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, permEc);
    }
    std::filesystem::remove_all(FPath, ec);
}

void WriteBytes(const std::filesystem::path& Path, const std::string& Bytes)
{
    if (Path.has_parent_path())
        std::filesystem::create_directories(Path.parent_path());
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + Path.string());
}

std::string ReadBytes(const std::filesystem::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    if (!in)
    {
        ADD_FAILURE() << "cannot read " << Path;
        return {};
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::filesystem::path SourceDir()
{
    const char* dir = std::getenv("ORB_SOURCE_DIR");
    return dir ? std::filesystem::path(dir) : std::filesystem::current_path();
}

} // namespace orb::test
