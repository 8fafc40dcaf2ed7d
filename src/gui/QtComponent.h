#pragma once

#include "localisation/Component.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace orb
{

/// UTF-8 text of the core as a Qt string; CR LF line breaks become the line feeds Qt widgets expect.
QString ToQString(const std::string& Text);
/// A Qt string as UTF-8 text of the core; line feeds become CR LF, as the language files store them.
std::string FromQString(const QString& Text);

/// How one property name of the language and settings files maps onto Qt objects of some kind.
struct TQtPropertyBinding
{
    /// The property name as the files write it (Caption, Hint, Items ...), matched ignoring letter case.
    std::string Name;
    /// Its kind; list kinds use GetLines/SetLines, the others GetText/SetText.
    TPropertyKind Kind = pkString;
    /// True for the objects this binding serves.
    std::function<bool(QObject*)> Applies;
    /// Reads a scalar property as text.
    std::function<std::string(QObject*)> GetText;
    /// Sets a scalar property from text; raises when the text does not convert.
    std::function<void(QObject*, const std::string&)> SetText;
    /// Reads a list property.
    std::function<TStrings(QObject*)> GetLines;
    /// Replaces a list property.
    std::function<void(QObject*, const TStrings&)> SetLines;
};

/// The table that maps the files' property names to Qt properties; the built-in bindings cover labels,
/// buttons, check boxes, group boxes, tab pages, windows, edits, combo boxes, memos and progress bars.
class TQtPropertyRegistry
{
public:
    /// The process-wide registry with the built-in bindings.
    static TQtPropertyRegistry& Instance();

    /// Adds a binding; it takes precedence over earlier ones of the same name for the objects it serves.
    void Register(TQtPropertyBinding Binding);
    /// The binding of Name for Object, or nullptr.
    const TQtPropertyBinding* Find(QObject* Object, const std::string& Name) const;
    /// Every property Object offers, each name once.
    std::vector<TPropertyInfo> Properties(QObject* Object) const;

private:
    TQtPropertyRegistry();
    std::vector<TQtPropertyBinding> FBindings;
};

/// The system's class name of a Qt object: the "orbClassName" dynamic property when set, otherwise the
/// name of the matching control kind (TLabel, TButton, TComboBox, TTabSheet ...).
std::string QtClassName(QObject* Object);

/// The reflection of a Qt object for the property manager: the object's properties through the registry and,
/// for a window or a frame, its named descendants as owned components (a frame's insides belong to the frame).
class TQtComponent : public IComponent
{
public:
    /// Reflects Object; ClassName overrides the derived class name (a window's TForm_... name).
    explicit TQtComponent(QObject* Object, std::string ClassName = {});
    ~TQtComponent() override;
    TQtComponent(const TQtComponent&) = delete;
    TQtComponent& operator=(const TQtComponent&) = delete;

    /// The reflected object (nullptr once it was destroyed).
    QObject* Object() const { return FObject; }
    /// Makes this the reflection of a window: it has events, a handle and a rectangle.
    void SetForm(bool Value) { FForm = Value; }
    /// Makes this the reflection of a frame; the frame's own descendants no longer belong to the window.
    void SetFrame(bool Value);
    /// Adds a property manager that this component owns (not taken over).
    void AddPropertyManager(TPropertyManager* Manager) { FManagers.push_back(Manager); }

    /// The window events the property manager hooks; the window fires them.
    TFormEvents Events;

    std::string Name() const override;
    std::string ClassName() const override;
    std::vector<IComponent*> Components() override;
    std::vector<TPropertyInfo> Properties() override;
    std::string GetPropertyText(const std::string& Name) override;
    void SetPropertyText(const std::string& Name, const std::string& Value) override;
    TStrings GetPropertyLines(const std::string& Name) override;
    void SetPropertyLines(const std::string& Name, const TStrings& Lines) override;
    bool IsComboBox() const override;
    bool IsFrame() const override { return FFrame; }
    std::vector<TPropertyManager*> PropertyManagers() override { return FManagers; }
    TFormEvents* FormEvents() override { return FForm ? &Events : nullptr; }
    bool HandleAllocated() const override;
    TRect NormalBounds() const override;

private:
    const TQtPropertyBinding& Binding(const std::string& Name, bool List) const;
    void Collect(QObject* Parent, std::vector<IComponent*>& Result);

    QPointer<QObject> FObject;
    std::string FClassName;
    bool FForm = false;
    bool FFrame = false;
    std::vector<TPropertyManager*> FManagers;
    std::unordered_map<QObject*, std::unique_ptr<TQtComponent>> FChildren;
};

} // namespace orb
