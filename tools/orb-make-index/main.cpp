// orb-make-index: publishes a directory as an update tree for the launcher.

#include "MakeIndex.h"

#include <cerrno>
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

Signed updates: a launcher whose main_loader_settings.xml lists update keys installs only an index
signed by one of them, with a serial not lower than the last one it accepted from that address and
not past its expiry time, and only files whose SHA-256 matches the index.
  orb-make-index --keygen broker.pem          make a key; paste the printed element into the root of
                                              main_loader_settings.xml and keep broker.pem secret
  orb-make-index --sign broker.pem DIRECTORY  publish DIRECTORY/index.xml and DIRECTORY/index.xml.sig

Options:
  --gzip PATTERN     publish matching file names gzipped ("*" and "?" wildcards; repeatable)
  --exclude PATTERN  leave matching files and directories out (repeatable)
  --output FILE      write the index to FILE instead of DIRECTORY/index.xml
  --root-tag NAME    tag name of the root element (default "update")
  --sha256           give every file a sha256 attribute (lower-case hex of the bytes served)
  --sign KEY         sign the index with the Ed25519 private key KEY (PEM) into index.xml.sig;
                     implies --sha256 and puts a serial on the root
  --serial N         the serial of a signed index (default: the time in seconds since 1970);
                     it must grow with every publication
  --expires DAYS     a signed index expires DAYS days after publishing (attribute expires, UTC)
  --keygen FILE      write a new Ed25519 private key to FILE (mode 0600) and print the update_keys
                     element holding its public key; publishes nothing
  --version          the tool's version
  --help             this text
)";

} // namespace

int main(int argc, char** argv)
{
    orb::tools::TMakeIndexOptions options;
    std::string keyFile;
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
        else if (arg == "--sha256")
            options.Sha256 = true;
        else if (arg == "--sign")
            options.SignKey = value();
        else if (arg == "--serial" || arg == "--expires")
        {
            const std::string text = value();
            char* end = nullptr;
            errno = 0;
            const long long number = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || errno != 0 || number < 0 || (arg == "--expires" && number > 36500))
            {
                std::fprintf(stderr, "orb-make-index: %s needs a number, not \"%s\"\n", arg.c_str(), text.c_str());
                return 2;
            }
            if (arg == "--serial")
                options.Serial = number;
            else
                options.ExpiresDays = static_cast<int>(number);
        }
        else if (arg == "--keygen")
            keyFile = value();
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
    if (!keyFile.empty())
    {
        try
        {
            std::fputs(orb::tools::GenerateKeyFile(keyFile).c_str(), stdout);
            return 0;
        }
        catch (const std::exception& e)
        {
            std::fprintf(stderr, "orb-make-index: %s\n", e.what());
            return 1;
        }
    }
    if ((options.Serial || options.ExpiresDays) && options.SignKey.empty())
    {
        std::fprintf(stderr, "orb-make-index: --serial and --expires belong to a signed index (--sign KEY)\n");
        return 2;
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
        if (!result.Serial.empty())
            std::printf("orb-make-index: signed with serial %s into %s\n", result.Serial.c_str(),
                        result.SignatureFile.string().c_str());
        return 0;
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "orb-make-index: %s\n", e.what());
        return 1;
    }
}
