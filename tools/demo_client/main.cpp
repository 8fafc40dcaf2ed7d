// orb-demo-client: the demo installation's "trading client". It shows the connection parameters the launcher
// handed over and the version of its installation, and can keep the raw parameter block for inspection.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace
{

const char* const Variable = "nimb_orb_loader_connection_settings";

// The first line of version.info in the installation directory (the parent of bin/ or the program's own folder).
std::string InstallationVersion(const std::filesystem::path& Program)
{
    for (auto dir = Program.parent_path(); !dir.empty(); dir = dir.parent_path())
    {
        std::ifstream in(dir / "version.info", std::ios::binary);
        if (in)
        {
            std::string line;
            std::getline(in, line);
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
                line.pop_back();
            return line;
        }
        if (dir == dir.parent_path())
            break;
    }
    return "unknown";
}

} // namespace

int main(int argc, char** argv)
{
    std::error_code ec;
    auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        program = std::filesystem::absolute(argv[0], ec);
    const char* block = std::getenv(Variable);

    // The raw block, written beside and renamed into place so that a reader never sees half of it.
    if (const char* output = std::getenv("ORB_DEMO_CLIENT_OUTPUT"); output && *output)
    {
        const std::string temporary = std::string(output) + ".tmp";
        {
            std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
            out << "version=" << InstallationVersion(program) << "\n";
            out << "program=" << program.string() << "\n";
            out << "arguments=" << (argc - 1) << "\n";
            out << "cwd=" << std::filesystem::current_path(ec).string() << "\n";
            out << "block_present=" << (block ? 1 : 0) << "\n";
            out << "block:\n" << (block ? block : "");
        }
        std::rename(temporary.c_str(), output);
    }

    std::cout << "orb-demo-client " << InstallationVersion(program) << " (" << program.string() << ")\n";
    if (!block)
    {
        std::cout << "No connection parameters received (" << Variable << " is not set).\n";
        return 1;
    }
    std::cout << "Connection parameters received:\n";
    std::string text = block;
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        // Keep the password out of the demo's screen.
        if (line.rfind("password=", 0) == 0 || line.rfind("proxy_password=", 0) == 0)
            line = line.substr(0, line.find('=') + 1) + "********";
        std::cout << "  " << line << "\n";
        start = end + 2;
    }
    return 0;
}
