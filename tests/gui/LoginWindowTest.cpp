#include "GuiTestApplication.h"
#include "LoginWindowViews.h"
#include "gui/Unit_ResetPassword.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "support/SecretService.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace orb
{
namespace
{

/// The login window on settings files written for each test, with the Qt views installed.
class LoginWindowTest : public ::testing::Test, protected test::TLoginWindowViews
{
protected:
    void SetUp() override
    {
        SetProcessLanguageStorage(nullptr);
        Dialogs.OnDialogShown = [this](QWidget& Box) {
            if (auto* box = qobject_cast<QMessageBox*>(&Box))
                Shown.push_back(box->text().toStdString());
            test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); });
        };
        InstallLoginViews();
    }
    void TearDown() override
    {
        Window.reset();
        LanguageCode = "en_US";
        ApplyLanguageDirection();
        ResetViews();
        ConnectionSettings.Clear();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
    }

    /// Writes the three files (the client's root attributes and children, the user's root attributes) and opens
    /// the window on them.
    void Open(const std::string& ClientAttributes, const std::string& ClientChildren = "",
              const std::string& UserAttributes = "last_login=\"\"",
              const std::string& EntryServer = "http://127.0.0.1:1/entry.php")
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"tarnel_update_url\" application=\"client\"><entry_servers><item url=\"" +
                             EntryServer +
                             "\"/></entry_servers><languages><item name=\"English\" value=\"en_US\"/>"
                             "<item name=\"Deutsch\" value=\"de_DE\"/></languages></m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c title=\"Orb Trader\" " + ClientAttributes +
                             "><entries><item name=\"Demo\" value=\"d\"/><item name=\"Real\" value=\"r\"/></entries>" +
                             ClientChildren + "</c>");
        test::WriteBytes(Dir / "user_loader_settings.xml",
                         "<user_loader_settings " + UserAttributes +
                             " language=\"en_US\"><proxy enabled=\"false\"/><alternate_server/><entries/>"
                             "</user_loader_settings>");
        StartOnSettings(Dir.Path(), WithLanguageTable);
    }

    /// The tab captions in order.
    std::vector<std::string> Tabs() const
    {
        std::vector<std::string> tabs;
        for (int i = 0; i < Window->TabControl->count(); ++i)
            tabs.push_back(Window->TabControl->tabText(i).toStdString());
        return tabs;
    }

    /// Language files under Dir/resource: English, German, Arabic and Hebrew texts of a few captions.
    std::string WriteLanguages()
    {
        const auto dir = Dir / "resource" / "language";
        std::filesystem::create_directories(dir);
        const auto write = [&](const char* Code, const std::string& Texts) {
            test::WriteBytes(dir / ("language_" + std::string(Code) + ".ini"),
                             "[Messages]\r\nPoweredByCaption=Orb {0}\r\n[Form_Orb_Loader]\r\n" + Texts);
        };
        write("en_US", "Label_Username.Caption=Username\r\nLabel_Password.Caption=Password\r\n"
                       "Label_AccountType.Caption=Account Type\r\nButton_OK.Caption=Login\r\n");
        write("de_DE", "Label_Username.Caption=Benutzername\r\nLabel_Password.Caption=Kennwort\r\n"
                       "Label_AccountType.Caption=Kontoart\r\nButton_OK.Caption=Anmelden\r\n");
        write("ar_KW",
              "Label_Username.Caption=\u0627\u0633\u0645 \u0627\u0644\u0645\u0633\u062a\u062e\u062f\u0645\r\n");
        write("he_IL", "Label_Username.Caption=\u05e9\u05dd \u05de\u05e9\u05ea\u05de\u05e9\r\n");
        return "last_login=\"anna\" resource_path=\"" + (Dir / "resource").string() + "\"";
    }

    /// The client file's languages beside the main file's English and Deutsch.
    static constexpr const char* RightToLeftLanguages =
        "<languages><item name=\"Arabic\" value=\"ar_KW\"/><item name=\"Hebrew\" value=\"he_IL\"/></languages>";

    /// Switches the language as choosing it in the box does.
    void ChooseLanguage(const char* Code)
    {
        const int index = Window->CB_Language->findData(QString::fromUtf8(Code));
        ASSERT_GE(index, 0) << Code;
        Window->CB_Language->setCurrentIndex(index);
        Window->CB_LanguageChange(index);
    }

    /// The object names of the widgets the Tab key reaches from From, in order, until it comes back.
    std::vector<std::string> TabChain(QWidget* From)
    {
        std::vector<std::string> chain;
        From->setFocus();
        for (int i = 0; i < 40; ++i)
        {
            QWidget* focus = QApplication::focusWidget();
            if (!focus)
                break;
            if (i > 0 && focus == From)
                break;
            chain.push_back(focus->objectName().toStdString());
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        return chain;
    }

    /// Selects the tab showing Page.
    void SelectPage(QWidget* Page) { Window->TabControl->setCurrentIndex(Window->PageControl->indexOf(Page)); }

    test::TempDir Dir;
    std::vector<std::string> Shown;
    bool WithLanguageTable = false;
};

TEST_F(LoginWindowTest, ClientFileDecidesWhichTabsExist)
{
    struct TCase
    {
        const char* Attributes;
        const char* Children;
        std::vector<std::string> Tabs;
    };
    const TCase cases[] = {
        {"", "", {"Login", "Settings"}},
        {"", "<preview_mode login=\"p\"/>", {"Preview", "Login", "Settings"}},
        {"", "<registration type=\"web\" url=\"http://r/\"/>", {"Login", "Register", "Settings"}},
        {"allow_settings=\"no\"", "<preview_mode/><registration type=\"web\"/>", {"Preview", "Login", "Register"}},
    };
    for (const auto& c : cases)
    {
        Open(c.Attributes, c.Children);
        EXPECT_EQ(Tabs(), c.Tabs) << c.Children;
        EXPECT_EQ(Window->PageControl->tabBar()->isVisible(), false);
        EXPECT_EQ(Window->windowTitle().toStdString(), "Orb Trader");
    }
}

TEST_F(LoginWindowTest, FirstTabIsLoginForARememberedUserElsePreview)
{
    Open("", "<preview_mode/>", "last_login=\"\"");
    EXPECT_EQ(Window->PageControl->currentWidget(), Window->TabSheet_Preview);
    EXPECT_EQ(Window->TabControl->currentIndex(), 0);
    Open("", "<preview_mode/>", "last_login=\"anna\"");
    EXPECT_EQ(Window->PageControl->currentWidget(), Window->TabSheet_Login);
    EXPECT_EQ(Window->TabControl->currentIndex(), 1);
    EXPECT_EQ(Window->Edit_Login->text(), "anna");
}

TEST_F(LoginWindowTest, LanguageListMergesClientFileIntoMainFile)
{
    Open("", "<languages><item name=\"deutsch\" value=\"de_AT\"/><item name=\"Francais\" value=\"fr_FR\"/>"
             "</languages>");
    ASSERT_EQ(Window->CB_Language->count(), 3);
    EXPECT_EQ(Window->CB_Language->itemText(1), "Deutsch");
    EXPECT_EQ(Window->CB_Language->itemData(1).toString(), "de_AT");
    EXPECT_EQ(Window->CB_Language->itemText(2), "Francais");
    EXPECT_EQ(Window->CB_Language->currentIndex(), 0) << "en_US is selected";
    EXPECT_EQ(Window->CB_Entry->count(), 2);
    EXPECT_EQ(Window->CB_Entry->currentText(), "Demo");
}

TEST_F(LoginWindowTest, LeavingTheSettingsPageSavesItIntoTheUserFile)
{
    Open("");
    SelectPage(Window->TabSheet_Settings);
    QTest::mouseClick(Window->CheckBox_UseProxy, Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_TRUE(Window->Edit_ProxyServer->isEnabled());
    QTest::keyClicks(Window->Edit_ProxyServer, "proxy.local");
    QTest::keyClicks(Window->Edit_ProxyPort, "3128");
    QTest::keyClicks(Window->Edit_ConfServer, "alt.local");
    EXPECT_EQ(test::ReadBytes(Dir / "user_loader_settings.xml").find("proxy.local"), std::string::npos)
        << "nothing is saved while the page shows";
    SelectPage(Window->TabSheet_Login);
    const std::string saved = test::ReadBytes(Dir / "user_loader_settings.xml");
    EXPECT_NE(saved.find("enabled=\"true\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("server=\"proxy.local\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("port=\"3128\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("server=\"alt.local\""), std::string::npos) << saved;
    EXPECT_EQ(Session->DataProvider.HTTP.HTTP_Client.ProxyServer, "proxy.local");
    EXPECT_EQ(Session->DataProvider.HTTP.HTTP_Client.ProxyPort, 3128);
}

TEST_F(LoginWindowTest, TheSystemProxyTakesThePlaceOfTheTypedOne)
{
    Open("");
    SelectPage(Window->TabSheet_Settings);
    QTest::mouseClick(Window->CheckBox_UseProxy, Qt::LeftButton, {}, QPoint(6, 10));
    QTest::keyClicks(Window->Edit_ProxyServer, "proxy.local");
    QTest::mouseClick(Window->CheckBox_SystemProxy, Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_FALSE(Window->CheckBox_UseProxy->isEnabled());
    EXPECT_FALSE(Window->Edit_ProxyServer->isEnabled());
    SelectPage(Window->TabSheet_Login);
    const std::string saved = test::ReadBytes(Dir / "user_loader_settings.xml");
    EXPECT_NE(saved.find("system=\"true\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("server=\"proxy.local\""), std::string::npos) << "the typed proxy stays stored";
    EXPECT_TRUE(Session->DataProvider.HTTP.HTTP_Client.ProxySystem);
    EXPECT_TRUE(Session->DataProvider.HTTP.HTTP_Client.ProxyServer.empty());

    SelectPage(Window->TabSheet_Settings);
    QTest::mouseClick(Window->CheckBox_SystemProxy, Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_TRUE(Window->Edit_ProxyServer->isEnabled()) << "the typed proxy is back as it was";
    SelectPage(Window->TabSheet_Login);
    EXPECT_FALSE(Session->DataProvider.HTTP.HTTP_Client.ProxySystem);
    EXPECT_EQ(Session->DataProvider.HTTP.HTTP_Client.ProxyServer, "proxy.local");
}

TEST_F(LoginWindowTest, OfflineModeDisablesTheSettingsPanel)
{
    Open("show_offline_mode=\"1\"");
    EXPECT_FALSE(Window->CheckBox_OfflineMode->isHidden());
    EXPECT_TRUE(Window->Edit_ConfServer->isEnabled());
    EXPECT_FALSE(Window->Edit_ProxyServer->isEnabled()) << "the proxy is off";
    SelectPage(Window->TabSheet_Settings);
    QTest::mouseClick(Window->CheckBox_OfflineMode, Qt::LeftButton);
    EXPECT_TRUE(Window->Flow.Offline);
    EXPECT_FALSE(Window->Panel_Settings->isEnabled());
    EXPECT_FALSE(Window->Edit_ConfServer->isEnabled());
    EXPECT_FALSE(Window->CheckBox_UseProxy->isEnabled());
    QTest::mouseClick(Window->CheckBox_OfflineMode, Qt::LeftButton);
    EXPECT_TRUE(Window->Edit_ConfServer->isEnabled());
    EXPECT_FALSE(Window->Edit_ProxyServer->isEnabled()) << "the proxy edits follow the proxy box";

    Open("");
    EXPECT_TRUE(Window->CheckBox_OfflineMode->isHidden());
}

TEST_F(LoginWindowTest, EnterInTheUserNameBoxLogsIn)
{
    Open("", "", "last_login=\"anna\" last_entry=\"Real\"");
    Window->show();
    // An account type left blank is refused by the input check.
    Window->CB_Entry->setEditText("  ");
    QTest::keyClick(Window->Edit_Login, Qt::Key_Return);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Unknown:PleaseInputUsername") << "no language table here";
    QTest::keyClick(Window->CB_Entry->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(Shown.size(), 2u) << "Enter in the account-type box logs in too";
    QTest::keyClick(Window->Edit_Login, Qt::Key_Escape);
    EXPECT_TRUE(Window->isVisible()) << "Escape does not close the main window";
    Shown.clear();

    // A real one goes to the entry server, which does not answer here: the login ends in an error report.
    Window->CB_Entry->setCurrentIndex(1);
    QTest::keyClick(Window->Edit_Login, Qt::Key_Enter);
    ASSERT_GE(Shown.size(), 1u);
    EXPECT_FALSE(Window->LoginFinished);
    EXPECT_TRUE(Window->isVisible());
    const std::string saved = test::ReadBytes(Dir / "user_loader_settings.xml");
    EXPECT_NE(saved.find("last_entry=\"Real\""), std::string::npos) << saved;
}

TEST_F(LoginWindowTest, WithoutAKeyringTheKeyringBoxIsOffAndSaysWhy)
{
    const test::TSessionBusScope bus(test::NoBusAddress());
    WithLanguageTable = true;
    Open("", "", "last_login=\"anna\" resource_path=\"" + (test::SourceDir() / "resource").string() + "\"");
    EXPECT_EQ(StripMnemonic(Window->CheckBox_Keyring->text()).toStdString(), "Save in system keyring");
    QTest::mouseClick(Window->CheckBox_SavePassword, Qt::LeftButton, {}, QPoint(6, 10));
    ASSERT_TRUE(Window->CheckBox_SavePassword->isChecked());
    EXPECT_FALSE(Window->CheckBox_Keyring->isEnabled()) << "Save Password alone does not enable it";
    EXPECT_FALSE(Window->CheckBox_Keyring->isChecked());
    const std::string english = Window->CheckBox_Keyring->toolTip().toStdString();
    EXPECT_EQ(english, LanguageTable->Get("KeyringNoSessionBus"));
    EXPECT_NE(english.find("no session bus"), std::string::npos) << english;

    ChooseLanguage("de_DE");
    const std::string german = Window->CheckBox_Keyring->toolTip().toStdString();
    EXPECT_EQ(german, LanguageTable->Get("KeyringNoSessionBus"));
    EXPECT_NE(german, english) << "the reason follows the language";
}

TEST_F(LoginWindowTest, TheKeyringBoxFollowsSavePasswordAndTheLoginStoresThere)
{
    test::TSecretService& keyring = test::TSecretService::Shared();
    const test::TSessionBusScope bus(keyring.Address());
    Open("", "", "last_login=\"\"");
    Window->show();
    SelectPage(Window->TabSheet_Login);
    EXPECT_FALSE(Window->CheckBox_Keyring->isEnabled()) << "no password saved, nothing to keep";
    EXPECT_TRUE(Window->CheckBox_Keyring->toolTip().isEmpty());
    QTest::mouseClick(Window->CheckBox_SavePassword, Qt::LeftButton, {}, QPoint(6, 10));
    ASSERT_TRUE(Window->CheckBox_Keyring->isEnabled());
    QTest::mouseClick(Window->CheckBox_Keyring, Qt::LeftButton, {}, QPoint(6, 10));
    ASSERT_TRUE(Window->CheckBox_Keyring->isChecked());

    Window->Edit_Login->setText("gina");
    Window->Edit_Password->setText("window pass");
    Window->CB_Entry->setCurrentIndex(0);
    // The entry server does not answer here: the login ends in an error report after the user file was saved.
    QTest::mouseClick(Window->Button_OK, Qt::LeftButton);
    EXPECT_FALSE(Shown.empty());
    EXPECT_EQ(keyring.Lookup(KeyringServiceName, "gina"), "window pass");
    const std::string saved = test::ReadBytes(Dir / "user_loader_settings.xml");
    EXPECT_NE(saved.find("password=\"\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("password_store=\"keyring\""), std::string::npos) << saved;

    // The next start finds both boxes ticked and the password back in its box.
    Open("", "", "last_login=\"gina\" password=\"\" password_store=\"keyring\"");
    EXPECT_EQ(Window->Edit_Password->text(), "window pass");
    EXPECT_TRUE(Window->CheckBox_SavePassword->isChecked());
    EXPECT_TRUE(Window->CheckBox_Keyring->isChecked());
    QTest::mouseClick(Window->CheckBox_SavePassword, Qt::LeftButton, {}, QPoint(6, 10));
    EXPECT_FALSE(Window->CheckBox_Keyring->isEnabled());
    platform::ForgetKeyring(KeyringServiceName, "gina");
}

TEST_F(LoginWindowTest, ForgotPasswordLinkChecksTheInputFirst)
{
    Open("", "", "last_login=\"\"");
    Window->show();
    EXPECT_FALSE(Window->ForgotPassword.MarenResetPassword);
    QTest::mouseClick(Window->Label_ForgotPassword, Qt::LeftButton);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Unknown:PleaseInputUsername");

    Open("", "<reset_password enable=\"true\" url=\"http://127.0.0.1:1/\"/>");
    EXPECT_TRUE(Window->ForgotPassword.MarenResetPassword);
    Open("remind_password=\"False\"");
    EXPECT_TRUE(Window->Label_ForgotPassword->isHidden());
}

TEST_F(LoginWindowTest, ResetPasswordWindowClosesOnlyOnAcceptableInput)
{
    TForm_ResetPassword reset;
    TResetPasswordInput input;
    bool checked = false;
    test::WhenModal([&] {
        QTest::keyClicks(reset.Edit_ResetCode, "123456");
        QTest::keyClicks(reset.Edit_NewPassword, "short");
        QTest::keyClicks(reset.Edit_ConfirmPassword, "short");
        QTest::mouseClick(reset.Button_Reset, Qt::LeftButton);
        EXPECT_EQ(Shown.size(), 1u) << "a too short password is refused";
        EXPECT_TRUE(reset.isVisible());
        reset.Edit_NewPassword->setText("longer4you");
        reset.Edit_ConfirmPassword->setText("longer4you");
        checked = true;
        QTest::mouseClick(reset.Button_Reset, Qt::LeftButton);
    });
    std::string code, password;
    EXPECT_TRUE(input.AskNewPassword(reset, code, password));
    EXPECT_TRUE(checked);
    EXPECT_EQ(code, "123456");
    EXPECT_EQ(password, "longer4you");
    EXPECT_EQ(reset.Edit_NewPassword->echoMode(), QLineEdit::Password);
}

TEST_F(LoginWindowTest, LanguageSwitchRetranslatesTheWindow)
{
    std::filesystem::create_directories(Dir / "resource" / "language");
    test::WriteBytes(Dir / "resource" / "language" / "language_en_US.ini",
                     "[Messages]\r\nPoweredByCaption=Powered by Orb Loader {0}\r\n[Form_Orb_Loader]\r\n"
                     "TabSheet_Login.Caption=Login\r\nButton_OK.Caption=Login\r\n");
    test::WriteBytes(Dir / "resource" / "language" / "language_de_DE.ini",
                     "[Messages]\r\nPoweredByCaption=Bereitgestellt {0}\r\n[Form_Orb_Loader]\r\n"
                     "TabSheet_Login.Caption=Anmelden\r\nButton_OK.Caption=Einloggen\r\n"
                     "Label_Version.Caption=Version\r\nEdit_Login.Text=x\r\n");
    WithLanguageTable = true;
    Open("", "", "last_login=\"anna\" resource_path=\"" + (Dir / "resource").string() + "\"");
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_EQ(Window->Label_PoweredBy->text(), "Powered by Orb Loader " + year);
    EXPECT_EQ(Tabs(), (std::vector<std::string>{"Login", "Settings"}));
    const QString version = Window->Label_Version->text();

    ASSERT_EQ(Window->CB_Language->itemData(1).toString(), "de_DE");
    Window->CB_Language->setCurrentIndex(1);
    Window->CB_LanguageChange(1);
    EXPECT_EQ(LanguageCode, "de_DE");
    EXPECT_EQ(Tabs(), (std::vector<std::string>{"Anmelden", "Settings"}));
    EXPECT_EQ(Window->Button_OK->text(), "&Einloggen") << "with a mnemonic of its own";
    EXPECT_EQ(Window->Label_PoweredBy->text(), "Bereitgestellt " + year);
    EXPECT_EQ(Window->Label_Version->text(), version) << "the version text is never translated";
    EXPECT_EQ(Window->Edit_Login->text(), "anna") << "nor the user name";
    EXPECT_EQ(test::ReadBytes(Dir / "user_loader_settings.xml").find("de_DE"), std::string::npos)
        << "the language is stored only at the next login";
}

TEST_F(LoginWindowTest, FitButtonWidthKeepsAtLeast100AndCentres)
{
    QWidget parent;
    parent.resize(300, 100);
    auto* button = new QPushButton("Login", &parent);
    QFont bold = button->font();
    bold.setBold(true);
    const int caption = QFontMetrics(bold).horizontalAdvance(button->text());
    // Caption plus extra space: 70 is widened to the minimum, 120 keeps its width plus the extra 10.
    const struct
    {
        int Measured;
        int Extra;
        int Width;
    } cases[] = {{70, 0, 100}, {120, 10, 130}, {100, 0, 100}};
    for (const auto& c : cases)
    {
        TForm_Orb_Loader::FitButtonWidth(button, c.Measured - caption + c.Extra);
        EXPECT_EQ(button->width(), c.Width) << c.Measured;
        EXPECT_EQ(button->x(), 150 - c.Width / 2);
    }
}

TEST_F(LoginWindowTest, ContrastTextColorIsWhiteUpTo128)
{
    EXPECT_EQ(TForm_Orb_Loader::ContrastTextColor(QColor(128, 128, 128)), QColor(Qt::white));
    EXPECT_EQ(TForm_Orb_Loader::ContrastTextColor(QColor(129, 129, 129)), QColor(Qt::black));
    // Brightness is rounded: 0.587 * 218 = 127.97 counts as 128, 0.587 * 219 = 128.55 as 129.
    EXPECT_EQ(TForm_Orb_Loader::ContrastTextColor(QColor(0, 218, 0)), QColor(Qt::white));
    EXPECT_EQ(TForm_Orb_Loader::ContrastTextColor(QColor(0, 219, 0)), QColor(Qt::black));
    EXPECT_EQ(TForm_Orb_Loader::ContrastTextColor(QColor()), QColor(Qt::white)) << "no colour";
}

TEST_F(LoginWindowTest, TabKeyWalksTheLoginPageFromAccountTypeToLogin)
{
    Open("show_offline_mode=\"\"", "<preview_mode/><skins><item name=\"Default\" value=\"Default\"/></skins>",
         "last_login=\"anna\"");
    Window->show();
    QApplication::setActiveWindow(Window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    EXPECT_EQ(TabChain(Window->CB_Entry),
              (std::vector<std::string>{"CB_Entry", "CB_Language", "Edit_Login", "Edit_Password",
                                        "CheckBox_SavePassword", "Button_OK", "Label_ForgotPassword", "TabControl"}))
        << "the hidden pages' inputs are passed over";
    SelectPage(Window->TabSheet_Settings);
    EXPECT_EQ(TabChain(Window->CheckBox_UseProxy),
              (std::vector<std::string>{"CheckBox_UseProxy", "CheckBox_SystemProxy", "Edit_ConfServer", "Edit_ConfPort",
                                        "CB_Skin", "CheckBox_OfflineMode", "TabControl"}))
        << "the proxy boxes are off until Use Proxy is checked";
}

TEST_F(LoginWindowTest, CaptionsGetMnemonicsThatReachTheirInputs)
{
    Open("show_offline_mode=\"\"", "<preview_mode/><skins><item name=\"Default\" value=\"Default\"/></skins>",
         "last_login=\"anna\"");
    Window->show();
    QApplication::setActiveWindow(Window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    // Each page has letters of its own, first letters of words first; a taken one moves to the next letter.
    const struct
    {
        QWidget* Page;
        QWidget* Control;
        const char* Caption;
        char Key;
        QWidget* Focus;
    } cases[] = {
        {Window->TabSheet_Login, Window->Label_Username, "&Username", 'U', Window->Edit_Login},
        {Window->TabSheet_Login, Window->Label_Password, "&Password", 'P', Window->Edit_Password},
        {Window->TabSheet_Login, Window->CheckBox_SavePassword, "&Save Password", 'S', Window->CheckBox_SavePassword},
        {Window->TabSheet_Login, Window->Label_AccountType, "&Account Type", 'A', Window->CB_Entry},
        {Window->TabSheet_Login, Window->Label_Language, "&Language", 'L', Window->CB_Language},
        {Window->TabSheet_Login, Window->Button_OK, "L&ogin", 0, nullptr},
        {Window->TabSheet_Preview, Window->Button_Preview, "&Login", 0, nullptr},
        {Window->TabSheet_Settings, Window->CheckBox_UseProxy, "&Use Proxy", 'U', Window->CheckBox_UseProxy},
        {Window->TabSheet_Settings, Window->Label_ConfServer, "S&erver :", 'E', Window->Edit_ConfServer},
        {Window->TabSheet_Settings, Window->Label_ConfPort, "P&ort :", 'O', Window->Edit_ConfPort},
        {Window->TabSheet_Settings, Window->Label_Skin, "S&kin Settings", 'K', Window->CB_Skin},
        {Window->TabSheet_Settings, Window->CheckBox_OfflineMode, "&Run the program in Off-line mode", 0, nullptr},
    };
    for (const auto& c : cases)
    {
        const QString caption = qobject_cast<QLabel*>(c.Control) ? qobject_cast<QLabel*>(c.Control)->text()
                                                                 : qobject_cast<QAbstractButton*>(c.Control)->text();
        EXPECT_EQ(caption.toStdString(), c.Caption);
        if (!c.Key)
            continue;
        SelectPage(c.Page);
        Window->TabControl->setFocus();
        QTest::keyClick(Window.get(), static_cast<Qt::Key>(c.Key), Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), c.Focus) << c.Caption;
    }
    EXPECT_FALSE(Window->CheckBox_OfflineMode->isChecked()) << "Alt+R was never pressed";
}

TEST_F(LoginWindowTest, AccessibleNamesComeFromTheCaptionsInTheCurrentLanguage)
{
    WithLanguageTable = true;
    Open("", "<skins><item name=\"Default\" value=\"Default\"/></skins>", WriteLanguages());
    const struct
    {
        QWidget* Control;
        const char* English;
        const char* German;
        const char* Description;
    } cases[] = {
        {Window->Edit_Login, "Username", "Benutzername", ""},
        {Window->Edit_Password, "Password", "Kennwort", ""},
        {Window->CB_Entry, "Account Type", "Kontoart", ""},
        {Window->CB_Language, "Language", "Language", ""},
        {Window->CheckBox_SavePassword, "Save Password", "Save Password", ""},
        {Window->Button_OK, "Login", "Anmelden", ""},
        {Window->Label_ForgotPassword, "Forgot My Password", "Forgot My Password", ""},
        {Window->Edit_ProxyServer, "Server", "Server", "HTTP Proxy Settings"},
        {Window->Edit_ProxyPassword, "Password", "Password", "HTTP Proxy Settings"},
        {Window->Edit_ConfServer, "Server", "Server", "Alternate Configuration Server"},
        {Window->Edit_ConfPort, "Port", "Port", "Alternate Configuration Server"},
        {Window->CB_Skin, "Skin Settings", "Skin Settings", ""},
        {Window->CheckBox_UseProxy, "Use Proxy", "Use Proxy", ""},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.Control->accessibleName().toStdString(), c.English) << c.Control->objectName().toStdString();
        EXPECT_EQ(c.Control->accessibleDescription().toStdString(), c.Description);
    }
    ChooseLanguage("de_DE");
    for (const auto& c : cases)
        EXPECT_EQ(c.Control->accessibleName().toStdString(), c.German) << c.Control->objectName().toStdString();
}

TEST_F(LoginWindowTest, ArabicAndHebrewLayEveryWindowOutRightToLeft)
{
    const struct
    {
        const char* Code;
        bool RightToLeft;
    } codes[] = {{"ar_KW", true}, {"AR", true}, {"he_IL", true}, {"en_US", false}, {"de_DE", false}, {"", false}};
    for (const auto& c : codes)
        EXPECT_EQ(IsRightToLeftLanguage(c.Code), c.RightToLeft) << c.Code;

    WithLanguageTable = true;
    Open("", std::string("<preview_mode/>") + RightToLeftLanguages, WriteLanguages());
    Window->show();
    const int sheet = Window->TabSheet_Login->width();
    const int okX = Window->Button_OK->x();
    const struct
    {
        const char* Code;
        bool RightToLeft;
    } steps[] = {{"ar_KW", true}, {"de_DE", false}, {"he_IL", true}, {"en_US", false}};
    for (const auto& step : steps)
    {
        ChooseLanguage(step.Code);
        const bool rtl = step.RightToLeft;
        EXPECT_EQ(QGuiApplication::layoutDirection() == Qt::RightToLeft, rtl) << step.Code;
        for (QWidget* window :
             {static_cast<QWidget*>(Window.get()), static_cast<QWidget*>(&Updater), static_cast<QWidget*>(&Progress)})
            EXPECT_EQ(window->isRightToLeft(), rtl) << window->objectName().toStdString() << " in " << step.Code;
        // The places are mirrored: the left column stands at the right edge with its tabs facing the page, the
        // inputs keep their distance from the other edge, and so do the update window's captions.
        EXPECT_EQ(Window->Panel_Left->x(), rtl ? 460 - 5 - 160 : 5) << step.Code;
        EXPECT_EQ(Window->PageControl->x(), rtl ? 460 - 170 - Window->PageControl->width() : 170);
        EXPECT_EQ(Window->TabControl->shape(), rtl ? QTabBar::RoundedEast : QTabBar::RoundedWest);
        EXPECT_EQ(Window->Edit_Login->x(), rtl ? sheet - 20 - Window->Edit_Login->width() : 20);
        EXPECT_EQ(Window->Button_OK->x(), rtl ? sheet - okX - Window->Button_OK->width() : okX);
        EXPECT_EQ(Updater.Label_UpdatingFileCaption->x(),
                  rtl ? 330 - 7 - Updater.Label_UpdatingFileCaption->width() : 7);
        EXPECT_EQ(Progress.Image->x(), rtl ? 255 - 53 : 0);
    }
    // A page first shown while the language is Arabic gets its final size then; its components follow it.
    ChooseLanguage("ar_KW");
    SelectPage(Window->TabSheet_Settings);
    const QWidget* page = Window->TabSheet_Settings;
    EXPECT_EQ(Window->Panel_Skin->geometry().right(), page->width() - 1 - 5);
    EXPECT_EQ(Window->Label_Version->geometry().right(), page->width() - 1 - 5);
}

TEST_F(LoginWindowTest, CtrlTabSwitchesPagesOnlyThroughTheTabs)
{
    Open("allow_settings=\"no\"", "<preview_mode/>", "last_login=\"anna\"");
    Window->show();
    QApplication::setActiveWindow(Window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Window->Edit_Login->setFocus();
    std::vector<QWidget*> pages;
    for (int i = 0; i < 3; ++i)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        pages.push_back(Window->PageControl->currentWidget());
        EXPECT_EQ(Window->TabControl->currentIndex(), Window->PageControl->currentIndex());
    }
    EXPECT_EQ(pages,
              (std::vector<QWidget*>{Window->TabSheet_Preview, Window->TabSheet_Login, Window->TabSheet_Preview}))
        << "the Settings page the client file removed is never reached";

    Open("", "", "last_login=\"anna\"");
    Window->show();
    QApplication::setActiveWindow(Window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    SelectPage(Window->TabSheet_Settings);
    QTest::keyClicks(Window->Edit_ConfServer, "alt.local");
    QTest::keyClick(Window->Edit_ConfServer, Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Window->PageControl->currentWidget(), Window->TabSheet_Login);
    EXPECT_NE(test::ReadBytes(Dir / "user_loader_settings.xml").find("alt.local"), std::string::npos)
        << "leaving the Settings page by keyboard saves it too";
}

TEST_F(LoginWindowTest, ForgotPasswordLinkOpensFromTheKeyboard)
{
    Open("", "", "last_login=\"\"");
    Window->show();
    QApplication::setActiveWindow(Window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get()));
    Window->Label_ForgotPassword->setFocus();
    EXPECT_EQ(Window->Label_ForgotPassword->frameShape(), QFrame::Box) << "the focus shows";
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return})
        QTest::keyClick(Window->Label_ForgotPassword, key);
    EXPECT_EQ(Shown, (std::vector<std::string>{"Unknown:PleaseInputUsername", "Unknown:PleaseInputUsername"}));
    Window->Edit_Login->setFocus();
    EXPECT_EQ(Window->Label_ForgotPassword->frameShape(), QFrame::NoFrame);
}

TEST_F(LoginWindowTest, WindowFontExistsOnThisSystem)
{
    Open("");
    const QFontInfo font(Window->font());
    EXPECT_EQ(font.family(), "DejaVu Sans") << "fonts-dejavu-core is installed by the setup";
    EXPECT_EQ(font.pointSize(), 8);
    EXPECT_EQ(QFontInfo(Window->Edit_Login->font()).family(), "DejaVu Sans");
}

} // namespace
} // namespace orb
