// A launcher's update in a process of its own, for tests that end it midway:
// update_child APP_DIR BASE_URL  -- fetches BASE_URL index.xml, checks the cache in APP_DIR, downloads, unpacks,
// saves the index, and prints "DONE <installation directory>"; "WAITING" when it waits for another launcher first.

#include "UpdateFlow.h"
#include "net/HTTPDataProvider.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: update_child APP_DIR BASE_URL\n");
        return 2;
    }
    try
    {
        orb::test::TUpdateViews views;
        views.Progress.OnReport = [&] {
            if (views.Progress.Files.back() == orb::WaitingForOtherLauncherMessage)
            {
                std::printf("WAITING\n");
                std::fflush(stdout);
            }
        };
        orb::THTTPDataProvider http;
        http.URL.SetURL(std::string(argv[2]) + "index.xml");
        std::string text;
        http.GetString(text);
        auto root = orb::xml::LoadXMLNodeFromString(text);
        std::filesystem::path appDir = argv[1];
        auto dir = orb::test::RunUpdate(root, appDir, appDir / "no-old-layout", argv[2]);
        std::printf("DONE %s\n", dir.c_str());
        return 0;
    }
    catch (const std::exception& e)
    {
        std::fprintf(stderr, "update_child: %s\n", e.what());
        return 1;
    }
}
