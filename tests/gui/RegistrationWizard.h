#pragma once

#include "GuiTestApplication.h"
#include "gui/RegistrationForm.h"
#include "gui/VisualField_Edit.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace orb::test
{

/// The process's language set to Code, its texts read from the shipped resource/ folder.
inline void UseShippedLanguage(const char* Code)
{
    SetProcessLanguageStorage(nullptr);
    ResourcePath = (SourceDir() / "resource").string();
    LanguageCode = Code;
    LanguageTable = std::make_unique<TLanguage>();
}

/// Notes the dialog's text (a message box) or class name in Shown and closes it once it runs: by its button named
/// Answer, or with 0 when it has none.
inline void RecordAndAnswer(QWidget& Box, std::vector<std::string>& Shown, const QString& Answer)
{
    auto* box = qobject_cast<QMessageBox*>(&Box);
    Shown.push_back(box ? box->text().toStdString() : std::string(Box.metaObject()->className()));
    WhenModal([&Box, Answer] {
        if (auto* button = Box.findChild<QAbstractButton*>(Answer))
            button->click();
        else
            static_cast<QDialog&>(Box).done(0);
    });
}

/// Waits until no registration request is on its way any more; false when one still runs after 20 s.
inline bool WaitForRegistrationWorkers()
{
    return QTest::qWaitFor([] { return TRegistrationExchange::RunningRequests() == 0; }, 20000);
}

/// Waits until Form (as Form() returns it at each look) shows page Index with no request on its way.
template <class TGetForm> bool WaitForWizardPage(TGetForm Form, int Index)
{
    return QTest::qWaitFor(
        [&] {
            const TForm_Registration* form = Form();
            return form && !form->Exchange.Busy() && form->Exchange.PageIndex() == Index;
        },
        20000);
}

/// The editor of field Id on the wizard's current page, or nullptr.
template <class T> T* FieldEditor(const TForm_Registration& Form, const char* Id)
{
    return Form.Panel_Fields->findChild<T*>(QString("VisualField_") + Id);
}

/// Types Text into the text field Id in place of what it held; fails the test when the page has no such field.
inline void TypeInto(const TForm_Registration& Form, const char* Id, const QString& Text)
{
    auto* editor = FieldEditor<TVisualField_Edit>(Form, Id);
    ASSERT_NE(editor, nullptr) << Id;
    editor->Edit_Value->clear();
    QTest::keyClicks(editor->Edit_Value, Text);
}

} // namespace orb::test
