// Usage: orb_env_dump NAME FILE - writes the value of environment variable NAME to FILE ("<unset>" when it is
// not set), through a temporary file renamed at the end so that FILE appears complete.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const char* value = std::getenv(argv[1]);
    std::string tmp = std::string(argv[2]) + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (!f)
        return 1;
    if (value)
        std::fwrite(value, 1, std::strlen(value), f);
    else
        std::fputs("<unset>", f);
    if (std::fclose(f) != 0)
        return 1;
    return std::rename(tmp.c_str(), argv[2]) == 0 ? 0 : 1;
}
