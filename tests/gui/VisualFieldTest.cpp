// The registration field editors: what each shows of its field, what it writes back, and how a warning looks.
#include "GuiTestApplication.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_Common.h"
#include "gui/VisualField_DateTime.h"
#include "gui/VisualField_Edit.h"
#include "gui/WebDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace orb
{
namespace
{

std::unique_ptr<TRField> MakeField(const std::string& Id, TFieltType Type, bool Required = false,
                                   TValueList Values = {})
{
    auto field = std::make_unique<TRField>();
    field->Id = Id;
    field->Name = "Caption of " + Id;
    field->FieldType = Type;
    field->Required = Required;
    field->Hint = "hint of " + Id;
    *field->Value = std::move(Values);
    return field;
}

/// The colour the value area shows at its top-left pixel (inside the 2-pixel padding).
QColor PaddingColour(TVisualField_Common& Editor)
{
    Editor.Panel_Value->repaint();
    return Editor.grab(Editor.Panel_Value->geometry()).toImage().pixelColor(0, 0);
}

class VisualFieldTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Container.resize(320, 600);
        Container.show();
    }

    /// Builds the editors of Page inside the container, shown, laid out.
    std::unique_ptr<TVisualFields> Build(TBundleFields& Page)
    {
        auto editors = std::make_unique<TVisualFields>(Page, &Container);
        QApplication::processEvents();
        return editors;
    }

    QWidget Container;
};

TEST_F(VisualFieldTest, EachKindGetsItsEditorAndHiddenFieldsNone)
{
    struct Case
    {
        TFieltType Type;
        const char* Editor; // nullptr: no editor
    };
    const Case cases[] = {
        {ftBoolean, "orb::TVisualField_CheckBox"},    {ftNumeric, "orb::TVisualField_Numeric"},
        {ftText, "orb::TVisualField_Edit"},           {ftAlpha, "orb::TVisualField_Edit"},
        {ftAlphanumeric, "orb::TVisualField_Edit"},   {ftPassword, "orb::TVisualField_Password"},
        {ftDate, "orb::TVisualField_DateTime"},       {ftEmail, "orb::TVisualField_Edit"},
        {ftYesNo, "orb::TVisualField_CheckBox"},      {ftHidden, nullptr},
        {ftArray, "orb::TVisualField_ComboBox"},      {ftMap, nullptr},
        {ftYesNoLink, "orb::TVisualField_CheckBox"},  {ftLocalYesNoLink, "orb::TVisualField_CheckBox"},
        {ftLocalYesNo, "orb::TVisualField_CheckBox"},
    };
    TBundleFields page;
    std::vector<std::string> expected;
    int n = 0;
    for (const auto& c : cases)
    {
        page.Add(MakeField("f" + std::to_string(n++), c.Type));
        if (c.Editor)
            expected.push_back(c.Editor);
    }
    auto hidden = MakeField("hidden_text", ftText);
    hidden->Hidden = true;
    page.Add(std::move(hidden));

    auto editors = Build(page);
    ASSERT_EQ(editors->Count(), expected.size());
    int previousBottom = -1;
    for (size_t i = 0; i < editors->Count(); ++i)
    {
        TVisualField_Common* editor = (*editors)[i];
        EXPECT_EQ(editor->metaObject()->className(), expected[i]) << i;
        EXPECT_GT(editor->y(), previousBottom) << "editors stack top to bottom in page order";
        previousBottom = editor->geometry().bottom();
    }

    editors.reset();
    EXPECT_TRUE(Container.findChildren<TVisualField_Common*>().isEmpty()) << "the editors go with their list";
}

TEST_F(VisualFieldTest, CaptionEndsWithAsteriskExactlyWhenRequired)
{
    for (TFieltType type : {ftText, ftPassword, ftNumeric, ftArray, ftDate, ftBoolean})
        for (bool required : {false, true})
        {
            TBundleFields page;
            page.Add(MakeField("name", type, required, {{"k", "v"}}));
            auto editors = Build(page);
            TVisualField_Common* editor = (*editors)[0];
            const QString expected = required ? "Caption of name *" : "Caption of name";
            if (auto* check = qobject_cast<TVisualField_CheckBox*>(editor))
            {
                EXPECT_EQ(check->Label_CheckBoxCaption->text(), expected);
                EXPECT_EQ(check->CheckBox_Value->accessibleName(), expected);
                EXPECT_TRUE(check->Label_Caption->isHidden()) << "the caption moves onto the check box";
            }
            else
                EXPECT_EQ(editor->Label_Caption->text(), expected) << type;
            EXPECT_TRUE(editor->Created);
        }
}

TEST_F(VisualFieldTest, EditShowsTheFollowedValueAndWritesItsOwnIncludingEmpty)
{
    TBundleFields page;
    auto& email = page.Add(MakeField("email", ftEmail));
    email.SetCurrentValue("ann@example.com");
    auto& contact = page.Add(MakeField("contact", ftEmail));
    contact.Link = "email";
    contact.LinkField = &email;
    auto editors = Build(page);
    auto* contactEditor = qobject_cast<TVisualField_Edit*>((*editors)[1]);
    ASSERT_NE(contactEditor, nullptr);
    EXPECT_EQ(contactEditor->Edit_Value->text(), "ann@example.com");
    EXPECT_EQ(contactEditor->Edit_Value->toolTip(), "hint of contact");

    contactEditor->Edit_Value->setText("office@example.com");
    editors->SetToVariable();
    EXPECT_EQ(contact.OwnValue(), "office@example.com");
    EXPECT_EQ(email.CurrentValue(), "ann@example.com");
    auto* emailEditor = qobject_cast<TVisualField_Edit*>((*editors)[0]);
    emailEditor->Edit_Value->clear();
    editors->SetToVariable();
    EXPECT_EQ(email.OwnValue(), "");
}

TEST_F(VisualFieldTest, NumericRefusesTypedNonDigitsAndPasswordIsMasked)
{
    TBundleFields page;
    page.Add(MakeField("phone", ftNumeric));
    page.Add(MakeField("secret", ftPassword));
    auto editors = Build(page);
    auto* phone = qobject_cast<TVisualField_Numeric*>((*editors)[0]);
    auto* secret = qobject_cast<TVisualField_Password*>((*editors)[1]);
    QTest::keyClicks(phone->Edit_Value, "12a3 -b4");
    EXPECT_EQ(phone->Edit_Value->text(), "1234");
    EXPECT_EQ(secret->Edit_Value->echoMode(), QLineEdit::Password);
    EXPECT_EQ(
        secret->Edit_Value->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, secret->Edit_Value),
        '*');
    QTest::keyClicks(secret->Edit_Value, "pw");
    editors->SetToVariable();
    EXPECT_EQ(page[0].CurrentValue(), "1234");
    EXPECT_EQ(page[1].CurrentValue(), "pw");
}

TEST_F(VisualFieldTest, DropDownSelectsByKeyStoresKeysAndOnlyPicks)
{
    const TValueList entries{{"DE", "Germany"}, {"FR", "France"}};
    struct Case
    {
        const char* Current;
        int Selected;
    };
    for (const Case& c : {Case{"FR", 1}, Case{"DE", 0}, Case{"", -1}, Case{"France", -1}})
    {
        TBundleFields page;
        auto& field = page.Add(MakeField("country", ftArray, true, entries));
        field.SetCurrentValue(c.Current);
        auto editors = Build(page);
        auto* editor = qobject_cast<TVisualField_ComboBox*>((*editors)[0]);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->ComboBox_Value->count(), 2);
        EXPECT_EQ(editor->ComboBox_Value->itemText(0), "Germany");
        EXPECT_EQ(editor->ComboBox_Value->currentIndex(), c.Selected) << c.Current;
        EXPECT_FALSE(editor->ComboBox_Value->isEditable());
        if (c.Selected < 0)
        {
            EXPECT_EQ(editor->ComboBox_Value->placeholderText(), TVisualField_ComboBox::PleaseSelectText());
            editors->SetToVariable();
            EXPECT_EQ(field.CurrentValue(), c.Current) << "nothing picked leaves the value as it was";
            // Typing opens the list but picks nothing.
            QTest::keyClick(editor->ComboBox_Value, 'G');
            EXPECT_EQ(editor->ComboBox_Value->currentIndex(), -1);
            editor->ComboBox_Value->hidePopup();
        }
        editor->ComboBox_Value->setCurrentIndex(0);
        editors->SetToVariable();
        EXPECT_EQ(field.CurrentValue(), "DE") << "the key is stored, not the shown text";
    }
}

TEST_F(VisualFieldTest, DatePickerStartsOn20May2013AndReadsYearMonthDay)
{
    struct Case
    {
        const char* Value;
        QDate Shown;
    };
    for (const Case& c : {Case{"", QDate(2013, 5, 20)}, Case{"1990-02-01", QDate(1990, 2, 1)},
                          Case{"01.02.1990", QDate(2013, 5, 20)}, Case{"1990-02-31", QDate(2013, 5, 20)}})
    {
        TBundleFields page;
        auto& field = page.Add(MakeField("birth_date", ftDate));
        field.SetCurrentValue(c.Value);
        auto editors = Build(page);
        auto* editor = qobject_cast<TVisualField_DateTime*>((*editors)[0]);
        EXPECT_EQ(editor->DateTimePicker_Value->date(), c.Shown) << c.Value;
        EXPECT_EQ(editor->DateTimePicker_Value->displayFormat(), "yyyy-MM-dd");
        editors->SetToVariable();
        EXPECT_EQ(field.CurrentValue(), c.Shown.toString("yyyy-MM-dd").toStdString());
    }
}

TEST_F(VisualFieldTest, WarningShowsRedFrameUntilTheFirstKeystroke)
{
    TBundleFields page;
    auto& field = page.Add(MakeField("email", ftEmail, true));
    field.SetCurrentValue("ann");
    field.Warning = true;
    field.WarningHint = "Invalid e-mail address";
    auto editors = Build(page);
    auto* editor = qobject_cast<TVisualField_Edit*>((*editors)[0]);
    EXPECT_TRUE(field.Warning) << "filling the control while it is built does not clear the warning";
    EXPECT_EQ(editor->toolTip(), "Invalid e-mail address");
    EXPECT_EQ(PaddingColour(*editor), QColor(255, 0, 0));

    QTest::keyClicks(editor->Edit_Value, "@");
    EXPECT_FALSE(field.Warning);
    EXPECT_EQ(field.WarningHint, "Invalid e-mail address") << "the service's text is kept";
    EXPECT_EQ(editor->toolTip(), "hint of email");
    EXPECT_NE(PaddingColour(*editor), QColor(255, 0, 0));
}

TEST_F(VisualFieldTest, ChangingEveryKindOfControlClearsItsWarning)
{
    TBundleFields page;
    page.Add(MakeField("country", ftArray, false, {{"DE", "Germany"}, {"FR", "France"}}));
    page.Add(MakeField("birth_date", ftDate));
    page.Add(MakeField("terms", ftLocalYesNo));
    for (auto& field : page.Items)
        field->Warning = true;
    auto editors = Build(page);
    qobject_cast<TVisualField_ComboBox*>((*editors)[0])->ComboBox_Value->setCurrentIndex(1);
    qobject_cast<TVisualField_DateTime*>((*editors)[1])->DateTimePicker_Value->setDate(QDate(1990, 2, 1));
    auto* check = qobject_cast<TVisualField_CheckBox*>((*editors)[2]);
    EXPECT_TRUE(check->Panel_Warning->isVisible());
    QTest::mouseClick(check->CheckBox_Value, Qt::LeftButton);
    for (auto& field : page.Items)
        EXPECT_FALSE(field->Warning) << field->Id;
    EXPECT_FALSE(check->Panel_Warning->isVisible());
}

TEST_F(VisualFieldTest, CheckBoxShowsWarningPanelAndAlwaysTheWarningHint)
{
    TBundleFields page;
    auto& field = page.Add(MakeField("risk", ftLocalYesNo, false, {{"", ""}}));
    auto editors = Build(page);
    auto* editor = qobject_cast<TVisualField_CheckBox*>((*editors)[0]);
    EXPECT_EQ(editor->toolTip(), "") << "empty until a warning or a local check set it";
    EXPECT_FALSE(editor->Panel_Warning->isVisible());
    EXPECT_FALSE(editor->Label_Value->isVisible()) << "an entry without an address shows no link";

    field.Warning = true;
    field.WarningHint = "Please accept";
    editors->UpdateUI();
    EXPECT_TRUE(editor->Panel_Warning->isVisible());
    EXPECT_EQ(editor->Panel_Warning->geometry(), editor->Panel_Value->geometry().adjusted(-2, -2, 2, 2));
    EXPECT_EQ(editor->toolTip(), "Please accept");

    editors->SetToVariable();
    EXPECT_EQ(field.CurrentValue(), "false");
    QTest::mouseClick(editor->Label_CheckBoxCaption, Qt::LeftButton);
    EXPECT_TRUE(editor->CheckBox_Value->isChecked()) << "a click on the caption ticks the box";
    EXPECT_FALSE(field.Warning);
    EXPECT_EQ(editor->toolTip(), "Please accept") << "the check box keeps the warning text as its tool tip";
    editors->SetToVariable();
    EXPECT_EQ(field.CurrentValue(), "true");
}

TEST_F(VisualFieldTest, CheckBoxLinkOpensItsAddressWithTheLinkTextAsCaption)
{
    struct Case
    {
        TFieltType Type;
        TValueList Values;
        bool Link;
    };
    const Case cases[] = {
        {ftYesNo, {{"http://127.0.0.1:1/terms.html", "terms of business"}}, true},
        {ftLocalYesNoLink, {{"http://127.0.0.1:1/risk.html", "Risk disclosure"}, {"x", "y"}}, true},
        {ftBoolean, {{"", "not a link"}}, false},
        {ftYesNoLink, {}, false},
    };
    auto saved = TVisualField_CheckBox::OpenLink();
    std::vector<std::pair<QString, QString>> opened;
    TVisualField_CheckBox::OpenLink() = [&](QWidget*, const QString& Caption, const QString& URL) {
        opened.emplace_back(Caption, URL);
        return 1;
    };
    for (const auto& c : cases)
    {
        opened.clear();
        TBundleFields page;
        page.Add(MakeField("terms", c.Type, false, c.Values));
        auto editors = Build(page);
        auto* editor = qobject_cast<TVisualField_CheckBox*>((*editors)[0]);
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->Label_Value->isVisible(), c.Link);
        if (!c.Link)
            continue;
        EXPECT_EQ(editor->Label_Value->text().toStdString(), c.Values[0].Value);
        EXPECT_TRUE(editor->Label_Value->font().underline());
        QTest::mouseClick(editor->Label_Value, Qt::LeftButton);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0].first.toStdString(), c.Values[0].Value);
        EXPECT_EQ(opened[0].second.toStdString(), c.Values[0].Key);
        EXPECT_FALSE(editor->CheckBox_Value->isChecked()) << "following the link does not tick the box";
    }
    TVisualField_CheckBox::OpenLink() = saved;
}

TEST_F(VisualFieldTest, CheckBoxLinkOpensTheEmbeddedBrowserWindowByDefault)
{
    TBundleFields page;
    page.Add(MakeField("terms", ftYesNo, false, {{"about:blank", "terms of business"}}));
    auto editors = Build(page);
    auto* editor = qobject_cast<TVisualField_CheckBox*>((*editors)[0]);
    QString caption;
    QString url;
    QObject* owner = nullptr;
    test::WhenModal([&] {
        if (auto* browser = qobject_cast<TForm_IEBrowser*>(QApplication::activeModalWidget()))
        {
            caption = browser->windowTitle();
            url = browser->URL;
            owner = browser->parent();
            browser->reject();
        }
    });
    QTest::mouseClick(editor->Label_Value, Qt::LeftButton);
    EXPECT_EQ(caption, "Terms of business") << "the link text, first letter upper-cased";
    EXPECT_EQ(url, "about:blank");
    EXPECT_EQ(owner, editor) << "the window belongs to the editor that opened it";
}

} // namespace
} // namespace orb
