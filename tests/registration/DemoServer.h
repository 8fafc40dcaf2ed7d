#pragma once

#include <string>

namespace orb::test
{

/// The demo server's account services (tools/demo_server/server.py) on 127.0.0.1 at an ephemeral port, ended on
/// destruction.
class TDemoServer
{
public:
    /// Starts the server; raises std::runtime_error with the reason when it does not come up.
    TDemoServer();
    ~TDemoServer();
    TDemoServer(const TDemoServer&) = delete;
    TDemoServer& operator=(const TDemoServer&) = delete;

    /// The port it listens on.
    int Port() const { return FPort; }
    /// "http://127.0.0.1:<port>" followed by Path.
    std::string URL(const std::string& Path) const;
    /// What the services received so far, as JSON text ({"registration": [...], "password": [...]}).
    std::string Requests() const;

private:
    int FPid = -1;
    int FPort = 0;
};

} // namespace orb::test
