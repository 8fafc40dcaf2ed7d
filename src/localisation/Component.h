#pragma once

#include "localisation/CustomSaveLoad.h"

#include <functional>
#include <string>
#include <vector>

namespace orb
{

class IComponent;
class TPropertyManager;

/// The kinds of component properties that translation and settings read and write as text.
enum TPropertyKind
{
    pkString,      ///< any text
    pkInteger,     ///< decimal text
    pkEnumeration, ///< the value's name, for example wsMaximized or True
    pkFloat,       ///< decimal text
    pkStrings,     ///< a list of lines (items of a combo box, a radio group, a memo)
    pkTreeNodes,   ///< the texts of a tree view's nodes
    pkListColumns, ///< the captions of a list view's columns
};

/// One property a component offers to translation and settings.
struct TPropertyInfo
{
    std::string Name;
    TPropertyKind Kind;
};

/// A window event as the property manager hooks it.
using TFormEvent = std::function<void(IComponent& Sender)>;

/// The window events a property manager inserts itself into.
struct TFormEvents
{
    TFormEvent OnCreate;
    TFormEvent OnDestroy;
    TFormEvent OnShow;
    TFormEvent OnClose;
};

/// A window rectangle by its edges.
struct TRect
{
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
};

/// The reflection a window offers to its property manager: its owned components by name, their supported
/// properties read and written as text. Windows of the user interface implement it over their widgets;
/// TMemoryComponent is a plain implementation kept in memory.
class IComponent
{
public:
    virtual ~IComponent() = default;

    /// The component's name (a window's name, or Button_OK, Label_Version ...).
    virtual std::string Name() const = 0;
    /// The system's class name, for example TForm_Updater or TComboBox.
    virtual std::string ClassName() const = 0;
    /// The components this one owns directly, in creation order.
    virtual std::vector<IComponent*> Components() = 0;
    /// The owned component of that name (ignoring letter case), or nullptr.
    virtual IComponent* FindComponent(const std::string& Name);

    /// The properties translation and settings may touch.
    virtual std::vector<TPropertyInfo> Properties() = 0;
    /// A scalar property (string, integer, enumeration, float) as text.
    virtual std::string GetPropertyText(const std::string& Name) = 0;
    /// Sets a scalar property from text; raises when the text does not convert.
    virtual void SetPropertyText(const std::string& Name, const std::string& Value) = 0;
    /// A list property (strings, tree nodes, list columns) as lines.
    virtual TStrings GetPropertyLines(const std::string& Name) = 0;
    /// Replaces a list property's lines; a list with a selection keeps its selected index.
    virtual void SetPropertyLines(const std::string& Name, const TStrings& Lines) = 0;

    /// True for a combo box, whose item list may change its length on translation.
    virtual bool IsComboBox() const { return false; }
    /// True for a frame: a reusable panel with property managers of its own.
    virtual bool IsFrame() const { return false; }
    /// The property managers this component owns directly.
    virtual std::vector<TPropertyManager*> PropertyManagers() { return {}; }
    /// The window events, or nullptr when the component is not a window.
    virtual TFormEvents* FormEvents() { return nullptr; }
    /// True when the window exists on the screen (has a native handle).
    virtual bool HandleAllocated() const { return false; }
    /// The window's normal (restored) rectangle.
    virtual TRect NormalBounds() const { return {}; }

    /// The kind of a supported property (name ignoring letter case); false when it is not supported.
    bool FindProperty(const std::string& Name, TPropertyKind& Kind);
};

} // namespace orb
