#pragma once

#include "base/Attributes.h"
#include "base/TextFile.h"
#include "exception_dialog/SmartException.h"
#include "launcher/LoaderSettings.h"
#include "net/ProgressRunner.h"
#include "net/XMLDataProvider.h"
#include "platform/Keyring.h"
#include "update/Unit_Updater.h"
#include "xml/VuvareXMLNode.h"

#include <exception>
#include <string>
#include <vector>

namespace orb
{

/// One item of a name/value list box (account types, languages, skins): the shown name and its value.
struct TListItem
{
    std::string Name;
    std::string Value;
};

/// How a login ended when it did not raise.
enum class TLoginResult
{
    lrStarted,       ///< the client was started; the launcher ends
    lrSetupOpened,   ///< the setup page of a newer launcher was opened instead; the launcher ends
    lrInputRejected, ///< the input check failed and told the user; nothing was saved
    lrDeclined       ///< the user declined to go on without auto-update; the launcher stays
};

/// The keyring's service name under which the saved password is kept, one entry per user name.
inline constexpr const char* KeyringServiceName = "orb-loader";

/// The class name reports give as the sender of the login window's errors.
inline constexpr const char* LoginWindowClassName = "TForm_Orb_Loader";

/// The login window without its widgets: the account-type, language and skin lists, the state of the inputs, and the
/// whole login from the input check to the client's start. It talks to the user only through the installed views,
/// so the window and the console front end share it.
class TLoginFlow
{
public:
    /// The flow on the loaded settings files, running its requests through the shared provider and Progress and its
    /// downloads through Updater.
    TLoginFlow(TXMLDataProvider& DataProvider, TProgressRunner& Progress, TUpdateRunner& Updater);

    /// Fills the lists and the inputs from the settings files as the login window starts: the last login, the saved
    /// password and the Save Password box, the account types with the last one selected, the languages with
    /// LanguageCode selected, the skins. A saved password that cannot be decoded is shown as a plain message.
    void Start();
    /// Rebuilds the account-type list: the client file's types, then the user's own.
    void FillEntries();

    /// The account types (the client file's, then the user's).
    std::vector<TListItem> Entries;
    /// The languages (the main file's, with the client file's additions and replacements).
    std::vector<TListItem> Languages;
    /// The skins of the client file.
    std::vector<TListItem> Skins;

    /// The text of the account-type box (the shown name of the selected item, or free text).
    std::string EntryText;
    /// The selected account type, or -1 when the text was typed.
    int EntryIndex = -1;
    /// The user-name box as typed.
    std::string Login;
    /// The password box.
    std::string Password;
    /// The Save Password box.
    bool SavePassword = false;
    /// The "Save in system keyring" box: a saved password goes to the keyring, the user file only notes that.
    bool SaveInKeyring = false;
    /// Whether the system keyring can be used (asked once by Start).
    platform::TKeyringState KeyringState = platform::TKeyringState::ksNoSessionBus;
    /// The language key of why the keyring cannot be used; empty when it can.
    std::string KeyringUnavailableKey() const;
    /// The selected language, or -1.
    int LanguageIndex = -1;
    /// The selected skin, or -1.
    int SkinIndex = -1;
    /// The skin the window starts in: the user file's, else the client file's default.
    std::string StartSkin;
    /// The off-line box.
    bool Offline = false;
    /// True while the current login was started from the Preview page.
    bool IsPreviewMode = false;
    /// Full path of the launcher handed to the client as "loader" (the running executable unless set).
    std::string LoaderPath;
    /// The directory that may hold a "setup_link" file (the working directory unless set).
    std::string WorkingDirectory;

    /// Selects the account type whose name equals Text (ignoring case), else keeps Text as typed.
    void SetEntryText(const std::string& Text);
    /// The entry identifier of this login: the preview entry, the selected item's value, or the typed text.
    std::string SelectedEntryValue() const;
    /// Warns and answers false when the account type or the user name is blank.
    bool CheckUserInput();
    /// The whole login. Preview is true for the Preview page's button. Errors are raised after the user file was
    /// saved; the caller hands them to ApplicationEventsException.
    TLoginResult Button_OKClick(bool Preview);

    /// The client file's skin list as one line of XML ("<skins>...</skins>").
    static std::string SkinsXml();
    /// The client file's account types as one line of XML ("<entries>...</entries>").
    static std::string EntriesXml();
    /// The client file's default skin, or "Default".
    static std::string DefaultSkinName();
    /// Sets the shared provider's proxy from the user file (none when it is not enabled).
    void ApplyProxySettings();
    /// Leaving the Settings page: stores Network and Skin (unless empty) in the user file, applies the proxy and
    /// writes the user file.
    void SaveSettings(const TNetworkSettings& Network, const std::string& Skin);

    /// Fetches "<BaseURL>index.xml" through the connection progress window and returns its root element.
    xml::IXMLNodePtr FetchUpdateIndex(const std::string& BaseURL);
    /// Merges the private update index into Index: its files replace or add entries, marked "private".
    static void MergePrivateIndex(const xml::IXMLNodePtr& Index, const xml::IXMLNodePtr& PrivateIndex);
    /// Brings the installation of Index up to date and returns its directory (ending with the separator).
    std::string UpdateClient(const xml::IXMLNodePtr& Index, const std::string& DownloadURL,
                             const std::string& PrivateDownloadURL);

private:
    void RememberEntry();
    void ReadSavedPassword();
    void StoreSavedPassword(const std::string& PreviousLogin);
    void ReportKeyringFailure(const std::string& Key, const std::string& Reason);
    void SetLaunchParameters();
    bool AskContinueWithoutUpdate();

    TXMLDataProvider& FDataProvider;
    TProgressRunner& FProgress;
    TUpdateRunner& FUpdater;
};

/// Opens URL in the user's browser; raises ESmartException with the URL and the error code when it cannot be opened.
void OpenUrlInBrowser(const std::string& URL);

/// The off-line mode's message when no installed client qualifies.
extern const char* const OfflineUnavailableMessage;
/// The question asked when the update index could not be fetched.
extern const char* const AutoUpdateUnavailableQuestion;

} // namespace orb
