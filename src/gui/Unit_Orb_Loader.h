#pragma once

#include "gui/QtForm.h"
#include "gui/SkinPackage.h"
#include "launcher/LauncherSession.h"
#include "launcher/LoginFlow.h"
#include "registration/ResetPassword.h"

#include <QColor>
#include <QPointer>

#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabBar;
class QTabWidget;
class QWebEngineView;

namespace orb
{

class TForm_Registration;

/// The launcher's main window: a left panel with the logo, the vertical tabs and the powered-by label, and the
/// pages Preview, Login, Registration and Settings. The lists, the inputs' start state and the login itself belong
/// to the login flow; the window only binds them to widgets.
class TForm_Orb_Loader : public TQtForm
{
    Q_OBJECT
public:
    /// Builds the window on the session's settings files and translates it; the login runs through its flow.
    explicit TForm_Orb_Loader(TLauncherSession& Session, QWidget* Parent = nullptr);
    ~TForm_Orb_Loader() override;

    /// Fills the window from the started session (once, after all windows exist).
    void Start();
    /// Rebuilds the account-type box and sets the window caption from the client file.
    void FillEntries();
    /// Fits the buttons, removes the tabs the client file does not offer and selects the first tab.
    void SetupTabs();

    /// The login of the Login page (or of the Preview page when Sender is Button_Preview).
    void Button_OKClick(QObject* Sender);
    /// Shows the page of the selected tab; leaving the Settings page saves it.
    void TabControlChange(int Index);
    /// Saves the Settings page into the user file and applies the proxy.
    void TabSheet_SettingsHide();
    /// Enables or disables the Settings panel by the off-line box.
    void CheckBox_OfflineModeClick();
    /// Enables the proxy edits exactly when the proxy box is checked.
    void CheckBox_UseProxyClick();
    /// Enables the keyring box when a password is saved and a keyring exists; without one its tooltip says why.
    void CheckBox_SavePasswordClick();
    /// Switches the interface language to the selected item.
    void CB_LanguageChange(int Index);
    /// Opens the registration site.
    void Label_URLClick();
    /// The Registration page became visible: "Visit website" for the web type, a fresh embedded wizard for the
    /// built-in type.
    void TabSheet_RegistrationShow();
    /// The Registration page was left: the embedded wizard goes (no question, no hand-back).
    void TabSheet_RegistrationHide();
    /// The embedded wizard closed; after the start-trading button (Ok) its new account logs in at once.
    void RegistrationClose(TForm_Registration& Sender, bool Ok);
    /// The wizard embedded in the Registration page, or none.
    TForm_Registration* FormRegistration() const;
    /// Refreshes the tab captions and the powered-by text after every translation.
    void PropertyManagerLanguageAfterLoad();

    /// Sets the width to the bold caption's width plus Extra, at least 100, and centres the button in its parent.
    static void FitButtonWidth(QPushButton* Button, int Extra);
    /// White for dark colours (brightness 128 or less), black otherwise.
    static QColor ContrastTextColor(const QColor& Color);
    /// Enables or disables Control with all its children.
    static void SetControlsEnabled(QWidget* Control, bool Enabled);

    /// Loads the skin file "<ResourcePath>/skins/<SkinValue>.skinres" (the Default file when it is missing) and
    /// applies its first skin to the application and every open window.
    void ApplySkin(const std::string& SkinValue);
    /// Applies the selected skin at once and recolours the disabled controls.
    void CB_SkinChange(int Index);
    /// Gives every label owned by Component, recursively, the window's font name and the skin's text colours.
    void RecolorLabels(QObject* Component) const;
    /// The colours in use: the applied skin, or the built-in look when no skin file exists at all.
    const TSkin& CurrentSkin() const { return FSkin; }
    /// The skin value last applied ("" before the first).
    const std::string& CurrentSkinValue() const { return FSkinValue; }

    /// Asks the password service (or the account type's server) for a new password.
    void Label_ForgotPasswordClick();

    /// The login without its widgets: the session's flow.
    TLoginFlow& Flow;
    /// The flow behind "Forgot My Password"; its ResetView is the password reset window, set at start-up.
    TForgotPassword ForgotPassword;

    QWebEngineView* WebBrowser = nullptr;       ///< the browser strip across the top; none when not configured
    QWidget* Panel_Main = nullptr;              ///< everything below the browser strip
    QFrame* Panel_Left = nullptr;               ///< the coloured left column
    QLabel* Image_Logo = nullptr;               ///< the logo
    QTabBar* TabControl = nullptr;              ///< the vertical tabs, the window's navigation
    QLabel* Label_PoweredBy = nullptr;          ///< the powered-by text
    QTabWidget* PageControl = nullptr;          ///< the pages, own tabs hidden
    QWidget* TabSheet_Preview = nullptr;        ///< the Preview page (removed when not offered)
    QLabel* Label_WelcomePreview = nullptr;     ///< "Welcome!"
    QLabel* Label_Preview = nullptr;            ///< the preview explanation
    QPushButton* Button_Preview = nullptr;      ///< logs in with the preview credentials
    QWidget* TabSheet_Login = nullptr;          ///< the Login page
    QLabel* Label_LoginInfo = nullptr;          ///< "Existing User"
    QLabel* Label_Username = nullptr;           ///< "Username"
    QLineEdit* Edit_Login = nullptr;            ///< the user name
    QLabel* Label_Password = nullptr;           ///< "Password"
    QLineEdit* Edit_Password = nullptr;         ///< the password, masked
    QCheckBox* CheckBox_SavePassword = nullptr; ///< "Save Password"
    QCheckBox* CheckBox_Keyring = nullptr;      ///< "Save in system keyring", under "Save Password"
    QLabel* Label_ForgotPassword = nullptr;     ///< "Forgot My Password"
    QLabel* Label_AccountType = nullptr;        ///< "Account Type"
    QComboBox* CB_Entry = nullptr;              ///< the account types, editable
    QLabel* Label_Language = nullptr;           ///< "Language"
    QComboBox* CB_Language = nullptr;           ///< the languages
    QPushButton* Button_OK = nullptr;           ///< "Login"
    QWidget* TabSheet_Registration = nullptr;   ///< the Registration page (removed when not offered)
    QLabel* Label_Registration = nullptr;       ///< "New User"
    QLabel* Label_URL = nullptr;                ///< "Visit website"
    QWidget* TabSheet_Settings = nullptr;       ///< the Settings page
    QFrame* Panel_Settings = nullptr;           ///< proxy and alternate server
    QLabel* Label_Proxy = nullptr;              ///< "HTTP Proxy Settings"
    QCheckBox* CheckBox_UseProxy = nullptr;     ///< "Use Proxy"
    QCheckBox* CheckBox_SystemProxy = nullptr;  ///< "Use system proxy settings"
    QFrame* Panel_ProxyServer = nullptr;        ///< the proxy edits
    QLabel* Label_ProxyServer = nullptr;        ///< "Server :"
    QLineEdit* Edit_ProxyServer = nullptr;      ///< proxy host
    QLabel* Label_ProxyPort = nullptr;          ///< "Port :"
    QLineEdit* Edit_ProxyPort = nullptr;        ///< proxy port
    QLabel* Label_ProxyLogin = nullptr;         ///< "Login"
    QLineEdit* Edit_ProxyLogin = nullptr;       ///< proxy user
    QLabel* Label_ProxyPassword = nullptr;      ///< "Password"
    QLineEdit* Edit_ProxyPassword = nullptr;    ///< proxy password, masked
    QFrame* Panel_AlternateServer = nullptr;    ///< the alternate configuration server
    QLabel* Label_AlternateServer = nullptr;    ///< "Alternate Configuration Server"
    QLabel* Label_ConfServer = nullptr;         ///< "Server :"
    QLineEdit* Edit_ConfServer = nullptr;       ///< alternate server host
    QLabel* Label_ConfPort = nullptr;           ///< "Port :"
    QLineEdit* Edit_ConfPort = nullptr;         ///< alternate server port
    QFrame* Panel_Skin = nullptr;               ///< shown only when skins are offered
    QLabel* Label_Skin = nullptr;               ///< "Skin Settings"
    QComboBox* CB_Skin = nullptr;               ///< the skins
    QCheckBox* CheckBox_OfflineMode = nullptr;  ///< "Run the program in Off-line mode"
    QLabel* Label_Version = nullptr;            ///< "Loader version - " and the version

    /// The last login ended by starting the client or opening the setup page (the window then closes).
    bool LoginFinished = false;

protected:
    /// Gives the pages' captions their mnemonics and the inputs their accessible names after every translation.
    void LanguageLoaded() override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void BuildLayout();
    void ReadInputs();
    void RemovePage(QWidget*& Page);
    void PlaceRegistration();
    QWidget* FCurrentPage = nullptr;
    QPointer<TForm_Registration> FFormRegistration;
    TSkin FSkin;
    /// The widgets whose own palette the applied skin set; the next skin resets them first.
    std::vector<QPointer<QWidget>> FSkinnedWidgets;
    std::string FSkinValue;
    bool FSkinApplied = false;
};

} // namespace orb
