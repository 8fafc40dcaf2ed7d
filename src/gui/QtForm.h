#pragma once

#include "gui/QtComponent.h"
#include "localisation/PropertyManager.h"

#include <QDialog>
#include <QFrame>

#include <functional>
#include <string>

namespace orb
{

/// A window of the launcher: a dialog with its reflection and its property manager, firing the create, show,
/// close and destroy events the manager hooks.
class TQtForm : public QDialog
{
    Q_OBJECT
public:
    /// A window reflected under ClassName (TForm_...); its manager translates from the section of that name
    /// without the first letter.
    explicit TQtForm(const std::string& ClassName, QWidget* Parent = nullptr);
    /// Fires the destroy event and leaves the application's list of windows.
    ~TQtForm() override;

    /// The window as the property manager sees it.
    TQtComponent& Reflection() { return FReflection; }
    /// The class name the window was created with.
    std::string ClassName() const { return FReflection.ClassName(); }

protected:
    /// Ends construction: the manager is loaded (hooking the events), the create event fires, and an
    /// application window joins the list that a change of language re-translates.
    void FinishCreate(bool ApplicationForm);
    /// Runs a click handler; an error it raises goes to the exception report instead of through Qt.
    void Guarded(const std::function<void()>& Handler);

    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    TQtComponent FReflection;
    bool FApplicationForm = false;

public:
    /// Translates the window (declared after the reflection it points to, so destroyed before it).
    TPropertyManager PropertyManager{&FReflection};
};

/// A reusable panel with a property manager of its own; a window's manager translates it after the window.
class TQtFrame : public QFrame
{
    Q_OBJECT
public:
    /// A frame reflected under ClassName; its manager translates from the section of that name without the
    /// first letter.
    explicit TQtFrame(const std::string& ClassName, QWidget* Parent = nullptr);

    /// The frame as the property managers see it.
    TQtComponent& Reflection() { return FReflection; }

private:
    TQtComponent FReflection;

public:
    /// Translates the frame's own components.
    TPropertyManager PropertyManager{&FReflection};
};

} // namespace orb
