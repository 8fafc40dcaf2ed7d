#include "gui/QtForm.h"

#include "base/Views.h"
#include "localisation/Unit_Language.h"

#include <QCloseEvent>
#include <QShowEvent>

namespace orb
{

TQtForm::TQtForm(const std::string& ClassName, QWidget* Parent) : QDialog(Parent), FReflection(this, ClassName)
{
    setObjectName(QString::fromStdString(ClassName.size() > 1 ? ClassName.substr(1) : ClassName));
    FReflection.SetForm(true);
    FReflection.AddPropertyManager(&PropertyManager);
}

TQtForm::~TQtForm()
{
    if (FApplicationForm)
        UnregisterApplicationForm(&FReflection);
    if (FReflection.Events.OnDestroy)
        FReflection.Events.OnDestroy(FReflection);
}

void TQtForm::FinishCreate(bool ApplicationForm)
{
    PropertyManager.Loaded();
    if (FReflection.Events.OnCreate)
        FReflection.Events.OnCreate(FReflection);
    FApplicationForm = ApplicationForm;
    if (ApplicationForm)
        RegisterApplicationForm(&FReflection);
}

void TQtForm::Guarded(const std::function<void()>& Handler)
{
    // Qt cannot carry an exception through its event loop: report it here, as the application's handler would.
    try
    {
        Handler();
    }
    catch (...)
    {
        try
        {
            Dialogs().ShowException(ClassName(), std::current_exception());
        }
        catch (...)
        {
            // No dialogs installed: nothing more can be shown.
        }
    }
}

void TQtForm::showEvent(QShowEvent* Event)
{
    if (!Event->spontaneous() && FReflection.Events.OnShow)
        FReflection.Events.OnShow(FReflection);
    QDialog::showEvent(Event);
}

void TQtForm::closeEvent(QCloseEvent* Event)
{
    QDialog::closeEvent(Event);
    if (Event->isAccepted() && FReflection.Events.OnClose)
        FReflection.Events.OnClose(FReflection);
}

TQtFrame::TQtFrame(const std::string& ClassName, QWidget* Parent) : QFrame(Parent), FReflection(this, ClassName)
{
    FReflection.SetFrame(true);
    FReflection.AddPropertyManager(&PropertyManager);
}

} // namespace orb
