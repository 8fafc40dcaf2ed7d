#include "support/SecretService.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace orb::test
{

namespace fs = std::filesystem;

namespace
{

/// The bus of a session, listening in Dir only; no service directories, so nothing is started on demand.
std::string BusConfig(const fs::path& Dir)
{
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
           (Dir / "bus").string() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

} // namespace

TSecretService::TSecretService(bool WithKeyring)
{
    for (const char* dir : {"home", "data", "runtime"})
        fs::create_directories(FDir / dir);
    fs::permissions(FDir / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    WriteBytes(FDir / "bus.conf", BusConfig(FDir.Path()));
    FBus = std::make_unique<TChildProcess>(std::vector<std::string>{"dbus-daemon", "--nofork", "--print-address=1",
                                                                    "--config-file=" + (FDir / "bus.conf").string()},
                                           FDir / "dbus.log");
    if (!FBus->ReadLine(FAddress, 15000) || FAddress.empty())
        throw std::runtime_error("the private session bus (dbus-daemon) did not start: " + ReadText(FDir / "dbus.log"));
    if (!WithKeyring)
        return;

    // "--unlock" takes the login keyring's password on standard input and creates that keyring when it is missing;
    // the login keyring is the default collection, where new entries go. Without it gnome-keyring would have to ask
    // through a prompter, which a session without a display does not have.
    WriteBytes(FDir / "unlock", "keyring-test-password");
    FKeyring = std::make_unique<TChildProcess>(
        std::vector<std::string>{"env", "HOME=" + (FDir / "home").string(), "XDG_DATA_HOME=" + (FDir / "data").string(),
                                 "XDG_RUNTIME_DIR=" + (FDir / "runtime").string(),
                                 "DBUS_SESSION_BUS_ADDRESS=" + FAddress, "gnome-keyring-daemon", "--components=secrets",
                                 "--unlock", "--foreground"},
        FDir / "keyring.log", FDir / "unlock");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;)
    {
        // The login keyring is ready once it can be searched.
        const std::string owner = Run({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                                       "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"});
        if (owner.find("boolean true") != std::string::npos && fs::exists(FDir / "data/keyrings/login.keyring"))
            break;
        if (!FKeyring->Running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the Secret Service (gnome-keyring-daemon) did not start on the private bus: " +
                                     ReadText(FDir / "keyring.log"));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TSecretService::~TSecretService()
{
    FKeyring.reset();
    FBus.reset();
}

std::string TSecretService::Run(const std::vector<std::string>& Argv, const std::string& Input) const
{
    std::vector<std::string> argv{"env", "DBUS_SESSION_BUS_ADDRESS=" + FAddress};
    argv.insert(argv.end(), Argv.begin(), Argv.end());
    fs::path input;
    if (!Input.empty())
    {
        input = FDir / "input";
        WriteBytes(input, Input);
    }
    TChildProcess child(argv, FDir / "tool.log", input);
    std::string output, line;
    while (child.ReadLine(line, 20000))
        output += line + "\n";
    child.Wait();
    if (!input.empty())
        fs::remove(input);
    return output;
}

std::optional<std::string> TSecretService::Lookup(const std::string& Service, const std::string& Key) const
{
    // QtKeychain's entries carry the attributes "server" (the service) and "user" (the key).
    std::vector<std::string> argv{
        "env", "DBUS_SESSION_BUS_ADDRESS=" + FAddress, "secret-tool", "lookup", "server", Service, "user", Key};
    TChildProcess child(argv, FDir / "tool.log");
    std::string output, line;
    bool first = true;
    while (child.ReadLine(line, 20000))
    {
        output += (first ? "" : "\n") + line;
        first = false;
    }
    // secret-tool ends with status 1 when nothing matches.
    if (child.Wait() != 0)
        return std::nullopt;
    return output;
}

void TSecretService::Store(const std::string& Service, const std::string& Key, const std::string& Secret) const
{
    Run({"secret-tool", "store", "--label=" + Service, "xdg:schema", "org.qt.keychain", "server", Service, "user", Key,
         "type", "plaintext"},
        Secret);
}

void TSecretService::LockAll() const
{
    Run({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
         "org.freedesktop.Secret.Service.Lock", "array:objpath:/org/freedesktop/secrets/collection/login"});
}

TSecretService& TSecretService::Shared()
{
    static TSecretService service;
    return service;
}

TSessionBusScope::TSessionBusScope(const std::string& Address)
{
    if (const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS"))
        FPrevious = previous;
    if (Address.empty())
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        setenv("DBUS_SESSION_BUS_ADDRESS", Address.c_str(), 1);
}

TSessionBusScope::~TSessionBusScope()
{
    if (FPrevious)
        setenv("DBUS_SESSION_BUS_ADDRESS", FPrevious->c_str(), 1);
    else
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
}

std::string NoBusAddress()
{
    return "unix:path=" + (fs::temp_directory_path() / "orb-no-bus-here" / "bus").string();
}

} // namespace orb::test
