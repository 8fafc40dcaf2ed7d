#pragma once

#include "gui/QtComponent.h"
#include "localisation/PropertyManager.h"

#include <QDialog>
#include <QFrame>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QRect;

namespace orb
{

/// True for the languages written from right to left: codes beginning "ar" (Arabic) or "he" (Hebrew).
bool IsRightToLeftLanguage(const std::string& Code);
/// Lays the whole application out in the writing direction of LanguageCode; open windows follow at once.
void ApplyLanguageDirection();
/// A caption as it shows, without its mnemonic marker: "&Login" -> "Login", "A && B" -> "A & B".
QString StripMnemonic(const QString& Caption);
/// Gives every caption of Controls (buttons, check boxes, labels with a buddy) a mnemonic letter that no other of
/// them uses, preferring the first letters of words; a caption that already has one keeps it, and one written only
/// in Chinese, Japanese or Korean script gets a Latin letter after it ("(&A)").
void AssignMnemonics(const std::vector<QWidget*>& Controls);
/// Names every input control under Root for assistive technology: a control with a buddy label by that label's
/// caption, a button or check box by its own; a name set by hand (on a control without either) stays.
void SetAccessibleNames(QWidget* Root);
/// Places Widget by its left-to-right geometry, mirrored at once when its parent lays out from right to left.
void SetDesignGeometry(QWidget* Widget, const QRect& Geometry);
/// Mirrors every widget placed by hand under Root to the side its parent's direction asks for; each widget
/// remembers its side, so this may run any number of times.
void MirrorChildren(QWidget* Root);

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
    /// Runs a click handler; an error it raises goes to the application's handler (ApplicationEventsException)
    /// instead of through Qt.
    void Guarded(const std::function<void()>& Handler);
    /// After every translation of the window (and once at the end of construction): refreshes the accessible
    /// names from the new captions. Windows add their mnemonics here.
    virtual void LanguageLoaded();

    void changeEvent(QEvent* Event) override;
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
