#include "platform/Process.h"

namespace orb::platform
{

std::vector<std::string> SplitCommandLine(const std::string& CommandLine)
{
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = CommandLine.size();
    while (true)
    {
        while (i < n && (CommandLine[i] == ' ' || CommandLine[i] == '\t'))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        while (i < n && (quoted || (CommandLine[i] != ' ' && CommandLine[i] != '\t')))
        {
            if (CommandLine[i] == '\\')
            {
                size_t slashes = 0;
                while (i < n && CommandLine[i] == '\\')
                {
                    ++slashes;
                    ++i;
                }
                if (i < n && CommandLine[i] == '"')
                {
                    // 2n backslashes and a quote: n backslashes, the quote toggles;
                    // 2n+1 backslashes and a quote: n backslashes and a literal quote.
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2 == 1)
                    {
                        arg += '"';
                        ++i;
                    }
                }
                else
                    arg.append(slashes, '\\');
                continue;
            }
            if (CommandLine[i] == '"')
            {
                if (quoted && i + 1 < n && CommandLine[i + 1] == '"')
                {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += CommandLine[i++];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

} // namespace orb::platform
