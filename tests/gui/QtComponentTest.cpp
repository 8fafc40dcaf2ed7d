#include "gui/QtComponent.h"

#include "base/Exceptions.h"
#include "gui/QtForm.h"
#include "localisation/PropertyManager.h"
#include "support/TempDir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <gtest/gtest.h>

namespace orb
{
namespace
{

/// A frame with a label of its own, translated from its own section.
class TFrame_Sample : public TQtFrame
{
public:
    explicit TFrame_Sample(QWidget* Parent) : TQtFrame("TFrame_Sample", Parent)
    {
        setObjectName("Frame_Sample1");
        Label_InFrame = new QLabel("in frame", this);
        Label_InFrame->setObjectName("Label_InFrame");
    }
    QLabel* Label_InFrame;
};

/// A window with one control of every kind the reflection knows.
class TForm_Sample : public TQtForm
{
public:
    TForm_Sample() : TQtForm("TForm_Sample")
    {
        setWindowTitle("Sample");
        Label_Name = Named(new QLabel("Name:", this), "Label_Name");
        Button_OK = Named(new QPushButton("OK", this), "Button_OK");
        CheckBox_UseProxy = Named(new QCheckBox("Use proxy", this), "CheckBox_UseProxy");
        GroupBox_Proxy = Named(new QGroupBox("Proxy", this), "GroupBox_Proxy");
        Edit_Login = Named(new QLineEdit("user", GroupBox_Proxy), "Edit_Login");
        CB_Entry = Named(new QComboBox(this), "CB_Entry");
        CB_Entry->addItems({"Demo", "Real", "Contest"});
        CB_Entry->setCurrentIndex(1);
        PageControl = Named(new QTabWidget(this), "PageControl");
        TabSheet_Login = Named(new QWidget, "TabSheet_Login");
        TabSheet_Settings = Named(new QWidget, "TabSheet_Settings");
        PageControl->addTab(TabSheet_Login, "Login");
        PageControl->addTab(TabSheet_Settings, "Settings");
        Frame = new TFrame_Sample(TabSheet_Settings);
        PropertyManager.SetCommonLineSeparator("\\n");
    }
    void Finish() { FinishCreate(false); }

    template <class T> static T* Named(T* Widget, const char* Name)
    {
        Widget->setObjectName(Name);
        return Widget;
    }

    QLabel* Label_Name;
    QPushButton* Button_OK;
    QCheckBox* CheckBox_UseProxy;
    QGroupBox* GroupBox_Proxy;
    QLineEdit* Edit_Login;
    QComboBox* CB_Entry;
    QTabWidget* PageControl;
    QWidget* TabSheet_Login;
    QWidget* TabSheet_Settings;
    TFrame_Sample* Frame;
};

class QtComponentTest : public ::testing::Test
{
protected:
    void SetUp() override { SetProcessLanguageStorage(nullptr); }
    IComponent& Component(const std::string& Name)
    {
        auto* c = Form.Reflection().FindComponent(Name);
        EXPECT_NE(c, nullptr) << Name;
        return *c;
    }
    TForm_Sample Form;
};

TEST_F(QtComponentTest, CaptionReadsAndWritesTheTextEachKindShows)
{
    struct TCase
    {
        std::string Component;
        std::string Before;
        std::function<QString()> Shown;
    };
    const std::vector<TCase> cases = {
        {"Label_Name", "Name:", [&] { return Form.Label_Name->text(); }},
        {"Button_OK", "OK", [&] { return Form.Button_OK->text(); }},
        {"CheckBox_UseProxy", "Use proxy", [&] { return Form.CheckBox_UseProxy->text(); }},
        {"GroupBox_Proxy", "Proxy", [&] { return Form.GroupBox_Proxy->title(); }},
        {"TabSheet_Settings", "Settings", [&] { return Form.PageControl->tabText(1); }},
    };
    for (const auto& c : cases)
    {
        auto& component = Component(c.Component);
        EXPECT_EQ(component.GetPropertyText("Caption"), c.Before) << c.Component;
        component.SetPropertyText("Caption", "Neu " + c.Component);
        EXPECT_EQ(c.Shown().toStdString(), "Neu " + c.Component) << c.Component;
    }
    Form.Reflection().SetPropertyText("caption", "Fenster");
    EXPECT_EQ(Form.windowTitle(), "Fenster");
}

TEST_F(QtComponentTest, ClassNamesFollowTheControlKinds)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Label_Name", "TLabel"},        {"Button_OK", "TButton"},        {"CheckBox_UseProxy", "TCheckBox"},
        {"GroupBox_Proxy", "TGroupBox"}, {"Edit_Login", "TEdit"},         {"CB_Entry", "TComboBox"},
        {"PageControl", "TPageControl"}, {"TabSheet_Login", "TTabSheet"}, {"Frame_Sample1", "TFrame_Sample"},
    };
    for (const auto& [name, className] : cases)
        EXPECT_EQ(Component(name).ClassName(), className) << name;
    EXPECT_EQ(Form.Reflection().ClassName(), "TForm_Sample");
    EXPECT_EQ(Form.Reflection().Name(), "Form_Sample");
}

TEST_F(QtComponentTest, HintIsTheToolTipAndTextTheEditsContent)
{
    Component("Button_OK").SetPropertyText("Hint", "Log in now");
    EXPECT_EQ(Form.Button_OK->toolTip(), "Log in now");
    EXPECT_EQ(Component("Button_OK").GetPropertyText("Hint"), "Log in now");
    EXPECT_EQ(Component("Edit_Login").GetPropertyText("Text"), "user");
    Component("Edit_Login").SetPropertyText("Text", "trader");
    EXPECT_EQ(Form.Edit_Login->text(), "trader");
}

TEST_F(QtComponentTest, ComboBoxItemsAreReplacedKeepingTheSelection)
{
    auto& combo = Component("CB_Entry");
    EXPECT_TRUE(combo.IsComboBox());
    EXPECT_EQ(combo.GetPropertyLines("Items"), (TStrings{"Demo", "Real", "Contest"}));
    combo.SetPropertyLines("Items", {"Demo-DE", "Echt", "Wettbewerb", "Neu"});
    EXPECT_EQ(Form.CB_Entry->count(), 4);
    EXPECT_EQ(Form.CB_Entry->currentIndex(), 1);
    EXPECT_EQ(combo.GetPropertyText("Text"), "Echt");
    // A shorter list loses a selection beyond its end.
    Form.CB_Entry->setCurrentIndex(3);
    combo.SetPropertyLines("Items", {"A", "B"});
    EXPECT_EQ(Form.CB_Entry->currentIndex(), -1);
}

TEST_F(QtComponentTest, CheckedAndVisibleAreBooleanNames)
{
    auto& check = Component("CheckBox_UseProxy");
    EXPECT_EQ(check.GetPropertyText("Checked"), "False");
    check.SetPropertyText("Checked", "true");
    EXPECT_TRUE(Form.CheckBox_UseProxy->isChecked());
    EXPECT_EQ(check.GetPropertyText("Checked"), "True");
    EXPECT_THROW(check.SetPropertyText("Checked", "maybe"), Exception);
    EXPECT_TRUE(Form.CheckBox_UseProxy->isChecked());

    // Visible is the control's own flag even while its window is not on the screen.
    auto& label = Component("Label_Name");
    EXPECT_EQ(label.GetPropertyText("Visible"), "True");
    label.SetPropertyText("Visible", "False");
    EXPECT_TRUE(Form.Label_Name->isHidden());
    EXPECT_EQ(label.GetPropertyText("Visible"), "False");
}

TEST_F(QtComponentTest, PropertiesAreOfferedOnlyWhereTheyExist)
{
    TPropertyKind kind = pkString;
    EXPECT_TRUE(Component("CB_Entry").FindProperty("Items", kind));
    EXPECT_EQ(kind, pkStrings);
    EXPECT_TRUE(Component("CheckBox_UseProxy").FindProperty("Checked", kind));
    EXPECT_EQ(kind, pkEnumeration);
    EXPECT_FALSE(Component("Label_Name").FindProperty("Checked", kind));
    EXPECT_FALSE(Component("Button_OK").FindProperty("Items", kind));
    EXPECT_THROW(Component("Label_Name").GetPropertyText("Items"), Exception);
}

TEST_F(QtComponentTest, LookupIgnoresLetterCaseAndAFramesInsidesBelongToTheFrame)
{
    EXPECT_EQ(Form.Reflection().FindComponent("button_ok"), &Component("Button_OK"));
    EXPECT_EQ(Form.Reflection().FindComponent("Label_InFrame"), nullptr);
    auto& frame = Component("Frame_Sample1");
    EXPECT_TRUE(frame.IsFrame());
    ASSERT_NE(frame.FindComponent("Label_InFrame"), nullptr);
    EXPECT_EQ(frame.PropertyManagers().size(), 1u);
    // Qt's own helper objects are not components.
    for (auto* c : Form.Reflection().Components())
        EXPECT_NE(c->Name().rfind("qt_", 0), 0u) << c->Name();
}

TEST_F(QtComponentTest, PropertyManagerTranslatesTheWindowAndItsFrames)
{
    test::TempDir dir;
    const auto file = dir / "language.ini";
    test::WriteBytes(file, "[Form_Sample]\r\n"
                           "Caption=Anmelden\r\n"
                           "Label_Name.Caption=Benutzer:\\nName\r\n"
                           "Button_OK.Hint=Jetzt anmelden\r\n"
                           "CB_Entry.Items=Demo;Echt;Wettbewerb\r\n"
                           "TabSheet_Login.Caption=Anmeldung\r\n"
                           "CheckBox_UseProxy.Checked=True\r\n"
                           "Missing_Control.Caption=ignored\r\n"
                           "[Frame_Sample]\r\n"
                           "Label_InFrame.Caption=im Rahmen\r\n");
    Form.PropertyManager.LanguageFile = file.string();
    Form.Frame->PropertyManager.LanguageFile = file.string();
    Form.Finish();
    Form.PropertyManager.LoadLanguage(true, true, false);

    EXPECT_EQ(Form.windowTitle(), "Anmelden");
    EXPECT_EQ(Form.Label_Name->text(), "Benutzer:\nName");
    EXPECT_EQ(Form.Button_OK->toolTip(), "Jetzt anmelden");
    EXPECT_EQ(Form.CB_Entry->itemText(2), "Wettbewerb");
    EXPECT_EQ(Form.CB_Entry->currentIndex(), 1);
    EXPECT_EQ(Form.PageControl->tabText(0), "Anmeldung");
    EXPECT_TRUE(Form.CheckBox_UseProxy->isChecked());
    EXPECT_EQ(Form.Frame->Label_InFrame->text(), "im Rahmen");
}

TEST_F(QtComponentTest, SavedLanguageHoldsTheCurrentTexts)
{
    test::TempDir dir;
    const auto file = dir / "saved.ini";
    Form.PropertyManager.LanguageFile = file.string();
    Form.Label_Name->setText("Two\nlines");
    Form.PropertyManager.SaveLanguage(false, true, false);
    const std::string text = test::ReadBytes(file);
    EXPECT_NE(text.find("Label_Name.Caption=Two\\nlines"), std::string::npos) << text;
    EXPECT_NE(text.find("CB_Entry.Items=Demo;Real;Contest"), std::string::npos) << text;
    EXPECT_NE(text.find("TabSheet_Settings.Caption=Settings"), std::string::npos) << text;
}

} // namespace
} // namespace orb
