#pragma once

#include "support/Servers.h"
#include "support/TempDir.h"

#include <memory>
#include <optional>
#include <string>

namespace orb::test
{

/// A private session bus (dbus-daemon) and, unless told otherwise, gnome-keyring's Secret Service on it, with its
/// "login" keyring created and unlocked in a throw-away home: the user's own bus and keyring are never touched.
class TSecretService
{
public:
    /// Starts the bus and (WithKeyring) the keyring daemon; raises std::runtime_error with their logs when either
    /// does not come up.
    explicit TSecretService(bool WithKeyring = true);
    ~TSecretService();

    /// The bus address, for DBUS_SESSION_BUS_ADDRESS.
    const std::string& Address() const { return FAddress; }
    /// The secret QtKeychain stored under Service and Key, read back with secret-tool; nothing when there is none.
    std::optional<std::string> Lookup(const std::string& Service, const std::string& Key) const;
    /// Stores Secret under Service and Key with secret-tool, as QtKeychain would.
    void Store(const std::string& Service, const std::string& Key, const std::string& Secret) const;
    /// Locks the login keyring: reading it then needs a prompter to unlock it, which a session without a display
    /// does not have.
    void LockAll() const;

    /// A process-wide instance, started at its first use and ended with the process: client libraries keep their
    /// first bus connection for the whole process, so one bus serves every test of it.
    static TSecretService& Shared();

private:
    std::string Run(const std::vector<std::string>& Argv, const std::string& Input = {}) const;

    TempDir FDir;
    std::unique_ptr<TChildProcess> FBus;
    std::unique_ptr<TChildProcess> FKeyring;
    std::string FAddress;
};

/// Points DBUS_SESSION_BUS_ADDRESS at Address (unset when empty) until the end of the scope.
class TSessionBusScope
{
public:
    explicit TSessionBusScope(const std::string& Address);
    ~TSessionBusScope();
    TSessionBusScope(const TSessionBusScope&) = delete;
    TSessionBusScope& operator=(const TSessionBusScope&) = delete;

private:
    std::optional<std::string> FPrevious;
};

/// An address where no bus listens.
std::string NoBusAddress();

} // namespace orb::test
