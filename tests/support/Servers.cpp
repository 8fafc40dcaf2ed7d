#include "support/Servers.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace orb::test
{

namespace fs = std::filesystem;

namespace
{

void WriteText(const fs::path& Path, const std::string& Text)
{
    const fs::path temp = Path.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << Text;
    }
    fs::rename(temp, Path);
}

/// Runs a command to its end; raises with its error output when it fails.
void RunTool(const std::vector<std::string>& Argv, const fs::path& Log)
{
    TChildProcess child(Argv, Log);
    std::string line;
    while (child.ReadLine(line, 30000))
    {}
    if (const int status = child.Wait(); status != 0)
        throw std::runtime_error(Argv[0] + " " + Argv[1] + " failed with status " + std::to_string(status) + ": " +
                                 ReadText(Log));
}

void RunOpenSSL(const std::vector<std::string>& Args, const fs::path& Dir)
{
    std::vector<std::string> argv{"openssl"};
    argv.insert(argv.end(), Args.begin(), Args.end());
    RunTool(argv, Dir / "openssl.log");
}

/// The program's path: found in PATH, or in the system folders that a non-root PATH often leaves out.
std::string FindProgram(const std::string& Name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    dirs += ":/usr/sbin:/usr/local/sbin:/sbin";
    std::istringstream list(dirs);
    std::string dir;
    while (std::getline(list, dir, ':'))
        if (!dir.empty() && access((fs::path(dir) / Name).c_str(), X_OK) == 0)
            return (fs::path(dir) / Name).string();
    return Name;
}

void MakeWorldReadable(const fs::path& Path)
{
    fs::permissions(Path, fs::perms::others_read | fs::perms::group_read, fs::perm_options::add);
    if (fs::is_directory(Path))
        fs::permissions(Path, fs::perms::others_exec | fs::perms::group_exec, fs::perm_options::add);
}

} // namespace

std::string ReadText(const fs::path& Path)
{
    std::ifstream in(Path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TChildProcess::TChildProcess(const std::vector<std::string>& Argv, const fs::path& ErrorLog, const fs::path& Input)
{
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed: " + std::string(std::strerror(errno)));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    if (!ErrorLog.empty())
        posix_spawn_file_actions_addopen(&actions, 2, ErrorLog.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_addopen(&actions, 0, Input.empty() ? "/dev/null" : Input.c_str(), O_RDONLY, 0);
    std::vector<char*> argv;
    for (const auto& arg : Argv)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawnp(&FPid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0)
    {
        close(pipeFds[0]);
        throw std::runtime_error("cannot start " + Argv[0] + ": " + std::strerror(rc));
    }
    FOut = pipeFds[0];
}

TChildProcess::~TChildProcess()
{
    Stop();
}

bool TChildProcess::ReadLine(std::string& Line, int TimeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    for (;;)
    {
        const auto newline = FBuffer.find('\n');
        if (newline != std::string::npos)
        {
            Line = FBuffer.substr(0, newline);
            FBuffer.erase(0, newline + 1);
            return true;
        }
        if (FOut < 0)
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd pfd{FOut, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0)
            continue;
        char chunk[4096];
        const ssize_t n = read(FOut, chunk, sizeof chunk);
        if (n <= 0)
        {
            close(FOut);
            FOut = -1;
            if (!FBuffer.empty())
            {
                Line = std::exchange(FBuffer, {});
                return true;
            }
            return false;
        }
        FBuffer.append(chunk, static_cast<size_t>(n));
    }
}

bool TChildProcess::Running()
{
    if (FPid <= 0)
        return false;
    int status = 0;
    if (waitpid(FPid, &status, WNOHANG) == FPid)
    {
        FPid = -1;
        return false;
    }
    return true;
}

int TChildProcess::Wait()
{
    int status = 0;
    if (FPid > 0)
    {
        waitpid(FPid, &status, 0);
        FPid = -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void TChildProcess::Kill()
{
    if (FPid > 0)
    {
        kill(FPid, SIGKILL);
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
    }
}

void TChildProcess::Stop()
{
    if (FPid > 0)
    {
        kill(FPid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 300; ++i)
        {
            if (waitpid(FPid, &status, WNOHANG) == FPid)
            {
                FPid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (FPid > 0)
        {
            kill(FPid, SIGKILL);
            waitpid(FPid, &status, 0);
            FPid = -1;
        }
    }
    if (FOut >= 0)
    {
        close(FOut);
        FOut = -1;
    }
}

int FreeLoopbackPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    {
        if (fd >= 0)
            close(fd);
        throw std::runtime_error("cannot find a free port on 127.0.0.1");
    }
    close(fd);
    return ntohs(addr.sin_port);
}

bool WaitForPort(int Port, int TimeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
    while (std::chrono::steady_clock::now() < deadline)
    {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(Port));
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        close(fd);
        if (ok)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// ---------------------------------------------------------------------------------------------------------------

TFixtureServer::TFixtureServer()
    : FProcess({"python3", (SourceDir() / "tests/support/fixture_server.py").string(), FDir.Path().string()},
               FDir / "stderr.log")
{
    WriteText(FDir / "script.json", "{}");
    std::string line;
    if (!FProcess.ReadLine(line, 15000) || line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the fixture HTTP server (python3 tests/support/fixture_server.py) did not start: " +
                                 ReadText(FDir / "stderr.log"));
    FPort = std::stoi(line.substr(5));
}

std::string TFixtureServer::URL(const std::string& Path) const
{
    return "http://127.0.0.1:" + std::to_string(FPort) + Path;
}

void TFixtureServer::Answer(const std::string& Path, const std::vector<nlohmann::json>& Answers)
{
    FScript[Path] = Answers;
    WriteText(FDir / "script.json", FScript.dump());
}

std::string TFixtureServer::Bytes(std::string_view Raw)
{
    std::string text;
    for (const unsigned char byte : Raw)
    {
        if (byte < 0x80)
            text += static_cast<char>(byte);
        else
        {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::vector<nlohmann::json> TFixtureServer::Requests() const
{
    std::vector<nlohmann::json> requests;
    std::istringstream log(ReadText(FDir / "requests.log"));
    std::string line;
    while (std::getline(log, line))
        if (!line.empty())
            requests.push_back(nlohmann::json::parse(line));
    return requests;
}

std::string TFixtureServer::Header(const nlohmann::json& Request, const std::string& Name)
{
    for (const auto& header : Request["headers"])
    {
        const std::string key = header[0];
        if (key.size() == Name.size() &&
            std::equal(key.begin(), key.end(), Name.begin(), [](char a, char b) { return tolower(a) == tolower(b); }))
            return header[1];
    }
    return "";
}

// ---------------------------------------------------------------------------------------------------------------

TTestCertificates::TTestCertificates(const fs::path& Dir, const std::string& SubjectAltName)
    : CAFile(Dir / "ca.pem"), CertFile(Dir / "server.pem"), KeyFile(Dir / "server.key")
{
    const fs::path caKey = Dir / "ca.key";
    const fs::path csr = Dir / "server.csr";
    const fs::path ext = Dir / "server.ext";
    RunOpenSSL({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", caKey.string(), "-out", CAFile.string(),
                "-days", "2", "-subj", "/CN=orb-loader test CA"},
               Dir);
    RunOpenSSL({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", KeyFile.string(), "-out", csr.string(), "-subj",
                "/CN=orb-loader test server"},
               Dir);
    WriteText(ext, "subjectAltName=" + SubjectAltName + "\nbasicConstraints=CA:FALSE\n");
    RunOpenSSL({"x509", "-req", "-in", csr.string(), "-CA", CAFile.string(), "-CAkey", caKey.string(),
                "-CAcreateserial", "-out", CertFile.string(), "-days", "2", "-extfile", ext.string()},
               Dir);
    for (const auto& file : {CAFile, CertFile, KeyFile})
        if (!fs::exists(file) || fs::file_size(file) == 0)
            throw std::runtime_error("openssl could not make the test certificates: " + ReadText(Dir / "openssl.log"));
}

// ---------------------------------------------------------------------------------------------------------------

TNginxServer::TNginxServer(const TNginxOptions& Options)
{
    MakeWorldReadable(FDir.Path());
    fs::create_directories(Root());
    MakeWorldReadable(Root());
    FCertificates = std::make_unique<TTestCertificates>(FDir.Path(), Options.SubjectAltName);
    MakeWorldReadable(FCertificates->CertFile);

    std::string lastError;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        FHttpPort = FreeLoopbackPort();
        FHttpsPort = FreeLoopbackPort();
        const fs::path d = FDir.Path();
        std::ostringstream conf;
        conf << "worker_processes 1;\n"
             << "pid " << (d / "nginx.pid").string() << ";\n"
             << "error_log " << (d / "error.log").string() << " warn;\n"
             << "events { worker_connections 256; }\n"
             << "http {\n";
        if (!Options.LogFormat.empty())
            conf << "  log_format orb '" << Options.LogFormat << "';\n";
        conf << "  access_log " << (d / "access.log").string() << (Options.LogFormat.empty() ? "" : " orb") << ";\n"
             << "  client_body_temp_path " << (d / "body").string() << ";\n"
             << "  proxy_temp_path " << (d / "proxy").string() << ";\n"
             << "  fastcgi_temp_path " << (d / "fastcgi").string() << ";\n"
             << "  uwsgi_temp_path " << (d / "uwsgi").string() << ";\n"
             << "  scgi_temp_path " << (d / "scgi").string() << ";\n"
             << "  keepalive_requests 100000;\n"
             << "  default_type application/octet-stream;\n"
             << "  server {\n"
             << "    listen 127.0.0.1:" << FHttpPort << ";\n"
             << "    listen 127.0.0.1:" << FHttpsPort << " ssl;\n"
             << "    root " << Root().string() << ";\n"
             << "    ssl_certificate " << FCertificates->CertFile.string() << ";\n"
             << "    ssl_certificate_key " << FCertificates->KeyFile.string() << ";\n"
             << "    ssl_protocols " << Options.Protocols << ";\n";
        if (!Options.Ciphers.empty())
            conf << "    ssl_ciphers " << Options.Ciphers << ";\n";
        conf << Options.ServerDirectives << "\n  }\n}\n";
        WriteText(d / "nginx.conf", conf.str());

        FProcess = std::make_unique<TChildProcess>(
            std::vector<std::string>{FindProgram("nginx"), "-c", (d / "nginx.conf").string(), "-e",
                                     (d / "error.log").string(), "-g", "daemon off;"},
            d / "stderr.log");
        if (WaitForPort(FHttpPort, 10000) && WaitForPort(FHttpsPort, 2000) && FProcess->Running())
            return;
        FProcess->Stop();
        lastError = ReadText(d / "error.log") + ReadText(d / "stderr.log");
    }
    throw std::runtime_error("nginx did not start: " + lastError);
}

TNginxServer::~TNginxServer()
{
    if (FProcess)
        FProcess->Stop();
}

void TNginxServer::WriteFile(const std::string& Name, const std::string& Bytes) const
{
    const fs::path path = Root() / Name;
    fs::create_directories(path.parent_path());
    WriteBytes(path, Bytes);
    MakeWorldReadable(path);
}

long long TNginxServer::BodyBytesSent() const
{
    // The default "combined" format: ... "<request line>" <status> <body bytes> "<referer>" "<user agent>".
    long long total = 0;
    std::istringstream log(ReadText(FDir / "access.log"));
    std::string line;
    while (std::getline(log, line))
    {
        const auto open = line.find('"');
        const auto close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close == std::string::npos)
            continue;
        int status = 0;
        long long bytes = 0;
        if (std::sscanf(line.c_str() + close + 1, " %d %lld", &status, &bytes) == 2)
            total += bytes;
    }
    return total;
}

// ---------------------------------------------------------------------------------------------------------------

TLatencyProxy::TLatencyProxy(int TargetPort, int DelayMs)
    : FProcess({ORB_LATENCY_PROXY, FDir.Path().string(), std::to_string(TargetPort), std::to_string(DelayMs)},
               FDir / "stderr.log")
{
    std::string line;
    if (!FProcess.ReadLine(line, 15000) || line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the latency relay (" ORB_LATENCY_PROXY ") did not start: " +
                                 ReadText(FDir / "stderr.log"));
    FPort = std::stoi(line.substr(5));
}

int TLatencyProxy::Connections() const
{
    const std::string log = ReadText(FDir / "connections.log");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
}

// ---------------------------------------------------------------------------------------------------------------

TTLSDowngradeProxy::TTLSDowngradeProxy(int TargetPort)
    : FProcess({"python3", (SourceDir() / "tests/support/tls_downgrade_proxy.py").string(), FDir.Path().string(),
                std::to_string(TargetPort)},
               FDir / "stderr.log")
{
    std::string line;
    if (!FProcess.ReadLine(line, 15000) || line.rfind("PORT ", 0) != 0)
        throw std::runtime_error("the TLS downgrade relay (python3 tests/support/tls_downgrade_proxy.py) did not "
                                 "start: " +
                                 ReadText(FDir / "stderr.log"));
    FPort = std::stoi(line.substr(5));
}

std::vector<nlohmann::json> TTLSDowngradeProxy::Hellos() const
{
    std::vector<nlohmann::json> hellos;
    std::istringstream log(ReadText(FDir / "hellos.log"));
    std::string line;
    while (std::getline(log, line))
        if (!line.empty())
            hellos.push_back(nlohmann::json::parse(line));
    return hellos;
}

// ---------------------------------------------------------------------------------------------------------------

TTinyProxy::TTinyProxy(const std::string& User, const std::string& Password)
{
    std::string lastError;
    for (int attempt = 0; attempt < 3; ++attempt)
    {
        FPort = FreeLoopbackPort();
        const fs::path d = FDir.Path();
        std::ostringstream conf;
        conf << "Port " << FPort << "\n"
             << "Listen 127.0.0.1\n"
             << "Timeout 60\n"
             << "LogFile \"" << (d / "tinyproxy.log").string() << "\"\n"
             << "LogLevel Info\n"
             << "MaxClients 20\n"
             << "Allow 127.0.0.1\n"
             << "BasicAuth " << User << " " << Password << "\n";
        WriteText(d / "tinyproxy.conf", conf.str());
        // tinyproxy drops to this user's rights only when started as root; the log must stay writable for it.
        MakeWorldReadable(d);
        fs::permissions(d, fs::perms::all, fs::perm_options::add);
        FProcess = std::make_unique<TChildProcess>(
            std::vector<std::string>{FindProgram("tinyproxy"), "-d", "-c", (d / "tinyproxy.conf").string()},
            d / "stderr.log");
        if (WaitForPort(FPort, 10000) && FProcess->Running())
            return;
        FProcess->Stop();
        lastError = ReadText(d / "tinyproxy.log") + ReadText(d / "stderr.log");
    }
    throw std::runtime_error("tinyproxy did not start: " + lastError);
}

std::string TTinyProxy::Log() const
{
    return ReadText(FDir / "tinyproxy.log");
}

} // namespace orb::test
