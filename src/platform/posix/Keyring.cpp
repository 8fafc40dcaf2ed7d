#include "platform/Keyring.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QStringList>
#include <qt6keychain/keychain.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>

namespace orb::platform
{

namespace
{

/// The bus name every Secret Service (gnome-keyring, KeePassXC, KWallet's bridge) owns.
const char* const SecretServiceName = "org.freedesktop.secrets";

/// QtKeychain's jobs and QtDBus need an application object; the window front end has one, the console and the tests
/// get one here. It lives until the process ends: tearing it down at exit would race Qt's own shutdown.
void EnsureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "orb-loader";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = new QCoreApplication(argc, argv);
    (void)application;
}

/// The address the keyring client libraries connect to: the environment's, else the systemd user bus.
QString SessionBusAddress()
{
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return QString::fromUtf8(address);
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
    {
        const std::filesystem::path socket = std::filesystem::path(runtime) / "bus";
        std::error_code error;
        if (std::filesystem::exists(socket, error))
            return QString::fromStdString("unix:path=" + socket.string());
    }
    return {};
}

/// Runs Job to its end in a local event loop: true when it succeeded, false when the entry does not exist; raises
/// EKeyringError for every other failure.
bool RunJob(QKeychain::Job& Job)
{
    QEventLoop loop;
    QObject::connect(&Job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    Job.setAutoDelete(false);
    Job.start();
    loop.exec();
    if (Job.error() == QKeychain::NoError)
        return true;
    if (Job.error() == QKeychain::EntryNotFound)
        return false;
    throw EKeyringError(Job.errorString().toStdString());
}

} // namespace

TKeyringState KeyringState()
{
    EnsureApplication();
    const QString address = SessionBusAddress();
    if (address.isEmpty())
        return TKeyringState::ksNoSessionBus;
    // A connection of its own for every question: the shared session connection would keep the first bus it found.
    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("orb-keyring-probe-%1").arg(++serial);
    TKeyringState state = TKeyringState::ksNoService;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(address, name);
        if (!bus.isConnected() || !bus.interface())
            state = TKeyringState::ksNoSessionBus;
        else if (bus.interface()->isServiceRegistered(QString::fromLatin1(SecretServiceName)).value())
            state = TKeyringState::ksAvailable;
        else
        {
            // A service the bus starts on demand counts as there.
            const QDBusReply<QStringList> activatable = bus.interface()->call(QStringLiteral("ListActivatableNames"));
            if (activatable.isValid() && activatable.value().contains(QString::fromLatin1(SecretServiceName)))
                state = TKeyringState::ksAvailable;
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return state;
}

std::optional<std::string> ReadKeyring(const std::string& Service, const std::string& Key)
{
    EnsureApplication();
    QKeychain::ReadPasswordJob job(QString::fromStdString(Service));
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(Key));
    if (!RunJob(job))
        return std::nullopt;
    return job.textData().toStdString();
}

void WriteKeyring(const std::string& Service, const std::string& Key, const std::string& Secret)
{
    EnsureApplication();
    QKeychain::WritePasswordJob job(QString::fromStdString(Service));
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(Key));
    job.setTextData(QString::fromStdString(Secret));
    if (!RunJob(job))
        throw EKeyringError("The keyring did not store the entry");
}

void ForgetKeyring(const std::string& Service, const std::string& Key)
{
    EnsureApplication();
    QKeychain::DeletePasswordJob job(QString::fromStdString(Service));
    job.setInsecureFallback(false);
    job.setKey(QString::fromStdString(Key));
    RunJob(job);
}

} // namespace orb::platform
