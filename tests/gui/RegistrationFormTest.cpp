// The registration wizard as a user meets it: the real window against the demo server's registration service.
#include "gui/RegistrationForm.h"

#include "../registration/DemoServer.h"
#include "GuiTestApplication.h"
#include "RegistrationWizard.h"
#include "gui/QtViews.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_DateTime.h"
#include "gui/VisualField_Edit.h"
#include "localisation/PropertyManager.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"
#include "xml/VuvareXMLNode.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace orb
{
namespace
{

using nlohmann::json;

const char* const EntriesXml = R"(<entries>
  <item name="Demo account" value="demo" regoffice="eu"/>
  <item name="Private account" value="private"/>
</entries>)";

class RegistrationFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        test::UseShippedLanguage("en_US");
        Dialogs.OnDialogShown = [this](QWidget& Box) { test::RecordAndAnswer(Box, Shown, Answer); };
        InstallViews({&MainThread, &Dialogs, nullptr, nullptr});
        SavedOpenLink = TVisualField_CheckBox::OpenLink();
        TVisualField_CheckBox::OpenLink() = [this](QWidget*, const QString& Caption, const QString& URL) {
            Links.push_back(Caption.toStdString() + " " + URL.toStdString());
            return 1;
        };
    }

    void TearDown() override
    {
        Form.reset();
        // Workers still on their way end soon after their window; none may outlive the installed views.
        EXPECT_TRUE(test::WaitForRegistrationWorkers());
        TVisualField_CheckBox::OpenLink() = SavedOpenLink;
        ResetViews();
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
    }

    /// Opens the wizard as a window of its own on Provider and waits for the first real page.
    void Open(const std::string& Provider = "demo", bool ShowUserCredentials = true, bool WaitForPage = true)
    {
        Form = std::make_unique<TForm_Registration>();
        Form->Exchange.URL = Server.URL("/registration");
        Form->Exchange.ProviderId = Provider;
        Form->Exchange.Language = "en_US";
        auto entries = xml::LoadXMLNodeFromString(EntriesXml);
        for (int i = 0; i < entries->ChildNodes()->Count(); ++i)
            if (entries->ChildNodes()->Get(i)->NodeType() == xml::ntElement)
                Form->Exchange.Entries.push_back(entries->ChildNodes()->Get(i));
        Form->Exchange.ShowUserCredentials = ShowUserCredentials;
        Form->OnRegistrationClose = [this](TForm_Registration&, bool Ok) { Closes.push_back(Ok); };
        Form->show();
        if (WaitForPage)
        {
            ASSERT_TRUE(WaitForPageIndex(1)) << "the first page did not arrive; state " << Form->Exchange.State();
        }
    }

    bool WaitIdle()
    {
        return QTest::qWaitFor([this] { return !Form->Exchange.Busy(); }, 20000);
    }
    bool WaitForPageIndex(int Index)
    {
        return test::WaitForWizardPage([this] { return Form.get(); }, Index);
    }

    template <class T> T* Editor(const char* Id) const { return test::FieldEditor<T>(*Form, Id); }
    /// The input widget of field Id, whatever its kind, or nullptr.
    QWidget* EditorWidget(const char* Id) const
    {
        if (auto* field = Editor<TVisualField_ComboBox>(Id))
            return field->ComboBox_Value;
        if (auto* field = Editor<TVisualField_DateTime>(Id))
            return field->DateTimePicker_Value;
        if (auto* field = Editor<TVisualField_CheckBox>(Id))
            return field->CheckBox_Value;
        if (auto* field = Editor<TVisualField_Edit>(Id))
            return field->Edit_Value;
        return nullptr;
    }
    void Type(const char* Id, const QString& Text) { test::TypeInto(*Form, Id, Text); }
    void Submit() { QTest::mouseClick(Form->Button_Submit, Qt::LeftButton); }
    void Back() { QTest::mouseClick(Form->Button_Back, Qt::LeftButton); }

    /// The "params" of every registration request the service received, in order.
    std::vector<json> Requests() const
    {
        std::vector<json> result;
        const json all = json::parse(Server.Requests());
        for (const auto& request : all["registration"])
        {
            json body = json::parse(request["body"].get<std::string>());
            body["params"]["method"] = body["method"];
            result.push_back(body["params"]);
        }
        return result;
    }

    /// Fills page 1 correctly and submits it, then waits for page 2.
    void PassPage1()
    {
        Type("first_name", "Ann");
        Type("last_name", "Lee");
        Type("email", "ann@example.com");
        Editor<TVisualField_ComboBox>("country")->ComboBox_Value->setCurrentIndex(1);
        Submit();
        ASSERT_TRUE(WaitForPageIndex(2));
    }
    /// Accepts the declarations of the last page, names the nickname and submits.
    void FinishLastPage(const QString& Nickname)
    {
        Type("nickname", Nickname);
        for (const char* id : {"terms", "risk"})
        {
            auto* box = Editor<TVisualField_CheckBox>(id)->CheckBox_Value;
            if (!box->isChecked())
                QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
        }
        Submit();
    }

    test::TDemoServer Server;
    TQtMainThread MainThread;
    TQtDialogs Dialogs{nullptr};
    QString Answer = "Cancel";
    std::vector<std::string> Shown;
    std::vector<std::string> Links;
    std::vector<bool> Closes;
    TVisualField_CheckBox::TOpenLink SavedOpenLink;
    std::unique_ptr<TForm_Registration> Form;
};

TEST_F(RegistrationFormTest, WalksAWholeRegistrationThroughTheWindow)
{
    Open();
    EXPECT_EQ(Form->windowTitle(), "New Account");
    auto requests = Requests();
    ASSERT_EQ(requests.size(), 2u) << "the first answer sends the account type by itself";
    EXPECT_EQ(requests[0]["fields"], json::object());
    EXPECT_EQ(requests[1]["fields"]["entry"], "demo:eu");
    EXPECT_EQ(requests[1]["language"], "en_US");

    // Page 1: the account-type field of page 0 has no editor; the hidden field neither; "hidden":"true" is shown.
    EXPECT_EQ(Form->ComboBox_SystemType->count(), 2);
    EXPECT_EQ(Form->ComboBox_SystemType->currentText(), "Demo account");
    EXPECT_TRUE(Form->ComboBox_SystemType->isEnabled());
    EXPECT_EQ(Form->Label_Page->text(), "Page 1");
    EXPECT_FALSE(Form->Button_Back->isVisible());
    EXPECT_EQ(Form->Button_Submit->text(), "Next");
    EXPECT_EQ(Form->Label_Caption->text(), "Please fill out the form to register. All fields are required.");
    EXPECT_EQ(Editor<TVisualField_Common>("entry"), nullptr);
    EXPECT_EQ(Editor<TVisualField_Common>("source"), nullptr);
    EXPECT_NE(Editor<TVisualField_CheckBox>("newsletter"), nullptr);
    EXPECT_EQ(Editor<TVisualField_Edit>("first_name")->Label_Caption->text(), "First name *");
    auto* country = Editor<TVisualField_ComboBox>("country");
    ASSERT_NE(country, nullptr) << "three choices make a drop-down";
    EXPECT_EQ(country->ComboBox_Value->currentIndex(), -1);
    EXPECT_EQ(country->ComboBox_Value->placeholderText(), "Please select");

    // A required field left empty stops the page without a request.
    Submit();
    EXPECT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Form->Exchange.PageIndex(), 1);
    EXPECT_TRUE(Form->Exchange.Fields.GetFieldById("first_name")->Warning);

    // The service refuses the e-mail address: the field turns red with the service's text.
    Type("first_name", "Ann");
    Type("last_name", "Lee");
    Type("email", "ann.example.com");
    country->ComboBox_Value->setCurrentIndex(1);
    Submit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsWarningFields; }, 20000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Form->Label_Caption->text(), "Please correct the marked fields");
    auto* email = Editor<TVisualField_Edit>("email");
    ASSERT_NE(email, nullptr) << "the page was rebuilt";
    EXPECT_EQ(email->toolTip(), "Invalid e-mail address");
    EXPECT_TRUE(email->Panel_Value->autoFillBackground());
    EXPECT_EQ(email->Edit_Value->text(), "ann.example.com") << "the rebuilt page keeps what was typed";
    QTest::keyClick(email->Edit_Value, Qt::Key_End);
    QTest::keyClick(email->Edit_Value, Qt::Key_Backspace);
    EXPECT_FALSE(Form->Exchange.Fields.GetFieldById("email")->Warning) << "the first keystroke clears the mark";
    EXPECT_FALSE(email->Panel_Value->autoFillBackground());
    Type("email", "ann@example.com");
    Submit();
    ASSERT_TRUE(WaitForPageIndex(2));
    EXPECT_EQ(Form->Exchange.State(), rsStarted);
    EXPECT_EQ(Form->Label_Caption->text(), "Please fill out the form to register. All fields are required.");
    requests = Requests();
    EXPECT_EQ(requests.back()["fields"]["country"], "FR") << "the drop-down sends the key";
    EXPECT_EQ(requests.back()["fields"]["source"], "launcher") << "the hidden field travels with its value";

    // Page 2: a linked field, a date, a number; the repeated e-mail field is not added again.
    EXPECT_EQ(Editor<TVisualField_Edit>("contact_email")->Edit_Value->text(), "ann@example.com");
    auto* birth = Editor<TVisualField_DateTime>("birth_date");
    ASSERT_NE(birth, nullptr);
    EXPECT_EQ(birth->DateTimePicker_Value->date(), QDate(2013, 5, 20));
    birth->DateTimePicker_Value->setDate(QDate(1990, 2, 1));
    EXPECT_EQ(Editor<TVisualField_Edit>("email"), nullptr);
    EXPECT_TRUE(Form->Button_Back->isVisible());
    EXPECT_FALSE(Form->ComboBox_SystemType->isEnabled()) << "the account type is locked from the second page on";
    EXPECT_EQ(Form->Label_Page->text(), "Page 2");

    // Back and Next between known pages ask nothing; Enter is Back, as designed.
    const size_t before = Requests().size();
    QTest::keyClick(Editor<TVisualField_Edit>("phone")->Edit_Value, Qt::Key_Return);
    EXPECT_EQ(Form->Exchange.PageIndex(), 1);
    Submit();
    ASSERT_EQ(Form->Exchange.PageIndex(), 2);
    Back();
    EXPECT_EQ(Form->Exchange.PageIndex(), 1);
    EXPECT_EQ(Editor<TVisualField_Edit>("first_name")->Edit_Value->text(), "Ann");
    EXPECT_FALSE(Form->Button_Back->isVisible());
    Submit();
    EXPECT_EQ(Form->Exchange.PageIndex(), 2);
    EXPECT_EQ(Editor<TVisualField_DateTime>("birth_date")->DateTimePicker_Value->date(), QDate(1990, 2, 1));
    EXPECT_EQ(Requests().size(), before);

    Submit();
    ASSERT_TRUE(WaitForPageIndex(3));
    EXPECT_EQ(Requests().back()["fields"]["birth_date"], "1990-02-01");
    EXPECT_EQ(Form->Exchange.State(), rsFieldsComplete);
    EXPECT_EQ(Form->Button_Submit->text(), "Submit");

    // Page 3: declarations that must be ticked here; the terms carry a link.
    auto* terms = Editor<TVisualField_CheckBox>("terms");
    ASSERT_NE(terms, nullptr);
    EXPECT_TRUE(terms->Label_Value->isVisible());
    EXPECT_FALSE(Editor<TVisualField_CheckBox>("risk")->Label_Value->isVisible());
    EXPECT_EQ(Editor<TVisualField_Common>("office"), nullptr);
    QTest::mouseClick(terms->Label_Value, Qt::LeftButton);
    ASSERT_EQ(Links.size(), 1u);
    EXPECT_EQ(Links[0], "Terms of business " + Server.URL("/terms.html"));
    Type("nickname", "ann");
    Submit();
    EXPECT_EQ(Form->Exchange.PageIndex(), 3);
    EXPECT_EQ(Requests().size(), before + 1) << "unaccepted declarations stop the page here";
    EXPECT_TRUE(terms->Panel_Warning->isVisible());
    EXPECT_EQ(terms->toolTip(), "Please read and accept this agreement to continue.");

    FinishLastPage("ann");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsRegistrateEnd; }, 20000));
    const json registrate = Requests().back();
    EXPECT_EQ(registrate["method"], "registrate");
    EXPECT_EQ(registrate["fields"]["terms"], "true");
    EXPECT_EQ(registrate["fields"]["office"], "demo:eu") << "a field linked to the account type sends it";
    EXPECT_EQ(registrate["fields"]["contact_email"], "ann@example.com");
    EXPECT_FALSE(registrate.contains("language"));

    // The final screen.
    EXPECT_TRUE(Form->Panel_Info->isVisible());
    EXPECT_FALSE(Form->ScrollBox_Fields->isVisible());
    EXPECT_FALSE(Form->Button_Submit->isVisible());
    EXPECT_FALSE(Form->Label_Page->isVisible());
    EXPECT_FALSE(Form->Timer_Progress->isActive());
    EXPECT_EQ(Form->Label_Message->text(), "Your account has been opened successfully!");
    EXPECT_TRUE(Form->Panel_LoginPassword->isVisible());
    EXPECT_EQ(Form->Label_Lgn->text(), "ann1");
    EXPECT_EQ(Form->Label_Pswd->text(), "Pw007919");
    EXPECT_TRUE(Form->Panel_Successfull->isVisible());
    EXPECT_EQ(Form->Label_Email->text(), "ann@example.com");
    EXPECT_EQ(Form->Image->pixmap().toImage(), TForm_Registration::ImageList()[8].toImage());
    ASSERT_TRUE(Form->Button_Back->isVisible());
    EXPECT_EQ(Form->Button_Back->text(), "Start Trading");
    const int centre = Form->Button_Back->geometry().center().x();
    EXPECT_NEAR(centre, Form->Panel_Action->width() / 2, 2) << "the start-trading button is centred";

    QTest::mouseClick(Form->Button_Back, Qt::LeftButton);
    EXPECT_EQ(Closes, std::vector<bool>{true});
    EXPECT_TRUE(Form->ClosedWithOk());
    EXPECT_FALSE(Form->isVisible());
    EXPECT_EQ(Form->RegistrationInfo().Entry, "Demo account");
    EXPECT_TRUE(Shown.empty()) << Shown.front();
}

TEST_F(RegistrationFormTest, RefusedNicknameAfterTheLastPageIsMarkedAndFinalScreenHidesCredentials)
{
    Open("demo", false);
    PassPage1();
    Submit();
    ASSERT_TRUE(WaitForPageIndex(3));
    FinishLastPage("trader");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsWarningRegistrate; }, 20000));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Form->Label_Caption->text(), "Some values are not accepted");
    EXPECT_TRUE(Form->Label_Caption->isVisible());
    auto* nickname = Editor<TVisualField_Edit>("nickname");
    ASSERT_NE(nickname, nullptr);
    EXPECT_EQ(nickname->toolTip(), "This nickname is taken");
    EXPECT_EQ(Form->Button_Submit->text(), "Submit");
    EXPECT_TRUE(Editor<TVisualField_CheckBox>("terms")->CheckBox_Value->isChecked()) << "ticks survive the rebuild";

    Type("nickname", "annie");
    EXPECT_FALSE(Form->Exchange.Fields.GetFieldById("nickname")->Warning);
    Submit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsRegistrateEnd; }, 20000));
    EXPECT_FALSE(Form->Panel_LoginPassword->isVisible());
    EXPECT_FALSE(Form->Button_Back->isVisible()) << "no start-trading button without credentials";
    EXPECT_TRUE(Form->Panel_Successfull->isVisible());
    EXPECT_EQ(Form->Label_Email->text(), "ann@example.com");
    EXPECT_TRUE(Form->close()) << "the ended wizard closes without a question";
    EXPECT_TRUE(Shown.empty());
}

TEST_F(RegistrationFormTest, AccountTypeChangeOnFirstPageAsksAgainAndIsLockedLater)
{
    Open();
    PassPage1();
    EXPECT_FALSE(Form->ComboBox_SystemType->isEnabled());
    Back();
    EXPECT_EQ(Form->Exchange.PageIndex(), 1);
    EXPECT_TRUE(Form->ComboBox_SystemType->isEnabled());
    ASSERT_EQ(Form->Exchange.Fields.Pages.size(), 3u);

    const size_t before = Requests().size();
    Form->ComboBox_SystemType->setCurrentIndex(1);
    emit Form->ComboBox_SystemType->activated(1);
    ASSERT_TRUE(WaitForPageIndex(1));
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back()["fields"]["entry"], "private") << "an entry without regoffice sends its value alone";
    EXPECT_EQ(Form->Exchange.Fields.Pages.size(), 2u) << "the later pages were discarded";
    EXPECT_FALSE(Form->Button_Back->isVisible());

    // On the second page a change is refused and the box shows the type in use.
    PassPage1();
    Form->ComboBox_SystemType->setCurrentIndex(0);
    emit Form->ComboBox_SystemType->activated(0);
    EXPECT_EQ(Form->ComboBox_SystemType->currentIndex(), 1);
    EXPECT_EQ(Form->Exchange.PageIndex(), 2);
}

TEST_F(RegistrationFormTest, ClosingAsksWhileFillingAndIsRefusedWhileRegistrating)
{
    Open();
    Answer = "Cancel";
    EXPECT_FALSE(Form->close());
    EXPECT_TRUE(Form->isVisible());
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0], "Your registration is not complete. Do you really want to cancel it?");
    QTest::keyClick(Form.get(), Qt::Key_Escape);
    EXPECT_TRUE(Form->isVisible()) << "Escape submits; it does not close";

    PassPage1();
    Submit();
    ASSERT_TRUE(WaitForPageIndex(3));
    FinishLastPage("slowpoke");
    ASSERT_EQ(Form->Exchange.State(), rsRegistrateBegin);
    EXPECT_TRUE(Form->Timer_Progress->isActive());
    EXPECT_FALSE(Form->Panel_Action->isVisible());
    EXPECT_TRUE(Form->Panel_Info->isVisible());
    EXPECT_EQ(Form->Label_Message->text(), "Please wait while your data is validated");
    std::set<qint64> frames;
    for (int i = 0; i < 9; ++i)
    {
        frames.insert(Form->Image->pixmap().cacheKey());
        Form->Timer_ProgressTimer();
    }
    EXPECT_EQ(frames.size(), 8u) << "the animation cycles through eight pictures";
    const size_t asked = Shown.size();
    EXPECT_FALSE(Form->close());
    EXPECT_FALSE(Form->FormCloseQuery());
    EXPECT_EQ(Shown.size(), asked) << "refused without a question";
    EXPECT_TRUE(Form->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsRegistrateEnd; }, 20000));
    EXPECT_EQ(Form->Label_Lgn->text().left(8), "slowpoke");

    // A new show starts a new registration.
    Form->close();
    Form->show();
    ASSERT_TRUE(WaitForPageIndex(1));
    EXPECT_EQ(Form->Exchange.State(), rsStarted);
    Answer = "OK";
    EXPECT_TRUE(Form->close());
    EXPECT_FALSE(Form->isVisible());
}

TEST_F(RegistrationFormTest, ServiceThatCannotStartShowsTheFailureScreen)
{
    struct Case
    {
        const char* Provider;
        const char* Message;
    };
    for (const Case& c :
         {Case{"garbage", "Fails Initialization"}, Case{"empty", "Fails Initialization"},
          Case{"closed", "Registration is closed for this broker"}, Case{"silent", "Service is not available"}})
    {
        Open(c.Provider, true, false);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsError; }, 20000)) << c.Provider;
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(Form->Label_Message->text(), c.Message) << c.Provider;
        EXPECT_FALSE(Form->Label_Message->font().bold());
        EXPECT_TRUE(Form->Panel_Info->isVisible());
        EXPECT_FALSE(Form->Panel_Action->isVisible());
        EXPECT_FALSE(Form->Image->isVisible());
        EXPECT_FALSE(Form->Panel_LoginPassword->isVisible());
        EXPECT_TRUE(Form->close()) << "the ended wizard closes without a question";
        Form.reset();
    }
    EXPECT_TRUE(Shown.empty()) << Shown.front();
}

TEST_F(RegistrationFormTest, FailedRequestIsReportedAndNextTriesAgain)
{
    Open("broken", true, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Shown.empty() && !Form->Exchange.Busy(); }, 20000));
    EXPECT_NE(Shown[0].find("500"), std::string::npos) << Shown[0];
    EXPECT_EQ(Form->Exchange.State(), rsInit) << "the wizard stays where it was";
    EXPECT_FALSE(Form->Panel_Info->isVisible());
    ASSERT_TRUE(Form->Button_Submit->isVisible());
    EXPECT_EQ(Form->Button_Submit->text(), "Next");

    Submit();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Shown.size() == 2 && !Form->Exchange.Busy(); }, 20000));
    EXPECT_EQ(Requests().size(), 2u) << "Next sends the first request again";
}

TEST_F(RegistrationFormTest, WheelOverTheFieldsScrollsEightPixelsAStep)
{
    Open();
    Form->resize(Form->width(), 260);
    QApplication::processEvents();
    QScrollBar* bar = Form->ScrollBox_Fields->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 16) << "the page must not fit for this test";
    QWidget* viewport = Form->ScrollBox_Fields->viewport();
    auto wheel = [&](int Delta) {
        QWheelEvent event(QPointF(2, 2), viewport->mapToGlobal(QPointF(2, 2)), QPoint(), QPoint(0, Delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    wheel(-120);
    wheel(-120);
    EXPECT_EQ(bar->value(), 16);
    wheel(120);
    EXPECT_EQ(bar->value(), 8);
}

TEST_F(RegistrationFormTest, WheelOverAnyEditorScrollsTheFormAndChangesNoValue)
{
    Open();
    Form->resize(Form->width(), 200);
    QScrollBar* bar = Form->ScrollBox_Fields->verticalScrollBar();
    // What the user sees of each editor kind; the wheel must leave it as it was.
    auto value = [](QWidget* Editor) -> QString {
        if (auto* box = qobject_cast<QComboBox*>(Editor))
            return QString::number(box->currentIndex()) + box->currentText();
        if (auto* date = qobject_cast<QDateEdit*>(Editor))
            return date->date().toString(Qt::ISODate);
        if (auto* check = qobject_cast<QCheckBox*>(Editor))
            return check->isChecked() ? "checked" : "unchecked";
        return qobject_cast<QLineEdit*>(Editor)->text();
    };
    auto wheelOver = [&](QWidget* Editor, int Delta) {
        // The event goes where the window system sends it: the innermost widget under the pointer.
        const QPoint at = Editor->rect().center();
        QWidget* target = Editor->childAt(at) ? Editor->childAt(at) : Editor;
        const QPoint local = target->mapFrom(Editor, at);
        QWheelEvent event(local, target->mapToGlobal(local), QPoint(), QPoint(0, Delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    };
    struct TCase
    {
        int Page;
        const char* Id;
    };
    const TCase cases[] = {{1, "first_name"}, {1, "country"}, {2, "birth_date"}, {2, "phone"},
                           {3, "nickname"},   {3, "terms"},   {3, "risk"}};
    for (const TCase& c : cases)
    {
        if (Form->Exchange.PageIndex() < c.Page)
        {
            if (c.Page == 2)
                PassPage1();
            else
            {
                Editor<TVisualField_DateTime>("birth_date")->DateTimePicker_Value->setDate(QDate(1990, 4, 2));
                Submit();
                ASSERT_TRUE(WaitForPageIndex(3));
            }
            QApplication::processEvents();
        }
        QWidget* editor = EditorWidget(c.Id);
        ASSERT_NE(editor, nullptr) << c.Id;
        ASSERT_GT(bar->maximum(), 8) << "page " << c.Page << " must not fit for this test";
        const QString before = value(editor);
        bar->setValue(8);
        wheelOver(editor, 120);
        EXPECT_EQ(bar->value(), 0) << c.Id << ": a step up scrolls the form";
        wheelOver(editor, -120);
        wheelOver(editor, -120);
        EXPECT_EQ(bar->value(), 16) << c.Id << ": two steps down";
        EXPECT_EQ(value(editor), before) << c.Id;
    }
}

TEST_F(RegistrationFormTest, EnterOrSpaceOnAFocusedButtonPressesItOtherKeysKeepTheirMeaning)
{
    struct TCase
    {
        const char* Focus; // "next", "back" or "field"
        Qt::Key Key;
        int PageAfter;
    };
    // Every case starts on page 2 with page 1 passed; page 2's date is filled so that Next goes on.
    const TCase cases[] = {
        {"next", Qt::Key_Return, 3},  {"next", Qt::Key_Enter, 3}, {"next", Qt::Key_Space, 3},
        {"back", Qt::Key_Return, 1},  {"back", Qt::Key_Space, 1}, {"field", Qt::Key_Return, 1},
        {"field", Qt::Key_Escape, 3},
    };
    for (const TCase& c : cases)
    {
        Open();
        PassPage1();
        Editor<TVisualField_DateTime>("birth_date")->DateTimePicker_Value->setDate(QDate(1990, 4, 2));
        QWidget* focus = std::string(c.Focus) == "next" ? static_cast<QWidget*>(Form->Button_Submit)
                         : std::string(c.Focus) == "back"
                             ? static_cast<QWidget*>(Form->Button_Back)
                             : test::FieldEditor<TVisualField_Edit>(*Form, "phone")->Edit_Value;
        ASSERT_TRUE(focus->isVisible()) << c.Focus;
        Form->activateWindow();
        focus->setFocus(Qt::TabFocusReason);
        QTest::keyClick(focus, c.Key);
        ASSERT_TRUE(WaitForPageIndex(c.PageAfter)) << c.Focus << " " << c.Key;
        Answer = "OK";
        Form.reset();
        Answer = "Cancel";
        ASSERT_TRUE(test::WaitForRegistrationWorkers());
    }
    EXPECT_TRUE(Shown.empty() || Shown.front().find("Cancel") != std::string::npos);
}

TEST_F(RegistrationFormTest, TheAccountTypeBoxAndTheFormAgreeAfterAFailedFirstRequest)
{
    Open("flaky", true, false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Shown.empty() && !Form->Exchange.Busy(); }, 20000));
    ASSERT_EQ(Form->ComboBox_SystemType->currentIndex(), 0);
    // The user picks the other type by keyboard while no page is there, then tries again.
    Form->ComboBox_SystemType->setFocus();
    QTest::keyClick(Form->ComboBox_SystemType, Qt::Key_Down);
    ASSERT_EQ(Form->ComboBox_SystemType->currentIndex(), 1);
    Submit();
    ASSERT_TRUE(WaitForPageIndex(1));
    EXPECT_EQ(Form->ComboBox_SystemType->currentIndex(), 1) << "the box keeps the user's type";
    EXPECT_EQ(Form->Exchange.SystemTypeIndex(), 1);
    EXPECT_EQ(Requests().back()["fields"]["entry"], "private") << "and the form asks for that type";

    PassPage1();
    Editor<TVisualField_DateTime>("birth_date")->DateTimePicker_Value->setDate(QDate(1990, 4, 2));
    Submit();
    ASSERT_TRUE(WaitForPageIndex(3));
    FinishLastPage("flaky-user");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->Exchange.State() == rsRegistrateEnd; }, 20000));
    EXPECT_EQ(Form->RegistrationInfo().Entry, "Private account") << "the account is made for the type shown";
    EXPECT_EQ(Form->ComboBox_SystemType->currentText(), "Private account");
}

TEST_F(RegistrationFormTest, MissingLanguageKeysShowAsUnknown)
{
    Form = std::make_unique<TForm_Registration>();
    EXPECT_EQ(Form->Translate("Next"), "Next");
    EXPECT_EQ(Form->Translate("Page", {"3"}), "Page 3");
    EXPECT_EQ(Form->Translate("NoSuchKey"), "Unknown:NoSuchKey");
    for (const char* key :
         {"Page", "Next", "Submit", "Done", "StartTrading", "WaitingValidation", "SuccessfullRegistration",
          "Label_Caption.Caption", "Close", "CancelRegistration", "ReadAndAccept", "PleaseSelect"})
        EXPECT_EQ(Form->Translate(key).rfind("Unknown:", 0), std::string::npos) << key;
    EXPECT_EQ(Form->Label_SystemType->text(), "System Type");
    EXPECT_EQ(Form->Label_Login->text(), "Login:");
}

} // namespace
} // namespace orb
