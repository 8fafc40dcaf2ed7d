// The login window's Registration page: the embedded wizard against the demo server, and the login with the new
// account that it hands back.
#include "DemoInstallation.h"
#include "GuiTestApplication.h"
#include "LoginWindowViews.h"
#include "RegistrationWizard.h"
#include "base/TextUtils.h"
#include "gui/RegistrationForm.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_Edit.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "platform/PlatformTestUtil.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

/// The demo installation in a temporary directory (published update tree, demo server, working directory made from
/// demo/) and the login window built as the windowed front end builds it.
class RegistrationTabGuiTest : public ::testing::Test,
                               protected test::TDemoInstallation,
                               protected test::TLoginWindowViews
{
protected:
    void SetUp() override
    {
        InstallDemo();
        if (HasFatalFailure())
            return;
        SetProcessLanguageStorage(nullptr);
        Dialogs.OnDialogShown = [this](QWidget& Box) { test::RecordAndAnswer(Box, Shown, Answer); };
        InstallLoginViews();
    }

    void TearDown() override
    {
        Window.reset();
        EXPECT_TRUE(test::WaitForRegistrationWorkers());
        ResetViews();
        ConnectionSettings.Clear();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        LeaveWork();
    }

    void Open() { OpenOnSettings(Work()); }

    /// Clicks the tab of Page; true when the window then shows it.
    bool ShowTab(QWidget* Page)
    {
        const int index = Window->PageControl->indexOf(Page);
        const QRect tab = Window->TabControl->tabRect(index);
        QTest::mouseClick(Window->TabControl, Qt::LeftButton, {}, tab.center());
        return Window->PageControl->currentWidget() == Page && Window->TabControl->currentIndex() == index;
    }

    TForm_Registration* Wizard() const { return Window->FormRegistration(); }
    bool WaitForPage(int Index)
    {
        return test::WaitForWizardPage([this] { return Wizard(); }, Index);
    }
    template <class T> T* Editor(const char* Id) const { return test::FieldEditor<T>(*Wizard(), Id); }
    void Type(const char* Id, const QString& Text) { test::TypeInto(*Wizard(), Id, Text); }
    void Submit() { QTest::mouseClick(Wizard()->Button_Submit, Qt::LeftButton); }
    /// Fills every page of the demo service and submits the last one with Nickname.
    void FillAllPages(const QString& Nickname)
    {
        ASSERT_TRUE(WaitForPage(1));
        Type("first_name", "Ann");
        Type("last_name", "Lee");
        Type("email", "ann@example.com");
        Editor<TVisualField_ComboBox>("country")->ComboBox_Value->setCurrentIndex(0);
        Submit();
        ASSERT_TRUE(WaitForPage(2));
        Submit();
        ASSERT_TRUE(WaitForPage(3));
        Type("nickname", Nickname);
        for (const char* id : {"terms", "risk"})
            QTest::mouseClick(Editor<TVisualField_CheckBox>(id)->CheckBox_Value, Qt::LeftButton, {}, QPoint(4, 8));
        Submit();
    }

    QString Answer = "Cancel";
    std::vector<std::string> Shown;
};

TEST_F(RegistrationTabGuiTest, NewAccountFromTheRegistrationTabLogsInAtOnce)
{
    Open();
    ASSERT_NE(Window->TabSheet_Registration, nullptr);
    EXPECT_EQ(Wizard(), nullptr) << "no wizard before the tab is shown";
    ASSERT_TRUE(ShowTab(Window->TabSheet_Registration));
    ASSERT_NE(Wizard(), nullptr);
    EXPECT_FALSE(Wizard()->isWindow()) << "embedded in the tab without a frame";
    EXPECT_EQ(Wizard()->parentWidget(), Window->TabSheet_Registration);
    EXPECT_FALSE(Window->Label_URL->isVisible());
    EXPECT_GT(Wizard()->y(), Window->Label_Registration->geometry().bottom()) << "under the heading";
    EXPECT_EQ(Wizard()->Exchange.URL, "http://127.0.0.1:" + Port + "/registration");
    EXPECT_EQ(Wizard()->Exchange.ProviderId, "demo");
    EXPECT_EQ(Wizard()->Exchange.Language, "en_US");
    EXPECT_TRUE(Wizard()->Exchange.ShowUserCredentials) << "absent means true";
    EXPECT_EQ(Wizard()->ComboBox_SystemType->count(), 3);

    FillAllPages("ann");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Wizard()->Exchange.State() == rsRegistrateEnd; }, 20000));
    Window->Edit_Login->setText("someone_else");
    Window->CheckBox_SavePassword->setChecked(false);
    QTest::mouseClick(Wizard()->Button_Back, Qt::LeftButton);

    EXPECT_TRUE(Shown.empty()) << Shown.front();
    EXPECT_EQ(Window->Edit_Login->text(), "ann1");
    EXPECT_EQ(Window->Edit_Password->text(), "Pw007919");
    EXPECT_EQ(Window->CB_Entry->currentText(), "Demo account");
    EXPECT_TRUE(Window->CheckBox_SavePassword->isChecked());
    EXPECT_TRUE(Window->LoginFinished) << "the login ran with the new account";
    const fs::path client = Dir / "client.txt";
    for (int i = 0; i < 600 && !fs::exists(client); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(client)) << "the demo client did not run";
    const std::string output = test::ReadBytes(client);
    EXPECT_NE(output.find("\r\nlogin=ann1\r\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\r\nentry=demo\r\n"), std::string::npos) << output;
}

TEST_F(RegistrationTabGuiTest, LeavingTheTabAsksTheWizardAndComingBackStartsAFreshOne)
{
    Open();
    ASSERT_TRUE(ShowTab(Window->TabSheet_Registration));
    ASSERT_TRUE(WaitForPage(1));
    Type("first_name", "Ann");
    QTest::keyClick(Editor<TVisualField_Edit>("first_name")->Edit_Value, Qt::Key_Return);
    EXPECT_FALSE(Window->LoginFinished) << "Enter inside the wizard does not press the Login button";
    EXPECT_TRUE(Shown.empty()) << Shown.front();
    EXPECT_EQ(Wizard()->Exchange.PageIndex(), 1);

    Answer = "Cancel";
    EXPECT_FALSE(ShowTab(Window->TabSheet_Login)) << "the user kept the registration";
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Your registration is not complete. Do you really want to cancel it?");
    ASSERT_NE(Wizard(), nullptr);
    EXPECT_EQ(Editor<TVisualField_Edit>("first_name")->Edit_Value->text(), "Ann");

    Answer = "OK";
    QPointer<TForm_Registration> old = Wizard();
    EXPECT_TRUE(ShowTab(Window->TabSheet_Login));
    EXPECT_EQ(Wizard(), nullptr);
    EXPECT_TRUE(old.isNull()) << "leaving the tab destroys the wizard";

    ASSERT_TRUE(ShowTab(Window->TabSheet_Registration));
    ASSERT_TRUE(WaitForPage(1));
    EXPECT_EQ(Editor<TVisualField_Edit>("first_name")->Edit_Value->text(), "") << "a fresh wizard";

    // While "registrate" is on its way the tab cannot be left, and nobody is asked.
    FillAllPages("slowpoke");
    ASSERT_EQ(Wizard()->Exchange.State(), rsRegistrateBegin);
    const size_t asked = Shown.size();
    EXPECT_FALSE(ShowTab(Window->TabSheet_Settings));
    EXPECT_EQ(Shown.size(), asked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Wizard()->Exchange.State() == rsRegistrateEnd; }, 20000));
    EXPECT_TRUE(ShowTab(Window->TabSheet_Settings)) << "free once the wizard has ended";
    EXPECT_EQ(Shown.size(), asked);
    EXPECT_FALSE(Window->LoginFinished) << "leaving hands nothing back";
}

TEST_F(RegistrationTabGuiTest, WebRegistrationShowsTheLinkAndNoWizard)
{
    const fs::path file = Work() / "client_loader_settings.xml";
    test::WriteBytes(file, StringReplaceAll(test::ReadBytes(file), "type=\"built_in\"", "type=\"web\""));
    Open();
    ASSERT_TRUE(ShowTab(Window->TabSheet_Registration));
    EXPECT_EQ(Wizard(), nullptr);
    EXPECT_TRUE(Window->Label_URL->isVisible());

    // The link hands the page to the desktop's opener; when there is none, nothing is reported.
    test::TempDir bin;
    const fs::path opened = bin / "opened";
    test::WriteBytes(bin / "xdg-open", "#!/bin/sh\nPATH=/usr/bin:/bin\nprintf %s \"$1\" > \"" + opened.string() +
                                           ".tmp\" && mv \"" + opened.string() + ".tmp\" \"" + opened.string() +
                                           "\"\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    test::TempDir empty;
    for (const fs::path& path : {bin.Path(), empty.Path()})
    {
        test::ScopedEnv pathVariable("PATH", path.string());
        QTest::mouseClick(Window->Label_URL, Qt::LeftButton, {}, Window->Label_URL->rect().center());
        if (path == bin.Path())
        {
            ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(opened); }, 20000));
            EXPECT_EQ(test::ReadBytes(opened).rfind("http://127.0.0.1:", 0), 0u) << test::ReadBytes(opened);
        }
        QApplication::processEvents();
        EXPECT_TRUE(Shown.empty()) << path << ": " << (Shown.empty() ? "" : Shown.front());
    }
    EXPECT_TRUE(ShowTab(Window->TabSheet_Login));
}

} // namespace
} // namespace orb
