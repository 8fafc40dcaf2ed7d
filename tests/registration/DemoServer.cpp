#include "DemoServer.h"

#include "registration/HttpClient.h"

#include <cstdio>
#include <stdexcept>

namespace orb::test
{

TDemoServer::TDemoServer()
{
    std::string script = (SourceDir() / "tools" / "demo_server" / "server.py").string();
    auto log = FDir / "server.log";
    FProcess = std::make_unique<TChildProcess>(std::vector<std::string>{"python3", script, "--port", "0"}, log);
    // The first line is "PORT <n>" once the server listens.
    std::string line;
    if (!FProcess->ReadLine(line, 20000) || std::sscanf(line.c_str(), "PORT %d", &FPort) != 1 || FPort <= 0)
    {
        FProcess->Stop();
        std::string errors = ReadBytes(log);
        throw std::runtime_error("demo server " + script + " did not start; it said: '" + line + "' " + errors);
    }
}

std::string TDemoServer::URL(const std::string& Path) const
{
    return "http://127.0.0.1:" + std::to_string(FPort) + Path;
}

std::string TDemoServer::Requests() const
{
    THttpClient client;
    return client.Send("GET", URL("/_requests"), "").Body;
}

} // namespace orb::test
