// orb-loader-cli: the launcher without a window, for kiosks, scripted installs and support staff.

#include "ConsoleViews.h"
#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "exception_dialog/SmartException.h"
#include "launcher/ExeVersion.h"
#include "launcher/LauncherSession.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "net/ProxySettings.h"
#include "platform/Console.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace
{

using namespace orb;

enum TExitCode
{
    ecStarted = 0,
    ecError = 1,
    ecUsage = 2,
    ecDeclined = 3
};

const char* const HelpText = R"(Usage: orb-loader-cli [options]

Logs in like the launcher's window does, without a window: reads main_loader_settings.xml,
client_loader_settings.xml and user_loader_settings.xml from the working directory, fetches the
connection settings of the account type, brings the client installation up to date and starts
the client with its connection parameters. The user file remembers the choices as the window does
(last login, account type, language, saved password).

Options:
  --login NAME        user name (default: the last login)
  --password-stdin    read the password from the first line of standard input
                      (default: the saved password)
  --save-password     remember the password (scrambled) in the user file, or in the keyring
  --forget-password   do not remember it; the saved password is removed
                      (default for both: remembered when a saved password was there)
  --keyring           remember the password in the system keyring (Secret Service) instead of
                      the user file, which then only notes that; implies --save-password
  --no-keyring        remember it scrambled in the user file; a keyring entry is removed
                      (default for both: where the saved password was)
  --entry TEXT        account type, by the name the list shows, its identifier, or any typed text
                      (default: the last account type)
  --language CODE     interface language, by code (de_DE) or name (default: the last language)
  --offline           start the newest installed client without contacting any server
                      (only when the installation offers off-line mode)
  --preview           log in with the installation's preview credentials
  --yes               answer Yes to every question (newer launcher, continue without auto-update)
  --no                answer No to every question
                      (default: ask on the terminal; without a terminal the answer is No)
  --list              print the account types and languages and exit
  --version           print the launcher's version and exit
  --help              this text

Progress goes to standard error as progress bars (file name, KB of the file and of the whole
update); information messages go to standard output, error reports to standard error.
Ctrl+C during a download cancels the update; the unfinished installation is not used.

Exit status:
  0  the client was started (or the setup page of a newer launcher was opened)
  1  an error ended the login (the report says which)
  2  bad usage: an unknown option, a missing value, or no account type or user name
  3  the user declined or cancelled (a question answered No, Ctrl+C)
)";

struct TOptions
{
    std::optional<std::string> Login, Entry, Language;
    bool PasswordStdin = false;
    std::optional<bool> SavePassword;
    std::optional<bool> Keyring;
    bool Offline = false, Preview = false, List = false;
    cli::TAnswerPolicy Policy = cli::TAnswerPolicy::apAsk;
};

[[noreturn]] void UsageError(const std::string& Text)
{
    std::cerr << "orb-loader-cli: " << Text << "\nTry \"orb-loader-cli --help\".\n";
    std::exit(ecUsage);
}

TOptions ParseOptions(int argc, char** argv)
{
    TOptions options;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                UsageError("option " + arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h")
        {
            std::cout << HelpText;
            std::exit(ecStarted);
        }
        else if (arg == "--version")
        {
            std::cout << "orb-loader-cli " << ExeVersion.VersionText() << "\n";
            std::exit(ecStarted);
        }
        else if (arg == "--login")
            options.Login = value();
        else if (arg == "--password-stdin")
            options.PasswordStdin = true;
        else if (arg == "--save-password" || arg == "--forget-password")
        {
            bool save = arg == "--save-password";
            if (options.SavePassword && *options.SavePassword != save)
                UsageError("--save-password and --forget-password exclude each other");
            options.SavePassword = save;
        }
        else if (arg == "--keyring" || arg == "--no-keyring")
        {
            bool keyring = arg == "--keyring";
            if (options.Keyring && *options.Keyring != keyring)
                UsageError("--keyring and --no-keyring exclude each other");
            options.Keyring = keyring;
        }
        else if (arg == "--entry")
            options.Entry = value();
        else if (arg == "--language")
            options.Language = value();
        else if (arg == "--offline")
            options.Offline = true;
        else if (arg == "--preview")
            options.Preview = true;
        else if (arg == "--list")
            options.List = true;
        else if (arg == "--yes" || arg == "--no")
        {
            auto policy = arg == "--yes" ? cli::TAnswerPolicy::apYes : cli::TAnswerPolicy::apNo;
            if (options.Policy != cli::TAnswerPolicy::apAsk && options.Policy != policy)
                UsageError("--yes and --no exclude each other");
            options.Policy = policy;
        }
        else
            UsageError("unknown option " + arg);
    }
    if (options.Offline && options.Preview)
        UsageError("--offline and --preview exclude each other");
    if (options.Keyring.value_or(false) && options.SavePassword == false)
        UsageError("--keyring and --forget-password exclude each other");
    return options;
}

// Interrupts arrive on their own thread: during a download they cancel it, otherwise they end the process as
// an interrupt would.
std::atomic<cli::TConsoleModalWait*> InterruptibleWait{nullptr};

void OnInterrupt(int Signal)
{
    cli::TConsoleModalWait* wait = InterruptibleWait.load();
    if (!wait || !wait->RequestCancel())
    {
        std::cerr << "\nInterrupted." << std::endl;
        std::_Exit(128 + Signal);
    }
}

std::string ReadPasswordLine()
{
    std::string line;
    std::getline(std::cin, line);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

int Run(const TOptions& options, cli::TConsoleDialogs& dialogs, TLauncherSession& session)
{
    TLoginFlow& flow = session.Flow;

    if (options.List)
    {
        std::cout << "Account types:\n";
        for (const auto& item : flow.Entries)
            std::cout << "  " << item.Name << " (" << item.Value << ")\n";
        std::cout << "Languages:\n";
        for (const auto& item : flow.Languages)
            std::cout << "  " << item.Value << " " << item.Name << "\n";
        return ecStarted;
    }

    if (options.Login)
        flow.Login = *options.Login;
    if (options.PasswordStdin)
    {
        flow.Password = ReadPasswordLine();
        dialogs.CanReadStdin = false;
    }
    if (options.SavePassword)
        flow.SavePassword = *options.SavePassword;
    if (options.Keyring)
    {
        flow.SaveInKeyring = *options.Keyring;
        if (*options.Keyring)
            flow.SavePassword = true;
    }
    if (options.Entry)
    {
        flow.SetEntryText(*options.Entry);
        for (size_t i = 0; flow.EntryIndex < 0 && i < flow.Entries.size(); ++i)
            if (SameText(flow.Entries[i].Value, *options.Entry))
            {
                flow.EntryIndex = static_cast<int>(i);
                flow.EntryText = flow.Entries[i].Name;
            }
    }
    if (options.Language)
    {
        int found = -1;
        for (size_t i = 0; found < 0 && i < flow.Languages.size(); ++i)
            if (SameText(flow.Languages[i].Value, *options.Language) ||
                SameText(flow.Languages[i].Name, *options.Language))
                found = static_cast<int>(i);
        if (found < 0)
            UsageError("unknown language " + *options.Language + " (see --list)");
        flow.LanguageIndex = found;
        if (!SameText(LanguageCode, flow.Languages[static_cast<size_t>(found)].Value))
        {
            LanguageCode = flow.Languages[static_cast<size_t>(found)].Value;
            LanguageTable->ChangeLanguage();
        }
    }
    if (options.Offline)
    {
        if (!OfflineModeOffered())
            UsageError("this installation does not offer off-line mode");
        flow.Offline = true;
    }
    if (options.Preview && !PreviewOffered())
        UsageError("this installation has no preview login");

    switch (flow.Button_OKClick(options.Preview))
    {
    case TLoginResult::lrStarted:
        std::cout << "The client was started." << std::endl;
        return ecStarted;
    case TLoginResult::lrSetupOpened:
        std::cout << "The setup page of the new launcher was opened." << std::endl;
        return ecStarted;
    case TLoginResult::lrInputRejected:
        return ecUsage;
    case TLoginResult::lrDeclined:
    default:
        return ecDeclined;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const TOptions options = ParseOptions(argc, argv);

    // Before any other thread exists, so that every thread leaves the interrupts to the watcher.
    platform::WatchInterrupts(OnInterrupt);

    // A system proxy that demands a password is answered on the terminal, once per run.
    SetProxyCredentialsPrompt([](const std::string& Proxy) -> std::optional<TProxyCredentials> {
        if (!platform::IsStdinTerminal())
            throw std::runtime_error("The proxy " + Proxy +
                                     " asks for a user name and password, and there is no terminal to ask on.");
        std::cerr << "The proxy " << Proxy << " asks for a user name and password.\nUser name: " << std::flush;
        std::string login;
        std::getline(std::cin, login);
        std::cerr << "Password: " << std::flush;
        std::string password = platform::ReadHiddenLine();
        std::cerr << std::endl;
        if (login.empty())
            return std::nullopt;
        return TProxyCredentials{login, password};
    });

    TQueuedMainThread mainThread;
    cli::TConsoleDialogs dialogs;
    dialogs.Policy = options.Policy;
    cli::TConsoleModalWait wait(mainThread);
    cli::TConsoleUpdateProgress progress;
    InstallViews(TViews{&mainThread, &dialogs, &wait, &progress});
    InterruptibleWait.store(&wait);
    // An interrupt during shutdown must not reach the wait once it is gone.
    struct TForgetWait
    {
        ~TForgetWait() { InterruptibleWait.store(nullptr); }
    } forgetWait;

    // Outside the try block, so that the language stays loaded while an error is reported.
    std::unique_ptr<TLauncherSession> session;
    try
    {
        session = std::make_unique<TLauncherSession>();
        session->Start();
        return Run(options, dialogs, *session);
    }
    catch (...)
    {
        auto failure = std::current_exception();
        ApplicationEventsException(LoginWindowClassName, failure);
        return IsUserCancellation(failure) ? ecDeclined : ecError;
    }
}
