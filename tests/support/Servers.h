#pragma once

#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orb::test
{

/// The whole text of a server's log or output file; "" when there is none (yet).
std::string ReadText(const std::filesystem::path& Path);

/// A child process of a test: started with argv, ended (TERM, then KILL) on destruction.
class TChildProcess
{
public:
    /// Starts Argv[0] (searched in PATH); standard output goes to a pipe read by ReadLine, standard error to
    /// ErrorLog when it is not empty, standard input comes from Input (else nothing). Raises std::runtime_error when
    /// the program cannot be started.
    TChildProcess(const std::vector<std::string>& Argv, const std::filesystem::path& ErrorLog = {},
                  const std::filesystem::path& Input = {});
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    /// One line of the child's standard output, waiting up to TimeoutMs; false at time-out or end of output.
    bool ReadLine(std::string& Line, int TimeoutMs);
    /// True while the child runs.
    bool Running();
    /// Waits for the child to end by itself; its exit status (128 + signal when killed).
    int Wait();
    /// Ends the child and waits for it.
    void Stop();
    /// Kills the child at once (SIGKILL: no clean-up of its own) and waits for it.
    void Kill();

private:
    int FPid = -1;
    int FOut = -1;
    std::string FBuffer;
};

/// A TCP port on 127.0.0.1 that was free a moment ago (for servers that cannot report the port they bound).
int FreeLoopbackPort();
/// Waits up to TimeoutMs until a TCP connection to 127.0.0.1:Port succeeds.
bool WaitForPort(int Port, int TimeoutMs);

/// The project's scripted HTTP server (tests/support/fixture_server.py) on 127.0.0.1 at an ephemeral port.
/// Answers are scripted per path; see the script's description of the answer fields.
class TFixtureServer
{
public:
    /// Starts the server; raises std::runtime_error with the reason when it does not come up.
    TFixtureServer();

    /// The port it listens on.
    int Port() const { return FPort; }
    /// "http://127.0.0.1:<port>" followed by Path.
    std::string URL(const std::string& Path) const;
    /// Sets the answers of Path, used in turn by successive requests (the last one repeats).
    void Answer(const std::string& Path, const std::vector<nlohmann::json>& Answers);
    /// Raw bytes as the script's text: bodies are sent as Latin-1, so each byte becomes the character of its value.
    static std::string Bytes(std::string_view Raw);
    /// Sets one answer for Path.
    void Answer(const std::string& Path, const nlohmann::json& Answer) { this->Answer(Path, std::vector{Answer}); }
    /// Every request received so far, oldest first (method, path, query, headers, body).
    std::vector<nlohmann::json> Requests() const;
    /// The value of header Name (compared ignoring case) of Request, or "" when it has none.
    static std::string Header(const nlohmann::json& Request, const std::string& Name);

private:
    TempDir FDir;
    nlohmann::json FScript = nlohmann::json::object();
    TChildProcess FProcess;
    int FPort = 0;
};

/// Certificates made with the openssl command line: a throw-away CA and a server certificate it signed.
struct TTestCertificates
{
    /// Makes a CA and a certificate for the names in SubjectAltName (for example "DNS:localhost") in Dir.
    TTestCertificates(const std::filesystem::path& Dir, const std::string& SubjectAltName);
    std::filesystem::path CAFile;   ///< the CA certificate (PEM)
    std::filesystem::path CertFile; ///< the server certificate (PEM)
    std::filesystem::path KeyFile;  ///< the server key (PEM)
};

/// Settings of an nginx test server.
struct TNginxOptions
{
    /// Value of ssl_protocols.
    std::string Protocols = "TLSv1.2 TLSv1.3";
    /// Value of ssl_ciphers ("" leaves nginx's default).
    std::string Ciphers;
    /// Names the server certificate is issued for.
    std::string SubjectAltName = "DNS:localhost";
    /// Extra directives inside both server blocks.
    std::string ServerDirectives;
    /// The access log's line format (nginx variables); nginx's own when empty.
    std::string LogFormat;
};

/// nginx serving Root() over http and https (certificate of a throw-away CA) on 127.0.0.1.
class TNginxServer
{
public:
    /// Starts nginx; raises std::runtime_error with nginx's own error text when it does not come up.
    explicit TNginxServer(const TNginxOptions& Options = {});
    ~TNginxServer();

    /// The directory served (files written here must stay world-readable).
    std::filesystem::path Root() const { return FDir.Path() / "www"; }
    /// Writes a file under Root().
    void WriteFile(const std::string& Name, const std::string& Bytes) const;
    /// The CA that issued the server certificate.
    std::filesystem::path CAFile() const { return FCertificates->CAFile; }
    /// http port.
    int HttpPort() const { return FHttpPort; }
    /// https port.
    int HttpsPort() const { return FHttpsPort; }
    /// The access log, one line per request.
    std::filesystem::path AccessLog() const { return FDir.Path() / "access.log"; }
    /// Body bytes sent in all requests logged so far (the access log's $body_bytes_sent, partial answers included).
    /// nginx logs a request once it has ended, also when the client went away in the middle. Only with the default
    /// log format (no LogFormat in the options).
    long long BodyBytesSent() const;

private:
    TempDir FDir;
    std::unique_ptr<TTestCertificates> FCertificates;
    std::unique_ptr<TChildProcess> FProcess;
    int FHttpPort = 0;
    int FHttpsPort = 0;
};

/// A relay on 127.0.0.1 (tests/support/tls_downgrade_proxy.py) that resets every TLS connection whose hello offers
/// more than TLS 1.0 and passes the others on to 127.0.0.1:TargetPort: a forced downgrade, as an attacker makes it.
class TTLSDowngradeProxy
{
public:
    /// Starts the relay; raises std::runtime_error with the reason when it does not come up.
    explicit TTLSDowngradeProxy(int TargetPort);

    /// The port it listens on.
    int Port() const { return FPort; }
    /// One entry per hello seen, oldest first: "version" (highest offered, "0x0301" for TLS 1.0), "fallback_scsv"
    /// (whether it carried the fallback signal) and "passed" (relayed rather than reset).
    std::vector<nlohmann::json> Hellos() const;

private:
    TempDir FDir;
    TChildProcess FProcess;
    int FPort = 0;
};

/// A relay on 127.0.0.1 (the program orb_latency_proxy) to 127.0.0.1:TargetPort that passes each chunk of the
/// client's bytes on DelayMs after it arrived and the server's bytes back at once: every request, also on a
/// kept-alive connection, is answered DelayMs later, as from a distant server. Many connections at once.
class TLatencyProxy
{
public:
    /// Starts the relay; raises std::runtime_error with the reason when it does not come up.
    TLatencyProxy(int TargetPort, int DelayMs);

    /// The port it listens on.
    int Port() const { return FPort; }
    /// Connections accepted so far.
    int Connections() const;

private:
    TempDir FDir;
    TChildProcess FProcess;
    int FPort = 0;
};

/// tinyproxy on 127.0.0.1 demanding Basic proxy authentication with User and Password.
class TTinyProxy
{
public:
    /// Starts tinyproxy; raises std::runtime_error with its log when it does not come up.
    TTinyProxy(const std::string& User, const std::string& Password);

    /// The port it listens on.
    int Port() const { return FPort; }
    /// The proxy's log so far (it names every request it forwarded).
    std::string Log() const;

private:
    TempDir FDir;
    std::unique_ptr<TChildProcess> FProcess;
    int FPort = 0;
};

} // namespace orb::test
