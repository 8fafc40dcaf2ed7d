// The registration wizard in a right-to-left language: captions, values and check boxes on the right-hand side.
#include "../registration/DemoServer.h"
#include "GuiTestApplication.h"
#include "RegistrationWizard.h"
#include "gui/QtForm.h"
#include "gui/QtViews.h"
#include "gui/RegistrationForm.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_Edit.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"
#include "xml/VuvareXMLNode.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace orb
{
namespace
{

/// The horizontal extent of what is painted in W inside Inset pixels of its edges (pixels that differ from the
/// colour at the inner top-left corner), in W's coordinates; {-1, -1} when nothing is.
std::pair<int, int> InkRange(QWidget* W, int Inset = 0)
{
    const QImage picture = W->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = picture.pixel(Inset, Inset);
    int left = -1;
    int right = -1;
    for (int x = Inset; x < picture.width() - Inset; ++x)
        for (int y = Inset; y < picture.height() - Inset; ++y)
            if (picture.pixel(x, y) != background)
            {
                if (left < 0)
                    left = x;
                right = x;
                break;
            }
    return {left, right};
}

class RegistrationDirectionTest : public ::testing::TestWithParam<const char*>
{
protected:
    void SetUp() override
    {
        test::UseShippedLanguage(GetParam());
        Dialogs.OnDialogShown = [](QWidget& Box) {
            test::WhenModal([&Box] { static_cast<QDialog&>(Box).done(0); });
        };
        InstallViews({&MainThread, &Dialogs, nullptr, nullptr});
    }
    void TearDown() override
    {
        Form.reset();
        EXPECT_TRUE(test::WaitForRegistrationWorkers());
        ResetViews();
        LanguageCode = "en_US";
        LanguageTable.reset();
        ApplyLanguageDirection();
        SetProcessLanguageStorage(nullptr);
    }

    bool RightToLeft() const { return IsRightToLeftLanguage(GetParam()); }

    /// The wizard on the demo service, on its first page.
    void Open()
    {
        Form = std::make_unique<TForm_Registration>();
        Form->Exchange.URL = Server.URL("/registration");
        Form->Exchange.ProviderId = "demo";
        Form->Exchange.Language = GetParam();
        auto entries = xml::LoadXMLNodeFromString("<entries><item name=\"Demo account\" value=\"demo\"/></entries>");
        Form->Exchange.Entries.push_back(entries->ChildNodes()->Get(0));
        Form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        ASSERT_TRUE(WaitForPage(1));
    }
    bool WaitForPage(int Index)
    {
        return test::WaitForWizardPage([this] { return Form.get(); }, Index);
    }
    template <class T> T* Editor(const char* Id) const { return test::FieldEditor<T>(*Form, Id); }
    void Type(const char* Id, const QString& Text) { test::TypeInto(*Form, Id, Text); }

    /// Checks that the text painted in W hugs the edge the language reads from.
    void ExpectTextOnReadingSide(QWidget* W, const char* What)
    {
        ASSERT_NE(W, nullptr) << What;
        ASSERT_TRUE(W->isVisible()) << What;
        const auto [left, right] = InkRange(W);
        ASSERT_GE(left, 0) << What << ": nothing painted";
        const int width = W->width();
        if (RightToLeft())
        {
            EXPECT_GT(right, width - 12) << What << " ends far from the right edge (" << left << ".." << right
                                         << " of " << width << ")";
            EXPECT_GT(left, width / 3) << What << " starts at the left (" << left << " of " << width << ")";
        }
        else
        {
            EXPECT_LT(left, 12) << What << " starts far from the left edge (" << left << " of " << width << ")";
        }
    }

    test::TDemoServer Server;
    TQtMainThread MainThread;
    TQtDialogs Dialogs{nullptr};
    std::unique_ptr<TForm_Registration> Form;
};

TEST_P(RegistrationDirectionTest, CaptionsAndValuesSitOnTheReadingSide)
{
    Open();
    EXPECT_EQ(Form->isRightToLeft(), RightToLeft());
    ExpectTextOnReadingSide(Form->Label_SystemType, "the account-type caption");
    for (const char* id : {"first_name", "last_name", "email"})
    {
        auto* editor = Editor<TVisualField_Edit>(id);
        ASSERT_NE(editor, nullptr) << id;
        EXPECT_EQ(editor->isRightToLeft(), RightToLeft()) << id;
        ExpectTextOnReadingSide(editor->Label_Caption, id);
    }
    Type("first_name", "Ann");
    auto* first = Editor<TVisualField_Edit>("first_name");
    first->Edit_Value->clearFocus();
    const auto [left, right] = InkRange(first->Edit_Value, 4); // inside the frame
    if (RightToLeft())
        EXPECT_GT(left, first->Edit_Value->width() / 2) << "the typed value starts at the left";
    else
        EXPECT_LT(right, first->Edit_Value->width() / 2) << "the typed value ends at the right";

    // A language switch while the wizard is open turns it round.
    LanguageCode = RightToLeft() ? "en_US" : "he_IL";
    ApplyLanguageDirection();
    QApplication::processEvents();
    EXPECT_EQ(Form->isRightToLeft(), !RightToLeft());
    const auto [newLeft, newRight] = InkRange(first->Label_Caption);
    if (RightToLeft())
        EXPECT_LT(newLeft, 12) << "back to the left in a left-to-right language";
    else
        EXPECT_GT(newRight, first->Label_Caption->width() - 12) << "over to the right in a right-to-left language";
}

TEST_P(RegistrationDirectionTest, CheckBoxSitsOnTheReadingSideWithCaptionAndLinkBesideIt)
{
    Open();
    Type("first_name", "Ann");
    Type("last_name", "Lee");
    Type("email", "ann@example.com");
    Editor<TVisualField_ComboBox>("country")->ComboBox_Value->setCurrentIndex(0);
    QTest::mouseClick(Form->Button_Submit, Qt::LeftButton);
    ASSERT_TRUE(WaitForPage(2));
    QTest::mouseClick(Form->Button_Submit, Qt::LeftButton);
    ASSERT_TRUE(WaitForPage(3));
    auto* terms = Editor<TVisualField_CheckBox>("terms");
    ASSERT_NE(terms, nullptr);
    ASSERT_TRUE(terms->Label_Value->isVisible()) << "the demo's terms carry a link";
    const QRect box = terms->CheckBox_Value->geometry();
    const QRect caption = terms->Label_CheckBoxCaption->geometry();
    const QRect link = terms->Label_Value->geometry();
    if (RightToLeft())
    {
        EXPECT_GT(box.left(), caption.right()) << "the box stands right of its caption";
        EXPECT_GT(box.left(), link.right()) << "the box stands right of its link";
    }
    else
    {
        EXPECT_LT(box.right(), caption.left());
        EXPECT_LT(box.right(), link.left());
    }
    ExpectTextOnReadingSide(terms->Label_CheckBoxCaption, "the declaration");
    ExpectTextOnReadingSide(terms->Label_Value, "the link");
    // The red rim of a marked declaration still surrounds the value area.
    terms->Field->Warning = true;
    terms->UpdateUI();
    EXPECT_EQ(terms->Panel_Warning->geometry(), terms->Panel_Value->geometry().adjusted(-2, -2, 2, 2));
}

INSTANTIATE_TEST_SUITE_P(Languages, RegistrationDirectionTest, ::testing::Values("he_IL", "ar_KW", "en_US"),
                         [](const auto& Info) { return std::string(Info.param); });

} // namespace
} // namespace orb
