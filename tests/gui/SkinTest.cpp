#include "GuiTestApplication.h"
#include "LoginWindowViews.h"
#include "gui/SkinPackage.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QStyle>
#include <gtest/gtest.h>

namespace orb
{
namespace
{

const char* const TwoSkins = "\xEF\xBB\xBF; two looks\r\n"
                             "[Night]\r\n"
                             "Content = #102030\r\n"
                             "contenttext=#F0F0F0\r\n"
                             "DisabledEditorText = #707070\r\n"
                             "HyperlinkText = #66AAFF\r\n"
                             "FormColor = #202020\r\n"
                             "StyleSheet = QLineEdit { color: white; }\r\n"
                             "StyleSheet = QPushButton { border: none; }\r\n"
                             "\r\n"
                             "[Day]\n"
                             "Content=#ffffff\n"
                             "ContentText=#000000\n"
                             "DisabledEditorText=#999999\n"
                             "HyperlinkText=#0000EE\n";

TEST(SkinPackage, ReadsEverySkinWithItsColoursAndStyleSheet)
{
    const auto skins = ParseSkinPackage(TwoSkins, "two.skinres");
    ASSERT_EQ(skins.size(), 2u);
    EXPECT_EQ(skins[0].Name, "Night");
    EXPECT_EQ(skins[0].Content, 0x102030u);
    EXPECT_EQ(skins[0].ContentText, 0xF0F0F0u);
    EXPECT_EQ(skins[0].DisabledEditorText, 0x707070u);
    EXPECT_EQ(skins[0].HyperlinkText, 0x66AAFFu);
    EXPECT_EQ(skins[0].FormColor, 0x202020u);
    EXPECT_EQ(skins[0].StyleSheet, "QLineEdit { color: white; }\nQPushButton { border: none; }");
    EXPECT_EQ(skins[1].Name, "Day");
    EXPECT_EQ(skins[1].Content, 0xFFFFFFu);
    EXPECT_EQ(skins[1].HyperlinkText, 0x0000EEu);
    EXPECT_FALSE(skins[1].FormColor.has_value());
    EXPECT_TRUE(skins[1].StyleSheet.empty());
}

TEST(SkinPackage, MalformedFilesRaiseAnErrorNamingFileAndLine)
{
    const std::string roles =
        "Content=#000000\nContentText=#000000\nDisabledEditorText=#000000\nHyperlinkText=#000000\n";
    struct TCase
    {
        std::string Text;
        std::string Message;
    };
    const TCase cases[] = {
        {"", "x.skinres: no skin in the file"},
        {"; only a comment\n", "x.skinres: no skin in the file"},
        {"Content=#000000\n[A]\n", "x.skinres(1): value before the first [skin] section"},
        {"[A\n" + roles, "x.skinres(1): section header without \"]\""},
        {"[ ]\n" + roles, "x.skinres(1): skin without a name"},
        {"[A]\n" + roles + "[a]\n" + roles, "x.skinres(6): skin \"a\" appears twice"},
        {"[A]\nContent #000000\n", "x.skinres(2): expected \"key = value\", found \"Content #000000\""},
        {"[A]\n" + roles + "Colour=#000000\n", "x.skinres(6): unknown key \"Colour\""},
        {"[A]\nContent=#12345\n", "x.skinres(2): \"#12345\" is not a colour of the form #RRGGBB"},
        {"[A]\nContent=#12345G\n", "x.skinres(2): \"#12345G\" is not a colour of the form #RRGGBB"},
        {"[A]\nContent=red\n", "x.skinres(2): \"red\" is not a colour of the form #RRGGBB"},
        {"[A]\nContent=#000000\n", "x.skinres(1): skin \"A\" has no contenttext colour"},
        {"[A]\n" + roles + "[B]\n" + roles.substr(0, roles.find("Hyper")),
         "x.skinres(6): skin \"B\" has no hyperlinktext colour"},
    };
    for (const auto& c : cases)
    {
        try
        {
            ParseSkinPackage(c.Text, "x.skinres");
            ADD_FAILURE() << "accepted: " << c.Text;
        }
        catch (const ESkinError& e)
        {
            EXPECT_EQ(e.Message, c.Message) << c.Text;
        }
    }
}

TEST(SkinPackage, MissingFileIsAFileError)
{
    test::TempDir dir;
    EXPECT_THROW(LoadSkinPackage((dir / "none.skinres").string()), EInOutError);
}

TEST(SkinPackage, ShippedSkinsAreReadable)
{
    for (const char* name : {"Default", "Dark", "LightBlue"})
    {
        const auto skins =
            LoadSkinPackage((test::SourceDir() / "resource" / "skins" / (std::string(name) + ".skinres")).string());
        ASSERT_EQ(skins.size(), 1u) << name;
        EXPECT_EQ(skins[0].Name, name);
    }
}

/// The login window on settings files whose resource directory holds the skins each test writes.
class SkinTest : public ::testing::Test, protected test::TLoginWindowViews
{
protected:
    void SetUp() override
    {
        SetProcessLanguageStorage(nullptr);
        Dialogs.OnDialogShown = [](QWidget& Box) { test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); }); };
        InstallLoginViews();
        std::filesystem::create_directories(Dir / "resource" / "skins");
        WriteSkin("Default", "#2A6FB0", "#111111", "#888888", "#0B5CAD", "#EEEEEE");
        WriteSkin("Dark", "#1C2733", "#E4E7EB", "#6E7681", "#6CB6FF", "#2B2F36");
    }
    void TearDown() override
    {
        Window.reset();
        ResetViews();
        ConnectionSettings.Clear();
        SetProcessLanguageStorage(nullptr);
        QApplication::setPalette(QApplication::style()->standardPalette());
        qApp->setStyleSheet({});
    }

    void WriteSkin(const std::string& Name, const char* Content, const char* Text, const char* Disabled,
                   const char* Link, const char* Form = nullptr)
    {
        std::string text = "[" + Name + "]\nContent=" + Content + "\nContentText=" + Text +
                           "\nDisabledEditorText=" + Disabled + "\nHyperlinkText=" + Link + "\n";
        if (Form)
            text += std::string("FormColor=") + Form + "\n";
        test::WriteBytes(Dir / "resource" / "skins" / (Name + ".skinres"), text);
    }

    /// Opens the window with the given skins list (children of "skins") and the user's saved skin.
    void Open(const std::string& SkinItems, const std::string& UserSkin)
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"u\" application=\"client\"><entry_servers><item url=\"http://127.0.0.1:1/\"/>"
                         "</entry_servers><languages><item name=\"English\" value=\"en_US\"/></languages></m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c title=\"Orb Trader\"><entries><item name=\"Demo\" value=\"d\"/></entries>"
                         "<registration type=\"web\" url=\"http://r/\"/><skins default=\"Default\">" +
                             SkinItems + "</skins></c>");
        test::WriteBytes(Dir / "user_loader_settings.xml",
                         "<user_loader_settings last_login=\"\" language=\"en_US\" skin=\"" + UserSkin +
                             "\" resource_path=\"" + (Dir / "resource").string() +
                             "\"><proxy enabled=\"false\"/><alternate_server/><entries/></user_loader_settings>");
        StartOnSettings(Dir.Path(), false);
    }

    static QColor Color(const char* Hex) { return QColor(Hex); }
    static QColor TextOf(QWidget* W, QPalette::ColorGroup Group = QPalette::Active)
    {
        return W->palette().color(Group, QPalette::WindowText);
    }

    const std::string Items = "<item name=\"Default\" value=\"Default\"/><item name=\"Dark\" value=\"Dark\"/>";
    test::TempDir Dir;
};

TEST_F(SkinTest, SavedSkinIsAppliedAndSelectedAtStart)
{
    Open(Items, "Dark");
    EXPECT_EQ(Window->CB_Skin->currentText(), "Dark");
    EXPECT_EQ(Window->Panel_Left->palette().color(QPalette::Window), Color("#1C2733"));
    EXPECT_EQ(Window->palette().color(QPalette::Window), Color("#2B2F36"));
    EXPECT_EQ(TextOf(Window->Label_Username), Color("#E4E7EB"));
}

TEST_F(SkinTest, UnknownSkinFallsBackToTheDefaultFileWithNoSelection)
{
    Open(Items, "Nope");
    EXPECT_EQ(Window->CB_Skin->currentIndex(), -1);
    EXPECT_EQ(Window->CurrentSkin().Name, "Default");
    EXPECT_EQ(Window->Panel_Left->palette().color(QPalette::Window), Color("#2A6FB0"));
}

TEST_F(SkinTest, UnlistedSkinWithAFileIsStillLoaded)
{
    WriteSkin("Secret", "#445566", "#000000", "#999999", "#0000FF");
    Open(Items, "Secret");
    EXPECT_EQ(Window->CB_Skin->currentIndex(), -1);
    EXPECT_EQ(Window->CurrentSkin().Name, "Secret");
}

TEST_F(SkinTest, SkinNameThatLeavesTheSkinsDirectoryCountsAsMissing)
{
    test::WriteBytes(
        Dir / "resource" / "Outside.skinres",
        "[Outside]\nContent=#010101\nContentText=#010101\nDisabledEditorText=#010101\nHyperlinkText=#010101\n");
    Open(Items, "../Outside");
    EXPECT_EQ(Window->CurrentSkin().Name, "Default");
}

TEST_F(SkinTest, ChoosingASkinRecoloursTheWindowAtOnceAndIsSavedWithTheSettings)
{
    Open(Items, "Default");
    EXPECT_EQ(Window->palette().color(QPalette::Window), Color("#EEEEEE"));
    Window->CB_Skin->setCurrentIndex(1);
    Window->CB_SkinChange(1);
    EXPECT_EQ(Window->palette().color(QPalette::Window), Color("#2B2F36"));
    EXPECT_EQ(QApplication::palette().color(QPalette::Link), Color("#6CB6FF"));
    EXPECT_EQ(Window->Panel_Left->palette().color(QPalette::Window), Color("#1C2733"));
    EXPECT_EQ(TextOf(Window->Label_ForgotPassword), Color("#6CB6FF"));
    EXPECT_EQ(TextOf(Window->Label_URL), Color("#6CB6FF"));
    EXPECT_EQ(TextOf(Window->Label_PoweredBy), QColor(Qt::white));
    EXPECT_EQ(TextOf(Window->Label_Skin), Color("#E4E7EB"));
    // The proxy labels are disabled (no proxy): they show the new disabled colour.
    EXPECT_FALSE(Window->Label_ProxyServer->isEnabled());
    EXPECT_EQ(TextOf(Window->Label_ProxyServer, QPalette::Disabled), Color("#6E7681"));
    // Other open windows follow.
    EXPECT_EQ(Updater.palette().color(QPalette::Window), Color("#2B2F36"));

    Window->TabSheet_SettingsHide();
    EXPECT_EQ(UserSettings->Attributes("skin"), "Dark");
}

TEST_F(SkinTest, PoweredByTextContrastsWithTheLeftPanel)
{
    struct TCase
    {
        const char* Content;
        QColor Expected;
    };
    const TCase cases[] = {{"#808080", Qt::white}, {"#818181", Qt::black}, {"#000000", Qt::white},
                           {"#FFFFFF", Qt::black}, {"#FF0000", Qt::white}, {"#00FF00", Qt::black}};
    Open(Items, "Default");
    int n = 0;
    for (const auto& c : cases)
    {
        const std::string name = "Grey" + std::to_string(n++);
        WriteSkin(name, c.Content, "#123456", "#654321", "#0000FF");
        Window->ApplySkin(name);
        EXPECT_EQ(TextOf(Window->Label_PoweredBy), c.Expected) << c.Content;
        EXPECT_EQ(TextOf(Window->Label_Username), Color("#123456")) << c.Content;
    }
}

TEST_F(SkinTest, RecolorLabelsGivesLabelsTheWindowFontAndTheSkinTextColours)
{
    Open(Items, "Dark");
    QWidget other;
    auto* inner = new QFrame(&other);
    auto* label = new QLabel("x", inner);
    QFont f("Serif");
    f.setPointSize(14);
    label->setFont(f);
    Window->RecolorLabels(&other);
    EXPECT_EQ(label->font().family(), Window->font().family());
    EXPECT_EQ(label->font().pointSize(), 14);
    EXPECT_EQ(TextOf(label), Color("#E4E7EB"));
    EXPECT_EQ(TextOf(label, QPalette::Disabled), Color("#6E7681"));
}

TEST_F(SkinTest, MalformedSkinFileIsReportedAndTheLookStays)
{
    Open(Items, "Dark");
    test::WriteBytes(Dir / "resource" / "skins" / "Broken.skinres", "[Broken]\nContent=#12\n");
    try
    {
        Window->ApplySkin("Broken");
        ADD_FAILURE() << "a broken skin file was accepted";
    }
    catch (const ESkinError& e)
    {
        EXPECT_NE(e.Message.find("Broken.skinres(2)"), std::string::npos) << e.Message;
    }
    EXPECT_EQ(Window->CurrentSkin().Name, "Dark");
    EXPECT_EQ(Window->palette().color(QPalette::Window), Color("#2B2F36"));
}

TEST_F(SkinTest, WithoutAnySkinFileTheWindowStartsInTheStyleLook)
{
    std::filesystem::remove_all(Dir / "resource" / "skins");
    Open(Items, "Dark");
    EXPECT_EQ(Window->Panel_Left->palette().color(QPalette::Window),
              QApplication::style()->standardPalette().color(QPalette::Highlight));
}

} // namespace
} // namespace orb
