#include "gui/Unit_Orb_Loader.h"

#include "base/Views.h"
#include "exception_dialog/SmartException.h"
#include "gui/RegistrationForm.h"
#include "gui/Unit_SmartException.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/ExeVersion.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "platform/ShellOpen.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <type_traits>

namespace orb
{

namespace
{

QString Q(const std::string& Text)
{
    return QString::fromStdString(Text);
}

template <class T> T* Make(QWidget* Parent, const char* Name, const QString& Text, int X, int Y, int W, int H)
{
    T* widget = nullptr;
    if constexpr (std::is_constructible_v<T, QString, QWidget*>)
        widget = new T(Text, Parent);
    else
        widget = new T(Parent);
    widget->setObjectName(Name);
    widget->setGeometry(X, Y, W, H);
    return widget;
}

const int PageWidth = 460 - 5 - 160 - 5 - 5;

} // namespace

TForm_Orb_Loader::TForm_Orb_Loader(TLauncherSession& Session, QWidget* Parent)
    : TQtForm("TForm_Orb_Loader", Parent), Flow(Session.Flow)
{
    TXMLDataProvider& DataProvider = Session.DataProvider;
    TProgressRunner& Progress = Session.Progress;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The window's design font does not exist on Linux; the desktop's sans-serif face at the same size does.
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    setFont(font);
    BuildLayout();

    Label_Version->setText(Label_Version->text() + Q(ExeVersion.VersionText()));
    ForgotPassword.ReadResetPasswordSettings(SettingsElement(ClientSettings, "reset_password"));
    ForgotPassword.Progress = &Progress;
    ForgotPassword.DataProvider = &DataProvider;
    ForgotPassword.ConnectionSettings = &ConnectionSettings;
    ForgotPassword.CheckUserInput = [this] {
        ReadInputs();
        return Flow.CheckUserInput();
    };
    ForgotPassword.FetchConnectionSettings = [Provider = &DataProvider, Runner = &Progress](const std::string& Entry) {
        orb::FetchConnectionSettings(Entry, *Provider, *Runner);
    };
    if (!PoweredByShown())
        Label_PoweredBy->hide();

    PropertyManager.LanguageSection = "Form_Orb_Loader";
    PropertyManager.LanguageStringsSection = "Strings";
    PropertyManager.SetCommonItemSeparator(";");
    PropertyManager.SetCommonLineSeparator("\\n");
    PropertyManager.LanguageComponentIngnoreList = {"WebBrowser.",      "Caption",         "CB_Entry.Text",
                                                    "CB_Language.Text", "Edit_Login.Text", "Label_Version.Caption"};
    PropertyManager.OnLanguageAfterLoad = [this](TPropertyManager&) { PropertyManagerLanguageAfterLoad(); };
    PropertyManager.LanguageAutoLoad = altAfterCreate;
    FinishCreate(true);
}

TForm_Orb_Loader::~TForm_Orb_Loader() = default;

void TForm_Orb_Loader::BuildLayout()
{
    setFixedSize(460, 485);
    Panel_Main = Make<QWidget>(this, "Panel_Main", {}, 0, 0, 460, 485);

    Panel_Left = Make<QFrame>(Panel_Main, "Panel_Left", {}, 5, 5, 160, 475);
    Panel_Left->setAutoFillBackground(true);
    Image_Logo = Make<QLabel>(Panel_Left, "Image_Logo", {}, 48, 8, 64, 64);
    Image_Logo->setAlignment(Qt::AlignCenter);
    TabControl = Make<QTabBar>(Panel_Left, "TabControl", {}, 0, 84, 160, 360);
    TabControl->setUsesScrollButtons(false);
    TabControl->setShape(QTabBar::RoundedWest);
    TabControl->setExpanding(false);
    QFont tabFont = TabControl->font();
    tabFont.setBold(true);
    tabFont.setPixelSize(16);
    TabControl->setFont(tabFont);
    for (const char* caption : {"Preview", "Login", "Register", "Settings"})
        TabControl->addTab(caption);
    Label_PoweredBy = Make<QLabel>(Panel_Left, "Label_PoweredBy", {}, 0, 475 - 24, 160, 20);
    Label_PoweredBy->setAlignment(Qt::AlignCenter);
    QFont small = Label_PoweredBy->font();
    small.setPixelSize(9);
    Label_PoweredBy->setFont(small);

    PageControl = Make<QTabWidget>(Panel_Main, "PageControl", {}, 170, 5, PageWidth, 475);
    auto page = [this](const char* Name, const char* Caption) {
        auto* sheet = new QWidget;
        sheet->setObjectName(Name);
        // The page's size as shown, so that centring its buttons works before the window is first shown.
        sheet->resize(PageWidth - 4, 475 - 4);
        PageControl->addTab(sheet, Caption);
        return sheet;
    };
    const int w = PageWidth - 40;

    TabSheet_Preview = page("TabSheet_Preview", "Preview");
    Label_WelcomePreview = Make<QLabel>(TabSheet_Preview, "Label_WelcomePreview", "Welcome!", 20, 40, w, 30);
    QFont heading = Label_WelcomePreview->font();
    heading.setBold(true);
    heading.setPixelSize(18);
    Label_WelcomePreview->setFont(heading);
    Label_Preview =
        Make<QLabel>(TabSheet_Preview, "Label_Preview",
                     "Explore full functionality of the trading platform without signing in!", 20, 80, w, 60);
    Label_Preview->setWordWrap(true);
    Button_Preview = Make<QPushButton>(TabSheet_Preview, "Button_Preview", "Login", 20, 160, 100, 28);

    TabSheet_Login = page("TabSheet_Login", "Login");
    Label_LoginInfo = Make<QLabel>(TabSheet_Login, "Label_LoginInfo", "Existing User", 20, 20, w, 30);
    Label_LoginInfo->setFont(heading);
    Label_Username = Make<QLabel>(TabSheet_Login, "Label_Username", "Username", 20, 62, w, 16);
    Edit_Login = Make<QLineEdit>(TabSheet_Login, "Edit_Login", "tessel_test", 20, 80, w, 24);
    Label_Password = Make<QLabel>(TabSheet_Login, "Label_Password", "Password", 20, 112, w, 16);
    Edit_Password = Make<QLineEdit>(TabSheet_Login, "Edit_Password", {}, 20, 130, w, 24);
    Edit_Password->setEchoMode(QLineEdit::Password);
    CheckBox_SavePassword = Make<QCheckBox>(TabSheet_Login, "CheckBox_SavePassword", "Save Password", 20, 160, 110, 20);
    CheckBox_Keyring =
        Make<QCheckBox>(TabSheet_Login, "CheckBox_Keyring", "Save in system keyring", 38, 182, w - 18, 20);
    Label_ForgotPassword =
        Make<QLabel>(TabSheet_Login, "Label_ForgotPassword", "Forgot My Password", 130, 160, w - 110, 20);
    Label_ForgotPassword->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label_ForgotPassword->setCursor(Qt::PointingHandCursor);
    QFont link = Label_ForgotPassword->font();
    link.setUnderline(true);
    Label_ForgotPassword->setFont(link);
    Label_AccountType = Make<QLabel>(TabSheet_Login, "Label_AccountType", "Account Type", 20, 214, w, 16);
    CB_Entry = Make<QComboBox>(TabSheet_Login, "CB_Entry", {}, 20, 232, w, 24);
    CB_Entry->setEditable(true);
    CB_Entry->setInsertPolicy(QComboBox::NoInsert);
    Label_Language = Make<QLabel>(TabSheet_Login, "Label_Language", "Language", 20, 264, w, 16);
    CB_Language = Make<QComboBox>(TabSheet_Login, "CB_Language", {}, 20, 282, w, 24);
    CB_Language->setMaxVisibleItems(12);
    Button_OK = Make<QPushButton>(TabSheet_Login, "Button_OK", "Login", 20, 332, 100, 28);
    Button_OK->setDefault(true);

    TabSheet_Registration = page("TabSheet_Registration", "Register");
    Label_Registration = Make<QLabel>(TabSheet_Registration, "Label_Registration", "New User", 20, 20, w, 30);
    Label_Registration->setFont(heading);
    Label_URL = Make<QLabel>(TabSheet_Registration, "Label_URL", "Visit website", 20, 70, w, 30);
    QFont bigLink = heading;
    bigLink.setBold(false);
    bigLink.setUnderline(true);
    Label_URL->setFont(bigLink);
    Label_URL->setCursor(Qt::PointingHandCursor);

    TabSheet_Settings = page("TabSheet_Settings", "Settings");
    Panel_Settings = Make<QFrame>(TabSheet_Settings, "Panel_Settings", {}, 5, 5, PageWidth - 16, 290);
    Label_Proxy = Make<QLabel>(Panel_Settings, "Label_Proxy", "HTTP Proxy Settings", 10, 5, w, 20);
    QFont bold = Label_Proxy->font();
    bold.setBold(true);
    Label_Proxy->setFont(bold);
    CheckBox_UseProxy = Make<QCheckBox>(Panel_Settings, "CheckBox_UseProxy", "Use Proxy", 10, 28, 160, 20);
    CheckBox_SystemProxy =
        Make<QCheckBox>(Panel_Settings, "CheckBox_SystemProxy", "Use system proxy settings", 175, 28, w - 175, 20);
    Panel_ProxyServer = Make<QFrame>(Panel_Settings, "Panel_ProxyServer", {}, 0, 50, PageWidth - 16, 120);
    auto row = [](QWidget* Parent, const char* LabelName, const char* EditName, const char* Caption, int Y,
                  QLabel*& Label, QLineEdit*& Edit) {
        Label = Make<QLabel>(Parent, LabelName, Caption, 10, Y, 80, 22);
        Edit = Make<QLineEdit>(Parent, EditName, {}, 90, Y, 160, 22);
    };
    row(Panel_ProxyServer, "Label_ProxyServer", "Edit_ProxyServer", "Server :", 0, Label_ProxyServer, Edit_ProxyServer);
    row(Panel_ProxyServer, "Label_ProxyPort", "Edit_ProxyPort", "Port :", 28, Label_ProxyPort, Edit_ProxyPort);
    row(Panel_ProxyServer, "Label_ProxyLogin", "Edit_ProxyLogin", "Login", 56, Label_ProxyLogin, Edit_ProxyLogin);
    row(Panel_ProxyServer, "Label_ProxyPassword", "Edit_ProxyPassword", "Password", 84, Label_ProxyPassword,
        Edit_ProxyPassword);
    Edit_ProxyPassword->setEchoMode(QLineEdit::Password);
    Panel_AlternateServer = Make<QFrame>(Panel_Settings, "Panel_AlternateServer", {}, 0, 175, PageWidth - 16, 110);
    Label_AlternateServer =
        Make<QLabel>(Panel_AlternateServer, "Label_AlternateServer", "Alternate Configuration Server", 10, 0, w, 20);
    Label_AlternateServer->setFont(bold);
    row(Panel_AlternateServer, "Label_ConfServer", "Edit_ConfServer", "Server :", 26, Label_ConfServer,
        Edit_ConfServer);
    row(Panel_AlternateServer, "Label_ConfPort", "Edit_ConfPort", "Port :", 54, Label_ConfPort, Edit_ConfPort);
    Panel_Skin = Make<QFrame>(TabSheet_Settings, "Panel_Skin", {}, 5, 300, PageWidth - 16, 60);
    Label_Skin = Make<QLabel>(Panel_Skin, "Label_Skin", "Skin Settings", 10, 0, w, 20);
    Label_Skin->setFont(bold);
    CB_Skin = Make<QComboBox>(Panel_Skin, "CB_Skin", {}, 10, 24, 160, 24);
    CheckBox_OfflineMode =
        Make<QCheckBox>(TabSheet_Settings, "CheckBox_OfflineMode", "Run the program in Off-line mode", 15, 370, w, 20);
    Label_Version = Make<QLabel>(TabSheet_Settings, "Label_Version", "Loader version - ", 5, 420, PageWidth - 20, 20);
    Label_Version->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    connect(TabControl, &QTabBar::currentChanged, this, [this](int i) { Guarded([&] { TabControlChange(i); }); });
    connect(Button_OK, &QPushButton::clicked, this, [this] { Button_OKClick(Button_OK); });
    connect(Button_Preview, &QPushButton::clicked, this, [this] { Button_OKClick(Button_Preview); });
    connect(CheckBox_OfflineMode, &QCheckBox::clicked, this,
            [this] { Guarded([this] { CheckBox_OfflineModeClick(); }); });
    connect(CheckBox_UseProxy, &QCheckBox::clicked, this, [this] { Guarded([this] { CheckBox_UseProxyClick(); }); });
    connect(CheckBox_SystemProxy, &QCheckBox::clicked, this, [this] { Guarded([this] { CheckBox_UseProxyClick(); }); });
    // Toggled, not clicked: a password saved at start or handed back by the registration counts as well.
    connect(CheckBox_SavePassword, &QCheckBox::toggled, this,
            [this] { Guarded([this] { CheckBox_SavePasswordClick(); }); });
    connect(CB_Language, &QComboBox::activated, this, [this](int i) { Guarded([&] { CB_LanguageChange(i); }); });
    connect(CB_Skin, &QComboBox::activated, this, [this](int i) { Guarded([&] { CB_SkinChange(i); }); });
    Label_URL->installEventFilter(this);
    Label_ForgotPassword->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(Edit_Login), static_cast<QWidget*>(Edit_Password),
                       static_cast<QWidget*>(CB_Entry), static_cast<QWidget*>(CB_Language)})
        w->installEventFilter(this);

    // Keyboard: each caption's mnemonic reaches its input; the Tab key walks the Login page from the account type
    // to the Login button, then the other pages' inputs, then the tabs; the "Forgot My Password" link takes the
    // focus and opens with Space or Enter; Ctrl+Tab switches pages through the tabs.
    const std::pair<QLabel*, QWidget*> buddies[] = {{Label_Username, Edit_Login},
                                                    {Label_Password, Edit_Password},
                                                    {Label_AccountType, CB_Entry},
                                                    {Label_Language, CB_Language},
                                                    {Label_ProxyServer, Edit_ProxyServer},
                                                    {Label_ProxyPort, Edit_ProxyPort},
                                                    {Label_ProxyLogin, Edit_ProxyLogin},
                                                    {Label_ProxyPassword, Edit_ProxyPassword},
                                                    {Label_ConfServer, Edit_ConfServer},
                                                    {Label_ConfPort, Edit_ConfPort},
                                                    {Label_Skin, CB_Skin}};
    for (const auto& [label, input] : buddies)
        label->setBuddy(input);
    Label_ForgotPassword->setFocusPolicy(Qt::TabFocus);
    // The page control would hand the focus on to its hidden tabs, where it gets stuck.
    PageControl->setFocusPolicy(Qt::NoFocus);
    const std::vector<QWidget*> tabOrder = {
        Button_Preview,        CB_Entry,         CB_Language,    Edit_Login,           Edit_Password,
        CheckBox_SavePassword, CheckBox_Keyring, Button_OK,      Label_ForgotPassword, CheckBox_UseProxy,
        CheckBox_SystemProxy,  Edit_ProxyServer, Edit_ProxyPort, Edit_ProxyLogin,      Edit_ProxyPassword,
        Edit_ConfServer,       Edit_ConfPort,    CB_Skin,        CheckBox_OfflineMode, TabControl};
    for (size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
    // Through the tabs, not the page control's own (hidden) ones, which would reach a page the client file
    // removed and skip the Settings page's save.
    const auto step = [this](int Step) {
        if (const int count = TabControl->count(); count > 1)
            TabControl->setCurrentIndex((TabControl->currentIndex() + Step + count) % count);
    };
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::NextChild), QKeySequence(Qt::CTRL | Qt::Key_PageDown)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [step] { step(1); });
    for (const QKeySequence& keys : {QKeySequence(QKeySequence::PreviousChild), QKeySequence(Qt::CTRL | Qt::Key_PageUp),
                                     QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, [step] { step(-1); });
}

void TForm_Orb_Loader::LanguageLoaded()
{
    // Only the page on show takes its mnemonics, so each page has a set of letters of its own.
    // The keyring box last, so that the letters the other captions had stay theirs.
    AssignMnemonics({Label_Username, Label_Password, CheckBox_SavePassword, Label_AccountType, Label_Language,
                     Button_OK, CheckBox_Keyring});
    AssignMnemonics({Button_Preview});
    AssignMnemonics({CheckBox_UseProxy, Label_ProxyServer, Label_ProxyPort, Label_ProxyLogin, Label_ProxyPassword,
                     Label_ConfServer, Label_ConfPort, Label_Skin, CheckBox_OfflineMode,
                     // Last, so that the letters the other captions had stay theirs.
                     CheckBox_SystemProxy});
    TQtForm::LanguageLoaded();
    // The proxy's and the alternate server's boxes share their captions: the group tells them apart.
    for (QWidget* input : {static_cast<QWidget*>(Edit_ProxyServer), static_cast<QWidget*>(Edit_ProxyPort),
                           static_cast<QWidget*>(Edit_ProxyLogin), static_cast<QWidget*>(Edit_ProxyPassword)})
        input->setAccessibleDescription(StripMnemonic(Label_Proxy->text()));
    for (QWidget* input : {static_cast<QWidget*>(Edit_ConfServer), static_cast<QWidget*>(Edit_ConfPort)})
        input->setAccessibleDescription(StripMnemonic(Label_AlternateServer->text()));
    Label_ForgotPassword->setAccessibleName(StripMnemonic(Label_ForgotPassword->text()));
    // The reason the keyring cannot be used, in the new language.
    CheckBox_SavePasswordClick();
}

void TForm_Orb_Loader::Start()
{
    Label_ForgotPassword->setVisible(RemindPasswordSetting());
    Edit_Login->setText(Q(Flow.Login));
    Edit_Password->setText(Q(Flow.Password));
    CheckBox_Keyring->setChecked(Flow.SaveInKeyring);
    CheckBox_SavePassword->setChecked(Flow.SavePassword);
    CheckBox_SavePasswordClick();

    const TNetworkSettings network = NetworkSettings();
    CheckBox_UseProxy->setChecked(network.ProxyEnabled);
    CheckBox_SystemProxy->setChecked(network.ProxySystem);
    Edit_ProxyServer->setText(Q(network.ProxyServer));
    Edit_ProxyPort->setText(Q(network.ProxyPort));
    Edit_ProxyLogin->setText(Q(network.ProxyLogin));
    Edit_ProxyPassword->setText(Q(network.ProxyPassword));
    Edit_ConfServer->setText(Q(network.AlternateServer));
    Edit_ConfPort->setText(Q(network.AlternatePort));

    FillEntries();
    CB_Language->clear();
    for (const auto& item : Flow.Languages)
        CB_Language->addItem(Q(item.Name), Q(item.Value));
    CB_Language->setCurrentIndex(Flow.LanguageIndex);

    CheckBox_OfflineMode->setVisible(OfflineModeOffered());
    QIcon icon(Q(ApplicationIconFile()));
    if (icon.availableSizes().isEmpty())
        QApplication::setWindowIcon(QIcon());
    else
    {
        QApplication::setWindowIcon(icon);
        const int side = Panel_Left->width() / 2;
        Image_Logo->setPixmap(icon.pixmap(side, side));
        Image_Logo->setGeometry((Panel_Left->width() - side) / 2, 8, side, side);
    }

    SetupTabs();

    CB_Skin->clear();
    for (const auto& item : Flow.Skins)
        CB_Skin->addItem(Q(item.Name), Q(item.Value));
    Panel_Skin->setVisible(CB_Skin->count() > 0);
    CB_Skin->setCurrentIndex(Flow.SkinIndex);
    try
    {
        ApplySkin(Flow.StartSkin);
    }
    catch (...)
    {
        // A broken skin file is reported, and the launcher goes on in the built-in look.
        ApplicationEventsException(LoginWindowClassName, std::current_exception());
    }

    CheckBox_OfflineModeClick();

    // The browser strip above the login panel exists only when the client file names a page for it; the browser
    // engine costs start-up time, so without a strip it is never created.
    const TBrowserStripSetting strip = BrowserStripSetting();
    if (!strip.Url.empty())
    {
        // A size that is missing or not a positive number keeps the panel's width and the strip's design height.
        const int stripWidth = strip.Width > 0 ? strip.Width : Panel_Main->width();
        const int stripHeight = strip.Height > 0 ? strip.Height : 27;
        WebBrowser = new QWebEngineView(this);
        WebBrowser->setObjectName("WebBrowser");
        WebBrowser->setGeometry(0, 0, stripWidth, stripHeight);
        // A strip wider than the panel centres the panel below it.
        Panel_Main->move(std::max(0, (stripWidth - Panel_Main->width()) / 2), stripHeight);
        setFixedSize(stripWidth, stripHeight + Panel_Main->height());
        WebBrowser->setUrl(QUrl::fromUserInput(Q(strip.Url)));
    }
    else
        setFixedSize(width(), Panel_Main->height());
}

void TForm_Orb_Loader::FillEntries()
{
    Flow.FillEntries();
    setWindowTitle(Q(WindowTitleSetting()));
    QApplication::setApplicationDisplayName(windowTitle());
    CB_Entry->clear();
    for (const auto& item : Flow.Entries)
        CB_Entry->addItem(Q(item.Name), Q(item.Value));
    if (Flow.EntryIndex >= 0)
        CB_Entry->setCurrentIndex(Flow.EntryIndex);
    else
        CB_Entry->setEditText(Q(Flow.EntryText));
}

void TForm_Orb_Loader::RemovePage(QWidget*& Page)
{
    const int index = PageControl->indexOf(Page);
    TabControl->removeTab(index);
    PageControl->removeTab(index);
    // The page's own components go with it.
    if (Page == TabSheet_Preview)
        Label_WelcomePreview = Label_Preview = nullptr, Button_Preview = nullptr;
    if (Page == TabSheet_Registration)
        Label_Registration = Label_URL = nullptr;
    delete Page;
    Page = nullptr;
}

void TForm_Orb_Loader::SetupTabs()
{
    FitButtonWidth(Button_Preview, 10);
    FitButtonWidth(Button_OK, 10);
    const QSignalBlocker blocker(TabControl);
    PageControl->tabBar()->hide();
    for (int i = 0; i < TabControl->count() && i < PageControl->count(); ++i)
        TabControl->setTabText(i, PageControl->tabText(i));
    if (!PreviewOffered())
        RemovePage(TabSheet_Preview);
    if (!RegistrationSetting().Offered)
        RemovePage(TabSheet_Registration);
    if (!SettingsTabAllowed())
        TabControl->removeTab(PageControl->indexOf(TabSheet_Settings));
    // A user who has logged in before starts on the login page, a new one on the preview page.
    QWidget* first = !Flow.Login.empty() || !TabSheet_Preview ? TabSheet_Login : TabSheet_Preview;
    const int index = PageControl->indexOf(first);
    TabControl->setCurrentIndex(index);
    PageControl->setCurrentIndex(index);
    FCurrentPage = first;
}

void TForm_Orb_Loader::TabControlChange(int Index)
{
    QWidget* previous = FCurrentPage;
    if (previous && previous == TabSheet_Registration && PageControl->widget(Index) != previous && FFormRegistration &&
        !FFormRegistration->FormCloseQuery())
    {
        // The wizard refuses to be left (its registration is on its way, or the user kept it).
        const QSignalBlocker blocker(TabControl);
        TabControl->setCurrentIndex(PageControl->indexOf(previous));
        return;
    }
    PageControl->setCurrentIndex(Index);
    FCurrentPage = PageControl->currentWidget();
    if (previous == TabSheet_Settings && FCurrentPage != TabSheet_Settings)
        TabSheet_SettingsHide();
    if (previous && previous == TabSheet_Registration && FCurrentPage != TabSheet_Registration)
        TabSheet_RegistrationHide();
    if (FCurrentPage && FCurrentPage == TabSheet_Registration && previous != TabSheet_Registration)
        TabSheet_RegistrationShow();
}

TForm_Registration* TForm_Orb_Loader::FormRegistration() const
{
    return FFormRegistration;
}

void TForm_Orb_Loader::TabSheet_RegistrationShow()
{
    if (!TabSheet_Registration)
        return;
    const TRegistrationSetting registration = RegistrationSetting();
    if (Label_URL)
        Label_URL->setVisible(registration.Type == "web");
    TabSheet_RegistrationHide();
    if (registration.Type != "built_in")
        return;

    auto* wizard = new TForm_Registration(TabSheet_Registration);
    wizard->Embed(TabSheet_Registration);
    // Made as a window of its own, it would keep the application's font; inside this window it takes this one's.
    wizard->setFont(font());
    FFormRegistration = wizard;
    wizard->Exchange.URL = registration.Url;
    wizard->Exchange.ProviderId = registration.Provider;
    wizard->Exchange.Entries = ClientEntryItems();
    wizard->Exchange.Language =
        CB_Language->currentIndex() >= 0 ? CB_Language->currentData().toString().toStdString() : LanguageCode;
    wizard->Exchange.ShowUserCredentials = ShowUserCredentials();
    wizard->OnRegistrationClose = [this](TForm_Registration& Sender, bool Ok) { RegistrationClose(Sender, Ok); };

    // The wizard's background is the application palette's window colour, the skin's form colour.
    RecolorLabels(wizard);
    PlaceRegistration();
    TabSheet_Registration->installEventFilter(this);
    wizard->show();
}

void TForm_Orb_Loader::PlaceRegistration()
{
    if (!FFormRegistration || !TabSheet_Registration)
        return;
    // Under the heading, over the link area, across the page (whose size follows the skin's page frame).
    const int top = Label_Registration ? Label_Registration->geometry().bottom() + 6 : 10;
    FFormRegistration->setGeometry(10, top, TabSheet_Registration->width() - 20,
                                   TabSheet_Registration->height() - top - 10);
}

void TForm_Orb_Loader::TabSheet_RegistrationHide()
{
    delete FFormRegistration.data();
    FFormRegistration = nullptr;
}

void TForm_Orb_Loader::RegistrationClose(TForm_Registration& Sender, bool Ok)
{
    // Only the start-trading button hands an account back.
    if (!Ok)
        return;
    const TRInfo& info = Sender.RegistrationInfo();
    Edit_Login->setText(Q(info.Login));
    Edit_Password->setText(Q(info.Password));
    const int index = CB_Entry->findText(Q(info.Entry));
    CB_Entry->setCurrentIndex(index);
    if (index < 0)
        CB_Entry->setEditText(Q(info.Entry));
    CheckBox_SavePassword->setChecked(true);
    Button_OK->click();
}

void TForm_Orb_Loader::TabSheet_SettingsHide()
{
    TNetworkSettings network;
    network.ProxyEnabled = CheckBox_UseProxy->isChecked();
    network.ProxySystem = CheckBox_SystemProxy->isChecked();
    network.ProxyServer = Edit_ProxyServer->text().toStdString();
    network.ProxyPort = Edit_ProxyPort->text().toStdString();
    network.ProxyLogin = Edit_ProxyLogin->text().toStdString();
    network.ProxyPassword = Edit_ProxyPassword->text().toStdString();
    network.AlternateServer = Edit_ConfServer->text().toStdString();
    network.AlternatePort = Edit_ConfPort->text().toStdString();
    Flow.SaveSettings(network, CB_Skin->currentIndex() >= 0 ? CB_Skin->currentData().toString().toStdString() : "");
}

void TForm_Orb_Loader::SetControlsEnabled(QWidget* Control, bool Enabled)
{
    for (QWidget* child : Control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        SetControlsEnabled(child, Enabled);
    Control->setEnabled(Enabled);
}

namespace
{

QColor Rgb(std::uint32_t Color)
{
    return QColor::fromRgb(static_cast<QRgb>(Color));
}

/// The look without any skin file: the style's own colours, the left panel in the highlight colour.
TSkin BuiltInSkin()
{
    const QPalette standard = QApplication::style()->standardPalette();
    TSkin skin;
    skin.Name = "Built-in";
    skin.Content = standard.color(QPalette::Highlight).rgb() & 0xFFFFFF;
    skin.ContentText = standard.color(QPalette::Active, QPalette::WindowText).rgb() & 0xFFFFFF;
    skin.DisabledEditorText = standard.color(QPalette::Disabled, QPalette::WindowText).rgb() & 0xFFFFFF;
    skin.HyperlinkText = standard.color(QPalette::Link).rgb() & 0xFFFFFF;
    return skin;
}

/// A skin value is a file name in the skins directory; one that would leave it counts as missing.
bool IsPlainSkinName(const std::string& Name)
{
    return !Name.empty() && Name.find_first_of("/\\:") == std::string::npos && Name.find("..") == std::string::npos;
}

} // namespace

void TForm_Orb_Loader::ApplySkin(const std::string& SkinValue)
{
    if (FSkinApplied && FSkinValue == SkinValue)
        return;
    const std::filesystem::path dir = std::filesystem::path(ResourcePath) / "skins";
    std::filesystem::path file = dir / (SkinValue + ".skinres");
    std::error_code error;
    if (!IsPlainSkinName(SkinValue) || !std::filesystem::is_regular_file(file, error))
        file = dir / "Default.skinres";
    // Without even the Default file the window keeps the style's own look rather than refusing to start.
    TSkin skin = std::filesystem::exists(file, error) ? LoadSkinPackage(file.string()).front() : BuiltInSkin();
    FSkin = std::move(skin);
    FSkinValue = SkinValue;
    FSkinApplied = true;

    // Every colour below is worked out afresh from the style's standard palette, so that a skin looks the same
    // whichever skins came before it. The previous skin is undone first: removing the style sheet unpolishes every
    // widget (a new sheet replacing the old one would keep the old sheet's colours in the widgets' palettes), and
    // the widgets this window coloured go back to inheriting their colours.
    // By default a style sheet cuts widgets off from their parents' palettes and fonts and, when it goes, puts back
    // each widget's whole palette from the time it was polished (undoing colours set since, such as a warning
    // frame); with propagation widgets inherit as without a sheet, and only what the sheet itself set is taken back.
    QCoreApplication::setAttribute(Qt::AA_UseStyleSheetPropagationInWidgetStyles);
    qApp->setStyleSheet({});
    // Unpolishing leaves the widgets with the application's font instead of their window's: the windows hand their
    // own fonts down again.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->testAttribute(Qt::WA_SetFont))
        {
            const QFont font = window->font();
            window->setFont(QFont());
            window->setFont(font);
        }
    for (const QPointer<QWidget>& widget : FSkinnedWidgets)
        if (widget)
            widget->setPalette(QPalette());
    FSkinnedWidgets.clear();

    QPalette palette = QApplication::style()->standardPalette();
    if (FSkin.FormColor)
        palette.setColor(QPalette::Window, Rgb(*FSkin.FormColor));
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::WindowText, Rgb(FSkin.ContentText));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, Rgb(FSkin.DisabledEditorText));
    palette.setColor(QPalette::Disabled, QPalette::Text, Rgb(FSkin.DisabledEditorText));
    palette.setColor(QPalette::Link, Rgb(FSkin.HyperlinkText));
    QApplication::setPalette(palette);
    // Qt hands a new application palette to existing widgets only once the event loop runs; the windows take it
    // here and pass it on to their children. They hold no palette of their own, so nothing of it outlives the skin.
    for (QWidget* window : QApplication::topLevelWidgets())
        window->setPalette(QPalette());
    // The style sheet last: the widgets it polishes start from the new palette.
    qApp->setStyleSheet(QString::fromStdString(FSkin.StyleSheet));

    CB_Skin->setCurrentIndex(CB_Skin->findData(QString::fromStdString(SkinValue)));
    Flow.SkinIndex = CB_Skin->currentIndex();

    for (QWidget* window : QApplication::topLevelWidgets())
        RecolorLabels(window);
    const auto colour = [this](QWidget* Widget, QPalette::ColorRole Role, const QColor& Color,
                               std::initializer_list<QPalette::ColorGroup> Groups) {
        QPalette p = Widget->palette();
        for (auto group : Groups)
            p.setColor(group, Role, Color);
        Widget->setPalette(p);
        FSkinnedWidgets.emplace_back(Widget);
    };
    const auto allGroups = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};
    colour(Panel_Left, QPalette::Window, Rgb(FSkin.Content), allGroups);
    for (QLabel* label : {Label_ForgotPassword, Label_URL})
        if (label) // the link of a removed Registration page
            colour(label, QPalette::WindowText, Rgb(FSkin.HyperlinkText), {QPalette::Active, QPalette::Inactive});
    colour(Label_PoweredBy, QPalette::WindowText, ContrastTextColor(Rgb(FSkin.Content)), allGroups);
    // The exception report's text sits on its own white-backed area in every skin.
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* report = qobject_cast<TForm_SmartException*>(window); report && report->Label_Info)
            colour(report->Label_Info, QPalette::WindowText, Qt::black, allGroups);
}

void TForm_Orb_Loader::CB_SkinChange(int Index)
{
    if (Index >= 0)
        ApplySkin(CB_Skin->itemData(Index).toString().toStdString());
    CheckBox_OfflineModeClick();
}

void TForm_Orb_Loader::RecolorLabels(QObject* Component) const
{
    const QString family = font().family();
    for (QLabel* label : Component->findChildren<QLabel*>())
    {
        QFont f = label->font();
        f.setFamily(family);
        label->setFont(f);
        // A link label keeps the look of a link, in the skin's link colour.
        const bool link = label->property(LinkLabelProperty).toBool();
        QPalette p = label->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive})
            p.setColor(group, QPalette::WindowText, Rgb(link ? FSkin.HyperlinkText : FSkin.ContentText));
        p.setColor(QPalette::Disabled, QPalette::WindowText, Rgb(FSkin.DisabledEditorText));
        label->setPalette(p);
    }
}

void TForm_Orb_Loader::CheckBox_OfflineModeClick()
{
    Flow.Offline = CheckBox_OfflineMode->isChecked();
    SetControlsEnabled(Panel_Settings, !Flow.Offline);
    if (!CheckBox_UseProxy->isChecked() || CheckBox_SystemProxy->isChecked())
        CheckBox_UseProxyClick();
}

void TForm_Orb_Loader::CheckBox_UseProxyClick()
{
    // The system's proxy takes the place of the typed one, which stays stored for when it is chosen again.
    const bool system = CheckBox_SystemProxy->isChecked();
    CheckBox_UseProxy->setEnabled(!system && CheckBox_SystemProxy->isEnabled());
    const bool on = CheckBox_UseProxy->isChecked() && !system;
    for (QWidget* w : {static_cast<QWidget*>(Edit_ProxyServer), static_cast<QWidget*>(Edit_ProxyPort),
                       static_cast<QWidget*>(Edit_ProxyLogin), static_cast<QWidget*>(Edit_ProxyPassword),
                       static_cast<QWidget*>(Label_ProxyServer), static_cast<QWidget*>(Label_ProxyPort),
                       static_cast<QWidget*>(Label_ProxyLogin), static_cast<QWidget*>(Label_ProxyPassword)})
        w->setEnabled(on);
}

void TForm_Orb_Loader::CheckBox_SavePasswordClick()
{
    const bool available = Flow.KeyringState == platform::TKeyringState::ksAvailable;
    CheckBox_Keyring->setEnabled(available && CheckBox_SavePassword->isChecked());
    if (!available)
        CheckBox_Keyring->setChecked(false);
    CheckBox_Keyring->setToolTip(available ? QString() : Q(LanguageText(Flow.KeyringUnavailableKey())));
}

void TForm_Orb_Loader::CB_LanguageChange(int Index)
{
    Flow.LanguageIndex = Index;
    if (Index < 0)
        return;
    LanguageCode = CB_Language->itemData(Index).toString().toStdString();
    if (LanguageTable)
        LanguageTable->ChangeLanguage();
}

void TForm_Orb_Loader::Label_URLClick()
{
    // Unlike the newer-launcher offer, a browser that cannot be started is not reported here: the link simply
    // stays where it is.
    if (const TRegistrationSetting registration = RegistrationSetting(); registration.Offered)
        try
        {
            platform::ShellOpen(registration.Url);
        }
        catch (const EOSError&)
        {}
}

void TForm_Orb_Loader::PropertyManagerLanguageAfterLoad()
{
    for (int i = 0; i < TabControl->count() && i < PageControl->count(); ++i)
        TabControl->setTabText(i, PageControl->tabText(i));
    if (!LanguageTable)
        return;
    const std::string text = LanguageTable->Get("PoweredByCaption", {std::to_string(QDate::currentDate().year())});
    if (text.rfind("Unknown:", 0) != 0)
        Label_PoweredBy->setText(Q(text));
}

void TForm_Orb_Loader::ReadInputs()
{
    Flow.Login = Edit_Login->text().toStdString();
    Flow.Password = Edit_Password->text().toStdString();
    Flow.SavePassword = CheckBox_SavePassword->isChecked();
    Flow.SaveInKeyring = CheckBox_Keyring->isChecked();
    Flow.SetEntryText(CB_Entry->currentText().toStdString());
    Flow.LanguageIndex = CB_Language->currentIndex();
    Flow.SkinIndex = CB_Skin->currentIndex();
    Flow.Offline = CheckBox_OfflineMode->isChecked();
}

void TForm_Orb_Loader::Label_ForgotPasswordClick()
{
    ReadInputs();
    try
    {
        ForgotPassword.Label_ForgotPasswordClick(Flow.Login, Flow.SelectedEntryValue(), LanguageCode);
    }
    catch (...)
    {
        ApplicationEventsException(LoginWindowClassName, std::current_exception());
    }
}

void TForm_Orb_Loader::Button_OKClick(QObject* Sender)
{
    ReadInputs();
    try
    {
        const TLoginResult result = Flow.Button_OKClick(Sender == Button_Preview);
        if (result == TLoginResult::lrStarted || result == TLoginResult::lrSetupOpened)
        {
            LoginFinished = true;
            close();
        }
    }
    catch (...)
    {
        ApplicationEventsException(LoginWindowClassName, std::current_exception());
    }
}

void TForm_Orb_Loader::FitButtonWidth(QPushButton* Button, int Extra)
{
    QFont bold = Button->font();
    bold.setBold(true);
    // The caption as shown: a mnemonic marker takes no room.
    const int width = std::max(QFontMetrics(bold).horizontalAdvance(StripMnemonic(Button->text())) + Extra, 100);
    const int parentWidth = Button->parentWidget() ? Button->parentWidget()->width() : width;
    SetDesignGeometry(Button, QRect(parentWidth / 2 - width / 2, Button->y(), width, Button->height()));
}

QColor TForm_Orb_Loader::ContrastTextColor(const QColor& Color)
{
    if (!Color.isValid())
        return Qt::white;
    const long brightness = std::lround(0.299 * Color.red() + 0.587 * Color.green() + 0.114 * Color.blue());
    return brightness <= 128 ? QColor(Qt::white) : QColor(Qt::black);
}

bool TForm_Orb_Loader::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::Resize && Watched == TabSheet_Registration)
        PlaceRegistration();
    if (Event->type() == QEvent::KeyPress &&
        (Watched == Edit_Login || Watched == Edit_Password || Watched == CB_Entry || Watched == CB_Language))
    {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
        {
            Button_OKClick(Watched);
            return true;
        }
    }
    if (Event->type() == QEvent::MouseButtonRelease && Watched == Label_URL)
    {
        Guarded([this] { Label_URLClick(); });
        return true;
    }
    if (Event->type() == QEvent::MouseButtonRelease && Watched == Label_ForgotPassword)
    {
        Label_ForgotPasswordClick();
        return true;
    }
    if (Watched == Label_ForgotPassword && (Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut))
        // A label draws no focus of its own: a thin box shows where the keyboard is.
        Label_ForgotPassword->setFrameShape(Event->type() == QEvent::FocusIn ? QFrame::Box : QFrame::NoFrame);
    if (Event->type() == QEvent::KeyPress && Watched == Label_ForgotPassword)
    {
        const int key = static_cast<QKeyEvent*>(Event)->key();
        if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)
        {
            Label_ForgotPasswordClick();
            return true;
        }
    }
    return TQtForm::eventFilter(Watched, Event);
}

void TForm_Orb_Loader::keyPressEvent(QKeyEvent* Event)
{
    // This is the main window, not a dialog: Escape must not end the launcher.
    if (Event->key() == Qt::Key_Escape)
    {
        Event->accept();
        return;
    }
    TQtForm::keyPressEvent(Event);
}

void TForm_Orb_Loader::showEvent(QShowEvent* Event)
{
    TQtForm::showEvent(Event);
    // FormActivate: a remembered user goes straight to the password or the Login button.
    if (!Edit_Login->text().isEmpty() && PageControl->currentWidget() == TabSheet_Login)
    {
        if (Edit_Password->text().isEmpty())
            Edit_Password->setFocus();
        else
            Button_OK->setFocus();
    }
}

} // namespace orb
