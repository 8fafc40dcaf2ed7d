#pragma once

#include "localisation/Component.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orb
{

/// A component kept in memory: named properties of the supported kinds and owned child components.
/// It serves where no real window exists (console front end, tests) and defines how a window's
/// reflection behaves.
class TMemoryComponent : public IComponent
{
public:
    TMemoryComponent(std::string ClassName, std::string Name);
    ~TMemoryComponent() override;

    /// Creates an owned child component and returns it.
    TMemoryComponent& Add(const std::string& ClassName, const std::string& Name);
    /// Creates a property manager owned by this component.
    TPropertyManager& AddPropertyManager();

    /// Defines (or redefines) a text property.
    TMemoryComponent& DefineString(const std::string& Name, const std::string& Value);
    /// Defines an integer property.
    TMemoryComponent& DefineInteger(const std::string& Name, int Value);
    /// Defines an enumeration property with its value names.
    TMemoryComponent& DefineEnumeration(const std::string& Name, std::vector<std::string> ValueNames,
                                        const std::string& Value);
    /// Defines a floating-point property.
    TMemoryComponent& DefineFloat(const std::string& Name, double Value);
    /// Defines a list property (pkStrings, pkTreeNodes or pkListColumns).
    TMemoryComponent& DefineLines(const std::string& Name, TPropertyKind Kind, TStrings Lines);

    /// Marks the component as a combo box (item lists may change length).
    void SetComboBox(bool Value) { FComboBox = Value; }
    /// Marks the component as a frame.
    void SetFrame(bool Value) { FFrame = Value; }
    /// Makes the component a window: it gets events, a handle flag and a rectangle.
    void SetForm(bool Value) { FForm = Value; }
    /// Whether the window has a native handle.
    bool Handle = false;
    /// The window's normal rectangle.
    TRect Bounds;

    /// Fires the window's create event.
    void DoCreate();
    /// Fires the window's show event.
    void DoShow();
    /// Fires the window's close event.
    void DoClose();
    /// Fires the window's destroy event.
    void DoDestroy();

    /// A property as text (list properties joined with line breaks), for inspection.
    std::string Value(const std::string& Name);

    std::string Name() const override { return FName; }
    std::string ClassName() const override { return FClassName; }
    std::vector<IComponent*> Components() override;
    std::vector<TPropertyInfo> Properties() override;
    std::string GetPropertyText(const std::string& Name) override;
    void SetPropertyText(const std::string& Name, const std::string& Value) override;
    TStrings GetPropertyLines(const std::string& Name) override;
    void SetPropertyLines(const std::string& Name, const TStrings& Lines) override;
    bool IsComboBox() const override { return FComboBox; }
    bool IsFrame() const override { return FFrame; }
    std::vector<TPropertyManager*> PropertyManagers() override;
    TFormEvents* FormEvents() override { return FForm ? &FEvents : nullptr; }
    bool HandleAllocated() const override { return FForm && Handle; }
    TRect NormalBounds() const override { return Bounds; }

private:
    struct TProperty
    {
        std::string Name;
        TPropertyKind Kind;
        std::string Text;
        TStrings Lines;
        std::vector<std::string> ValueNames;
    };
    TProperty& Find(const std::string& Name);
    TProperty& Define(const std::string& Name, TPropertyKind Kind);

    std::string FClassName;
    std::string FName;
    std::vector<TProperty> FProperties;
    std::vector<std::unique_ptr<TMemoryComponent>> FComponents;
    std::vector<std::unique_ptr<TPropertyManager>> FManagers;
    bool FComboBox = false;
    bool FFrame = false;
    bool FForm = false;
    TFormEvents FEvents;
};

} // namespace orb
