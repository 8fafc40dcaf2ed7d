// Switching skins while the launcher runs: every open window ends up exactly as if it had started in the new skin.
#include "../registration/DemoServer.h"
#include "GuiTestApplication.h"
#include "gui/QtViews.h"
#include "gui/RegistrationForm.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_ResetPassword.h"
#include "gui/Unit_SmartException.h"
#include "gui/Unit_Updater.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_Edit.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LauncherSession.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

/// What a window looks like: palette colours by widget and role, and the pictures of the widgets a style sheet
/// paints.
struct TLook
{
    std::map<std::string, QColor> Colors;
    std::map<std::string, QImage> Pictures;
    std::map<std::string, std::string> Texts;
};

/// Every window the launcher has open, built as the start-up builds them, on settings whose resource directory
/// holds the shipped skins.
struct TSession
{
    explicit TSession(const fs::path& Dir)
    {
        InstallViews({&MainThread, &Dialogs, &Waits, &Updater});
        Launcher = std::make_unique<TLauncherSession>(Dir, false);
        Window = std::make_unique<TForm_Orb_Loader>(*Launcher);
        Updater.LoginWindow = Window.get();
        Window->ForgotPassword.ResetView = &Reset;
        Dialogs.OnDialogShown = [](QWidget& Box) { test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); }); };
    }
    ~TSession()
    {
        Window.reset();
        if (!QTest::qWaitFor([] { return TRegistrationExchange::RunningRequests() == 0; }, 20000))
            ADD_FAILURE() << "a registration request outlived its window";
        ResetViews();
        ConnectionSettings.Clear();
    }
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    TQtMainThread MainThread;
    TForm_SmartException Report{""};
    TForm_Progress Progress;
    TForm_Updater Updater;
    TForm_ResetPassword Reset;
    TQtWaitWindows Waits{Progress, Updater};
    TQtDialogs Dialogs{&Report};
    std::unique_ptr<TLauncherSession> Launcher;
    std::unique_ptr<TForm_Orb_Loader> Window;
};

class SkinSwitchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SetProcessLanguageStorage(nullptr);
        fs::create_directories(Dir / "resource" / "skins");
        for (const char* name : {"Default", "Dark", "LightBlue"})
            fs::copy_file(test::SourceDir() / "resource" / "skins" / (std::string(name) + ".skinres"),
                          Dir / "resource" / "skins" / (std::string(name) + ".skinres"));
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"u\" application=\"client\"><entry_servers><item url=\"http://127.0.0.1:1/\"/>"
                         "</entry_servers><languages><item name=\"English\" value=\"en_US\"/></languages></m>");
        test::WriteBytes(
            Dir / "client_loader_settings.xml",
            "<c title=\"Orb Trader\"><entries><item name=\"Demo account\" value=\"demo\"/></entries>"
            "<registration type=\"built_in\" url=\"" +
                Server.URL("/registration") +
                "\" provider=\"demo\"/><skins default=\"Default\"><item name=\"Default\" value=\"Default\"/>"
                "<item name=\"Dark\" value=\"Dark\"/><item name=\"Light Blue\" value=\"LightBlue\"/>"
                "</skins></c>");
    }
    void TearDown() override
    {
        SetProcessLanguageStorage(nullptr);
        qApp->setStyleSheet({});
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    /// Starts every window in Skin and opens the Registration page; the wizard on its first page, or none.
    TForm_Registration* Start(TSession& Session, const std::string& Skin)
    {
        TForm_Orb_Loader& w = *Session.Window;
        Session.Launcher->Start();
        w.Start();
        w.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.TabControl->setCurrentIndex(w.PageControl->indexOf(w.TabSheet_Registration));
        TForm_Registration* wizard = w.FormRegistration();
        if (!wizard)
            ADD_FAILURE() << "no registration wizard";
        else if (!WaitForPage(wizard, 1))
            ADD_FAILURE() << "the wizard's first page did not arrive";
        return wizard;
    }
    void WriteUserFile(const std::string& Skin)
    {
        test::WriteBytes(Dir / "user_loader_settings.xml",
                         "<user_loader_settings last_login=\"\" language=\"en_US\" skin=\"" + Skin +
                             "\" resource_path=\"" + (Dir / "resource").string() +
                             "\"><proxy enabled=\"false\"/><alternate_server/><entries/></user_loader_settings>");
    }
    static bool WaitForPage(TForm_Registration* Wizard, int Index)
    {
        return QTest::qWaitFor([&] { return !Wizard->Exchange.Busy() && Wizard->Exchange.PageIndex() == Index; },
                               20000);
    }
    static void ChooseSkin(TForm_Orb_Loader& W, const std::string& Skin)
    {
        const int index = W.CB_Skin->findData(QString::fromStdString(Skin));
        W.CB_Skin->setCurrentIndex(index);
        W.CB_SkinChange(index);
    }

    /// Starts every window in the first skin, opens the Registration page, switches through the others in order
    /// and returns the look of the windows at the end.
    TLook Run(const std::vector<std::string>& Skins)
    {
        WriteUserFile(Skins.front());
        TSession session(Dir.Path());
        TForm_Orb_Loader& w = *session.Window;
        TForm_Registration* wizard = Start(session, Skins.front());
        if (!wizard)
            return {};
        // A field the user left wrong keeps its red frame through skin changes.
        auto* email = wizard->Panel_Fields->findChild<TVisualField_Common*>("VisualField_email");
        if (!email)
        {
            ADD_FAILURE() << "no e-mail editor";
            return {};
        }
        email->Field->Warning = true;
        email->UpdateUI();
        for (size_t i = 1; i < Skins.size(); ++i)
            ChooseSkin(w, Skins[i]);
        QApplication::processEvents();
        if (QWidget* focus = QApplication::focusWidget())
            focus->clearFocus(); // no blinking caret in the pictures

        TLook look;
        auto* fieldEdit = wizard->Panel_Fields->findChild<TVisualField_Edit*>("VisualField_first_name");
        std::vector<std::pair<std::string, QWidget*>> widgets;
        const auto add = [&widgets](const char* Name, QWidget* W) { widgets.emplace_back(Name, W); };
        for (const auto& [name, widget] : std::initializer_list<std::pair<const char*, QWidget*>>{
                 {"login window", static_cast<QWidget*>(&w)},
                 {"left panel", w.Panel_Left},
                 {"tabs", w.TabControl},
                 {"pages", w.PageControl},
                 {"check box", w.CheckBox_SavePassword},
                 {"label", w.Label_Username},
                 {"link", w.Label_ForgotPassword},
                 {"powered by", w.Label_PoweredBy},
                 {"line edit", w.Edit_Login},
                 {"account types", w.CB_Entry},
                 {"button", w.Button_OK},
                 {"offline box", w.CheckBox_OfflineMode},
                 {"proxy label (disabled)", w.Label_ProxyServer},
                 {"proxy edit (disabled)", w.Edit_ProxyServer},
                 {"progress window", static_cast<QWidget*>(&session.Progress)},
                 {"progress status", session.Progress.Label_Status},
                 {"progress button", session.Progress.Button_Break},
                 {"updater window", static_cast<QWidget*>(&session.Updater)},
                 {"updater caption", session.Updater.Label_UpdatingFileCaption},
                 {"updater button", session.Updater.Button_Cancel},
                 {"report window", static_cast<QWidget*>(&session.Report)},
                 {"report text", session.Report.Label_Info},
                 {"report details", session.Report.Memo},
                 {"report button", session.Report.Button_OK},
                 {"reset window", static_cast<QWidget*>(&session.Reset)},
                 {"reset label", session.Reset.Label_ResetCode},
                 {"reset edit", session.Reset.Edit_ResetCode},
                 {"reset button", session.Reset.Button_Reset},
                 {"wizard", static_cast<QWidget*>(wizard)},
                 {"wizard system type", wizard->ComboBox_SystemType},
                 {"wizard caption", wizard->Label_Caption},
                 {"wizard next", wizard->Button_Submit},
                 {"field caption", fieldEdit ? static_cast<QWidget*>(fieldEdit->Label_Caption) : nullptr},
                 {"field edit", fieldEdit ? static_cast<QWidget*>(fieldEdit->Edit_Value) : nullptr},
                 {"field red frame", email->Panel_Value}})
            add(name, widget);
        const std::pair<const char*, QPalette::ColorGroup> groups[] = {
            {"active", QPalette::Active}, {"inactive", QPalette::Inactive}, {"disabled", QPalette::Disabled}};
        const std::pair<const char*, QPalette::ColorRole> roles[] = {
            {"Window", QPalette::Window}, {"WindowText", QPalette::WindowText}, {"Base", QPalette::Base},
            {"Text", QPalette::Text},     {"Button", QPalette::Button},         {"ButtonText", QPalette::ButtonText},
            {"Link", QPalette::Link},     {"Highlight", QPalette::Highlight}};
        for (const auto& [name, widget] : widgets)
        {
            if (!widget)
            {
                ADD_FAILURE() << "missing widget: " << name;
                continue;
            }
            for (const auto& [groupName, group] : groups)
                for (const auto& [roleName, role] : roles)
                    look.Colors[name + " " + groupName + " " + roleName] = widget->palette().color(group, role);
            look.Texts[name + " font"] = widget->font().toString().toStdString();
            look.Texts[name + " geometry"] = std::to_string(widget->x()) + "," + std::to_string(widget->y()) + " " +
                                             std::to_string(widget->width()) + "x" + std::to_string(widget->height());
            look.Pictures[name] = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
        }
        return look;
    }

    /// Where two pictures first differ.
    static std::string PictureDifference(const QImage& Expected, const QImage& Actual)
    {
        if (Expected.size() != Actual.size())
            return " (size " + std::to_string(Actual.width()) + "x" + std::to_string(Actual.height()) + ")";
        for (int y = 0; y < Expected.height(); ++y)
            for (int x = 0; x < Expected.width(); ++x)
                if (Expected.pixel(x, y) != Actual.pixel(x, y))
                    return " (first at " + std::to_string(x) + "," + std::to_string(y) + ": " +
                           QColor(Expected.pixel(x, y)).name().toStdString() + " expected, " +
                           QColor(Actual.pixel(x, y)).name().toStdString() + ")";
        return {};
    }

    /// The differences between two looks, one line each.
    static std::string Differences(const TLook& Expected, const TLook& Actual)
    {
        std::ostringstream out;
        for (const auto& [key, color] : Expected.Colors)
        {
            const auto it = Actual.Colors.find(key);
            if (it == Actual.Colors.end() || it->second != color)
                out << "  " << key << ": " << color.name().toStdString() << " expected, "
                    << (it == Actual.Colors.end() ? std::string("none") : it->second.name().toStdString()) << "\n";
        }
        for (const auto& [key, text] : Expected.Texts)
            if (Actual.Texts.count(key) == 0 || Actual.Texts.at(key) != text)
                out << "  " << key << ": " << text << " expected, "
                    << (Actual.Texts.count(key) ? Actual.Texts.at(key) : std::string("none")) << "\n";
        for (const auto& [key, picture] : Expected.Pictures)
        {
            const auto it = Actual.Pictures.find(key);
            if (it == Actual.Pictures.end())
                out << "  " << key << ": not painted\n";
            else if (it->second != picture)
            {
                out << "  " << key << ": painted differently" << PictureDifference(picture, it->second) << "\n";
                // ORB_SKIN_PICTURES names a directory for the pictures that differ.
                if (const char* dir = std::getenv("ORB_SKIN_PICTURES"))
                {
                    picture.save(QString("%1/%2-expected.png").arg(dir, QString::fromStdString(key)));
                    it->second.save(QString("%1/%2-actual.png").arg(dir, QString::fromStdString(key)));
                }
            }
        }
        return out.str();
    }

    test::TempDir Dir;
    test::TDemoServer Server;
};

TEST_F(SkinSwitchTest, EverySkinAfterAnyOtherLooksAsIfTheLauncherHadStartedInIt)
{
    const std::vector<std::string> skins = {"Default", "Dark", "LightBlue"};
    std::map<std::string, TLook> fresh;
    for (const auto& skin : skins)
        fresh[skin] = Run({skin});
    // The skins really differ where the table compares them.
    EXPECT_NE(Differences(fresh["Default"], fresh["Dark"]), "");
    EXPECT_NE(Differences(fresh["Default"], fresh["LightBlue"]), "");

    const std::vector<std::vector<std::string>> sequences = {{"Default", "Dark"},
                                                             {"Default", "LightBlue"},
                                                             {"Dark", "Default"},
                                                             {"Dark", "LightBlue"},
                                                             {"LightBlue", "Default"},
                                                             {"LightBlue", "Dark"},
                                                             {"Dark", "LightBlue", "Default", "Dark"},
                                                             {"Default", "Dark", "Default"}};
    for (const auto& sequence : sequences)
    {
        std::string name;
        for (const auto& skin : sequence)
            name += (name.empty() ? "" : " -> ") + skin;
        const std::string differences = Differences(fresh[sequence.back()], Run(sequence));
        if (!differences.empty())
            ADD_FAILURE() << name << " differs from a start in " << sequence.back() << ":\n" << differences;
    }
}

TEST_F(SkinSwitchTest, ColoursTheWindowsSetOnPurposeSurviveASkinChange)
{
    const TLook dark = Run({"Default", "Dark"});
    EXPECT_EQ(dark.Colors.at("report text active WindowText"), QColor(Qt::black));
    EXPECT_EQ(dark.Colors.at("link active WindowText"), QColor("#6CB6FF"));
    EXPECT_EQ(dark.Colors.at("powered by active WindowText"), QColor(Qt::white));
    EXPECT_EQ(dark.Colors.at("left panel active Window"), QColor("#1C2733"));
    EXPECT_EQ(dark.Colors.at("field red frame active Window"), QColor(255, 0, 0));
    EXPECT_EQ(dark.Colors.at("label active WindowText"), QColor("#E4E7EB"));
    EXPECT_EQ(dark.Colors.at("check box active WindowText"), QColor("#E4E7EB"));
    EXPECT_EQ(dark.Colors.at("login window active Window"), QColor("#2B2F36"));
    EXPECT_EQ(dark.Colors.at("wizard active Window"), QColor("#2B2F36"));
    EXPECT_EQ(dark.Colors.at("updater window active Window"), QColor("#2B2F36"));
    EXPECT_EQ(dark.Colors.at("proxy label (disabled) disabled WindowText"), QColor("#6E7681"));
}

TEST_F(SkinSwitchTest, DeclarationLinksTakeEachSkinsLinkColourAndMarkedOnesStayRed)
{
    WriteUserFile("Default");
    TSession session(Dir.Path());
    TForm_Registration* wizard = Start(session, "Default");
    ASSERT_NE(wizard, nullptr);
    const auto type = [&](const char* Id, const QString& Text) {
        auto* editor = wizard->Panel_Fields->findChild<TVisualField_Edit*>(QString("VisualField_") + Id);
        ASSERT_NE(editor, nullptr) << Id;
        editor->Edit_Value->setText(Text);
    };
    type("first_name", "Ann");
    type("last_name", "Lee");
    type("email", "ann@example.com");
    wizard->Panel_Fields->findChild<QComboBox*>("ComboBox_Value")->setCurrentIndex(0);
    wizard->Button_Submit->click();
    ASSERT_TRUE(WaitForPage(wizard, 2));
    wizard->Button_Submit->click();
    ASSERT_TRUE(WaitForPage(wizard, 3));
    auto* terms = wizard->Panel_Fields->findChild<TVisualField_CheckBox*>("VisualField_terms");
    ASSERT_NE(terms, nullptr);
    terms->Field->Warning = true;
    terms->UpdateUI();
    const auto link = [&] { return terms->Label_Value->palette().color(QPalette::WindowText); };
    const auto rim = [&] { return terms->Panel_Warning->palette().color(QPalette::Window); };
    EXPECT_EQ(link(), QColor("#0B5CAD"));
    struct TStep
    {
        const char* Skin;
        const char* Link;
    };
    for (const TStep& step : {TStep{"Dark", "#6CB6FF"}, TStep{"LightBlue", "#0060B6"}, TStep{"Default", "#0B5CAD"}})
    {
        ChooseSkin(*session.Window, step.Skin);
        EXPECT_EQ(link(), QColor(step.Link)) << step.Skin;
        EXPECT_EQ(terms->Label_CheckBoxCaption->palette().color(QPalette::WindowText),
                  QApplication::palette().color(QPalette::WindowText))
            << step.Skin << ": the declaration itself is plain text";
        EXPECT_EQ(rim(), QColor(255, 0, 0)) << step.Skin;
        EXPECT_TRUE(terms->Panel_Warning->isVisible()) << step.Skin;
    }
}

} // namespace
} // namespace orb
