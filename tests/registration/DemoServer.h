#pragma once

#include "support/Servers.h"

#include <memory>
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

    /// The port it listens on.
    int Port() const { return FPort; }
    /// "http://127.0.0.1:<port>" followed by Path.
    std::string URL(const std::string& Path) const;
    /// What the services received so far, as JSON text ({"registration": [...], "password": [...]}).
    std::string Requests() const;

private:
    TempDir FDir;
    std::unique_ptr<TChildProcess> FProcess;
    int FPort = 0;
};

} // namespace orb::test
