// orb-make-index: publishes a directory as an update tree for the launcher.

#include "MakeIndex.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace
{

const char* const HelpText = R"(Usage: orb-make-index [options] DIRECTORY

Publishes DIRECTORY as an update tree for orb-loader. Serve the directory with any static web server
and give the launcher its address (ending in "/") as the update address; the launcher fetches
"<address>index.xml" and then every file it lacks as "<address>path/to/file".

The index lists every directory and file below DIRECTORY in name order:
  <update>
    <directory name="bin" modified="20240131120000">
      <file name="client.exe" size="1048576" modified="20240131120000"/>
      <file name="lang.ini.gz" size="2048" modified="20240131120000"/>
    </directory>
  </update>
  size      the size in bytes of the file as served (the compressed size for ".gz" files)
  modified  the file's last-write time as local time, yyyymmddhhnnss; odd seconds are rounded down,
            as the launcher stores time stamps with 2-second resolution

A file "x.gz" is downloaded and stored by the launcher as "x", unpacked. Files matching a --gzip
pattern are compressed into a companion "x.gz" beside them (kept up to date on later runs) and
listed under that name; empty files are always published this way, since the launcher does not
download empty files. ".7z" archives are unpacked by the launcher into their directory once an
installation is complete.

Every change of the index (a new file, size or time) makes the launcher create a new installation
directory, reusing the unchanged files of older installations. Names the launcher refuses or would
mistake ("\" or control characters in a name, ".GZ" in other letter cases, two entries installed
under one name, "index.xml" at the top) stop the publication with an error naming the entry.

Options:
  --gzip PATTERN     publish matching file names gzipped ("*" and "?" wildcards; repeatable)
  --exclude PATTERN  leave matching files and directories out (repeatable)
  --output FILE      write the index to FILE instead of DIRECTORY/index.xml
  --root-tag NAME    tag name of the root element (default "update")
  --version          the tool's version
  --help             this text
)";

} // namespace

int main(int argc, char** argv)
{
    orb::tools::TMakeIndexOptions options;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
            {
                std::fprintf(stderr, "orb-make-index: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h")
        {
            std::fputs(HelpText, stdout);
            return 0;
        }
        if (arg == "--version")
        {
            std::printf("orb-make-index %s\n", ORB_VERSION_TEXT);
            return 0;
        }
        if (arg == "--gzip")
            options.GzipPatterns.push_back(value());
        else if (arg == "--exclude")
            options.ExcludePatterns.push_back(value());
        else if (arg == "--output")
            options.Output = value();
        else if (arg == "--root-tag")
            options.RootTag = value();
        else if (!arg.empty() && arg[0] == '-')
        {
            std::fprintf(stderr, "orb-make-index: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        }
        else if (options.Root.empty())
            options.Root = arg;
        else
        {
            std::fprintf(stderr, "orb-make-index: only one directory can be published at a time\n");
            return 2;
        }
    }
    if (options.Root.empty())
    {
        std::fputs(HelpText, stderr);
        return 2;
    }
    try
    {
        auto result = orb::tools::MakeIndex(options);
        std::printf("orb-make-index: %d files (%d gzipped, %lld bytes served) in %d directories\n", result.Files,
                    result.Gzipped, result.Bytes, result.Directories);
        return 0;
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "orb-make-index: %s\n", e.what());
        return 1;
    }
}
