#include "DemoServer.h"

#include "registration/HttpClient.h"
#include "support/TempDir.h"

#include <csignal>
#include <cstdio>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace orb::test
{

TDemoServer::TDemoServer()
{
    std::string script = (SourceDir() / "tools" / "demo_server" / "server.py").string();
    int out[2];
    if (pipe(out) != 0)
        throw std::runtime_error("demo server: no pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    const char* argv[] = {"python3", script.c_str(), "--port", "0", nullptr};
    int rc = posix_spawnp(&FPid, "python3", &actions, nullptr, const_cast<char* const*>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0)
    {
        close(out[0]);
        throw std::runtime_error("demo server: python3 cannot be started");
    }
    // The first line is "PORT <n>" once the server listens.
    std::string line;
    pollfd pfd{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&pfd, 1, 20000) > 0)
    {
        char buffer[256];
        ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    close(out[0]);
    if (std::sscanf(line.c_str(), "PORT %d", &FPort) != 1 || FPort <= 0)
    {
        kill(FPid, SIGKILL);
        waitpid(FPid, nullptr, 0);
        throw std::runtime_error("demo server " + script + " did not start; it said: '" + line + "'");
    }
}

TDemoServer::~TDemoServer()
{
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
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
