// Every window by keyboard alone, as a screen reader presents it: the demo installation in the Dark skin and in a
// right-to-left language, walked with the Tab key.
#include "DemoInstallation.h"
#include "GuiTestApplication.h"
#include "LoginWindowViews.h"
#include "RegistrationWizard.h"
#include "base/TextUtils.h"
#include "gui/RegistrationForm.h"
#include "gui/Unit_ResetPassword.h"
#include "gui/Unit_SmartException.h"
#include "launcher/ConnectionSettings.h"
#include "localisation/Unit_Language.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace orb
{
namespace
{

namespace fs = std::filesystem;

/// One stop of the Tab key: the widget and what a screen reader says of it.
struct TStop
{
    QWidget* Widget;
    std::string Name;
};

class KeyboardWalkTest : public ::testing::TestWithParam<std::pair<const char*, const char*>>,
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
        Dialogs.OnDialogShown = [](QWidget& Box) { test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); }); };
        InstallLoginViews();
        const auto [skin, language] = GetParam();
        const fs::path user = Work() / "user_loader_settings.xml";
        test::WriteBytes(user, StringReplaceAll(test::ReadBytes(user), "language=\"en_US\"",
                                                std::string("language=\"") + language + "\" skin=\"" + skin + "\""));
    }

    void TearDown() override
    {
        Window.reset();
        EXPECT_TRUE(test::WaitForRegistrationWorkers());
        LanguageCode = "en_US";
        ApplyLanguageDirection();
        ResetViews();
        ConnectionSettings.Clear();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        QApplication::setPalette(QApplication::style()->standardPalette());
        qApp->setStyleSheet({});
        LeaveWork();
    }

    /// Walks Window with Tab from its focus until the focus comes back; every stop must be visible, enabled,
    /// named for assistive technology and drawn differently with the focus than without it.
    std::vector<TStop> Walk(QWidget& Top)
    {
        std::vector<TStop> stops;
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Top));
        Top.raise();
        Top.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Top));
        QWidget* first = QApplication::focusWidget();
        if (!first)
        {
            ADD_FAILURE() << Top.objectName().toStdString() << ": nothing has the focus";
            return stops;
        }
        for (int i = 0; i < 60; ++i)
        {
            QWidget* focus = QApplication::focusWidget();
            if (!focus || (i > 0 && focus == first))
                break;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(focus);
            const std::string name = accessible ? accessible->text(QAccessible::Name).toStdString() : "";
            const std::string where = Top.objectName().toStdString() + "/" + focus->objectName().toStdString();
            stops.push_back({focus, name});
            EXPECT_TRUE(focus->isVisible() && focus->isEnabled()) << where;
            EXPECT_FALSE(Trim(name).empty()) << where << ": no accessible name";
            const QImage focused = focus->grab().toImage();
            QTest::keyClick(focus, Qt::Key_Tab);
            QApplication::processEvents();
            // Push buttons are compared in a skin's look, which draws their focus itself; the native look marks the
            // focused button as the default one, which a grab cannot tell from the dialog's default.
            const bool nativeButton = qobject_cast<QPushButton*>(focus) && qApp->styleSheet().isEmpty();
            if (QApplication::focusWidget() != focus && !nativeButton)
            {
                EXPECT_NE(focus->grab().toImage(), focused) << where << ": the focus is not visible";
            }
        }
        EXPECT_EQ(QApplication::focusWidget(), first) << Top.objectName().toStdString() << ": Tab does not come round";
        return stops;
    }

    /// The widgets of Stops by object name.
    static std::set<std::string> Names(const std::vector<TStop>& Stops)
    {
        std::set<std::string> names;
        for (const auto& stop : Stops)
            names.insert(stop.Widget->objectName().toStdString());
        return names;
    }
};

TEST_P(KeyboardWalkTest, EveryWindowIsWalkedByTabWithNamedAndVisiblyFocusedStops)
{
    OpenOnSettings(Work());
    ASSERT_TRUE(Window);
    // The login page, then the other pages (the registration last: the wizard asks before it is left).
    Window->Edit_Login->setFocus(Qt::TabFocusReason);
    const auto login = Names(Walk(*Window));
    for (const char* expected : {"CB_Entry", "CB_Language", "Edit_Login", "Edit_Password", "Button_OK"})
        EXPECT_TRUE(login.count(expected)) << expected;

    Window->TabControl->setCurrentIndex(Window->PageControl->indexOf(Window->TabSheet_Settings));
    Window->CheckBox_UseProxy->setFocus(Qt::TabFocusReason);
    const auto settings = Names(Walk(*Window));
    EXPECT_TRUE(settings.count("Edit_ConfServer"));

    Window->TabControl->setCurrentIndex(Window->PageControl->indexOf(Window->TabSheet_Registration));
    ASSERT_TRUE(test::WaitForWizardPage([this] { return Window->FormRegistration(); }, 1));
    Window->FormRegistration()->ComboBox_SystemType->setFocus(Qt::TabFocusReason);
    const auto registration = Names(Walk(*Window));
    EXPECT_TRUE(registration.count("Button_Submit"));

    TForm_ResetPassword reset(Window.get());
    reset.show();
    reset.Edit_ResetCode->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(Names(Walk(reset)).count("Button_Reset"));
    reset.hide();

    TForm_SmartException report(GetLanguageFileName());
    try
    {
        throw EInOutError(28, "no space left on device");
    }
    catch (...)
    {
        SmartExceptionReport().MakeException("TForm_Updater", std::current_exception(), true, "");
    }
    report.UpdateFromReport();
    report.show();
    report.ShowSimple();
    EXPECT_FALSE(Walk(report).empty());
    report.ShowDetails();
    EXPECT_FALSE(Walk(report).empty());
    report.hide();
}

INSTANTIATE_TEST_SUITE_P(SkinsAndLanguages, KeyboardWalkTest,
                         ::testing::Values(std::make_pair("Dark", "en_US"), std::make_pair("Dark", "ar_KW"),
                                           std::make_pair("Default", "ar_KW")),
                         [](const auto& Info) { return std::string(Info.param.first) + "_" + Info.param.second; });

} // namespace
} // namespace orb
