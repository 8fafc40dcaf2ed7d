#include "GuiTestApplication.h"
#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_ResetPassword.h"
#include "gui/Unit_Updater.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
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
class LoginWindowTest : public ::testing::Test
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
        InstallViews({&MainThread, &Dialogs, &Waits, &Updater});
    }
    void TearDown() override
    {
        Window.reset();
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
        LoadLoaderSettings(Dir.Path());
        if (WithLanguageTable)
            LanguageTable = std::make_unique<TLanguage>();
        Window = std::make_unique<TForm_Orb_Loader>(Provider, ProgressRunner, Runner);
        Window->Start();
    }

    /// The tab captions in order.
    std::vector<std::string> Tabs() const
    {
        std::vector<std::string> tabs;
        for (int i = 0; i < Window->TabControl->count(); ++i)
            tabs.push_back(Window->TabControl->tabText(i).toStdString());
        return tabs;
    }

    /// Selects the tab showing Page.
    void SelectPage(QWidget* Page) { Window->TabControl->setCurrentIndex(Window->PageControl->indexOf(Page)); }

    test::TempDir Dir;
    TQtMainThread MainThread;
    TForm_Progress Progress;
    TForm_Updater Updater;
    TQtWaitWindows Waits{Progress, Updater};
    TQtDialogs Dialogs{nullptr};
    std::vector<std::string> Shown;
    TXMLDataProvider Provider;
    TProgressRunner ProgressRunner;
    TUpdateRunner Runner;
    std::unique_ptr<TForm_Orb_Loader> Window;
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
    EXPECT_EQ(Provider.HTTP.HTTP_Client.ProxyServer, "proxy.local");
    EXPECT_EQ(Provider.HTTP.HTTP_Client.ProxyPort, 3128);
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
    EXPECT_EQ(Window->Button_OK->text(), "Einloggen");
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

} // namespace
} // namespace orb
