#include "gui/QtModalWaitForm.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

namespace orb
{

TQtModalWaitForm::TQtModalWaitForm(const std::string& ClassName, QWidget* Parent) : TQtForm(ClassName, Parent) {}

void TQtModalWaitForm::ShowModal(TWaitWindow, const std::function<void()>& OnCancel)
{
    FOnCancel = OnCancel;
    NaturalClosing = false;
    if (auto* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // A stray close (none should get through) must not end the wait early: only Close does.
    while (!NaturalClosing)
        exec();
    FOnCancel = nullptr;
}

void TQtModalWaitForm::Close(TWaitWindow)
{
    NaturalClosing = true;
    done(QDialog::Accepted);
}

void TQtModalWaitForm::RunCancel()
{
    if (FOnCancel)
        FOnCancel();
}

void TQtModalWaitForm::reject()
{
    // Escape and the title bar do nothing while the worker runs.
    if (FormCloseQuery())
        TQtForm::reject();
}

void TQtModalWaitForm::closeEvent(QCloseEvent* Event)
{
    if (!FormCloseQuery())
    {
        Event->ignore();
        return;
    }
    TQtForm::closeEvent(Event);
}

} // namespace orb
