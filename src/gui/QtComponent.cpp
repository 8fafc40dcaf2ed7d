#include "gui/QtComponent.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTreeWidget>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace orb
{

namespace
{

/// Frames by their widget: a window's scan hands a frame's own reflection out instead of a plain one.
std::unordered_map<QObject*, TQtComponent*>& Frames()
{
    static std::unordered_map<QObject*, TQtComponent*> frames;
    return frames;
}

template <class T> bool Is(QObject* Object)
{
    return qobject_cast<T*>(Object) != nullptr;
}

template <class T> T* As(QObject* Object)
{
    return qobject_cast<T*>(Object);
}

/// The tab widget holding Page as one of its pages, or nullptr.
QTabWidget* TabOf(QObject* Page)
{
    auto* widget = As<QWidget>(Page);
    if (!widget || !widget->parentWidget() || !Is<QStackedWidget>(widget->parentWidget()))
        return nullptr;
    auto* tabs = As<QTabWidget>(widget->parentWidget()->parentWidget());
    return tabs && tabs->indexOf(widget) >= 0 ? tabs : nullptr;
}

bool IsWindow(QObject* Object)
{
    auto* widget = As<QWidget>(Object);
    return widget && widget->isWindow();
}

std::string BoolText(bool Value)
{
    return Value ? "True" : "False";
}

bool TextBool(const std::string& Text)
{
    if (SameText(Text, "True"))
        return true;
    if (SameText(Text, "False"))
        return false;
    throw Exception("'" + Text + "' is not a valid boolean value");
}

TStrings Lines(const QStringList& List)
{
    TStrings result;
    result.reserve(static_cast<size_t>(List.size()));
    for (const auto& item : List)
        result.push_back(FromQString(item));
    return result;
}

QStringList QLines(const TStrings& Lines)
{
    QStringList result;
    for (const auto& line : Lines)
        result.push_back(ToQString(line));
    return result;
}

TQtPropertyBinding Scalar(std::string Name, TPropertyKind Kind, std::function<bool(QObject*)> Applies,
                          std::function<std::string(QObject*)> Get,
                          std::function<void(QObject*, const std::string&)> Set)
{
    TQtPropertyBinding binding;
    binding.Name = std::move(Name);
    binding.Kind = Kind;
    binding.Applies = std::move(Applies);
    binding.GetText = std::move(Get);
    binding.SetText = std::move(Set);
    return binding;
}

TQtPropertyBinding List(std::string Name, TPropertyKind Kind, std::function<bool(QObject*)> Applies,
                        std::function<TStrings(QObject*)> Get, std::function<void(QObject*, const TStrings&)> Set)
{
    TQtPropertyBinding binding;
    binding.Name = std::move(Name);
    binding.Kind = Kind;
    binding.Applies = std::move(Applies);
    binding.GetLines = std::move(Get);
    binding.SetLines = std::move(Set);
    return binding;
}

/// A widget geometry edge or extent as an integer property.
TQtPropertyBinding Geometry(std::string Name, int (*Get)(QWidget*), void (*Set)(QWidget*, int))
{
    return Scalar(
        std::move(Name), pkInteger, Is<QWidget>, [Get](QObject* o) { return std::to_string(Get(As<QWidget>(o))); },
        [Set](QObject* o, const std::string& v) { Set(As<QWidget>(o), StrToInt(v)); });
}

/// Replaces the items of a list-like widget and keeps the selected index where it still exists.
template <class TWidget> void ReplaceItems(TWidget* Widget, const TStrings& Items)
{
    const int selected = Widget->currentRow();
    Widget->clear();
    Widget->addItems(QLines(Items));
    Widget->setCurrentRow(selected < Widget->count() ? selected : -1);
}

} // namespace

QString ToQString(const std::string& Text)
{
    return QString::fromStdString(StringReplaceAll(Text, "\r\n", "\n"));
}

std::string FromQString(const QString& Text)
{
    return StringReplaceAll(Text.toStdString(), "\n", "\r\n");
}

TQtPropertyRegistry::TQtPropertyRegistry()
{
    // Earlier entries win: the specific kinds come before the general widget properties.
    auto& b = FBindings;
    b.push_back(Scalar(
        "Caption", pkString, IsWindow, [](QObject* o) { return FromQString(As<QWidget>(o)->windowTitle()); },
        [](QObject* o, const std::string& v) { As<QWidget>(o)->setWindowTitle(ToQString(v)); }));
    b.push_back(Scalar(
        "Caption", pkString, [](QObject* o) { return TabOf(o) != nullptr; },
        [](QObject* o) {
            auto* tabs = TabOf(o);
            return FromQString(tabs->tabText(tabs->indexOf(As<QWidget>(o))));
        },
        [](QObject* o, const std::string& v) {
            auto* tabs = TabOf(o);
            tabs->setTabText(tabs->indexOf(As<QWidget>(o)), ToQString(v));
        }));
    b.push_back(Scalar(
        "Caption", pkString, Is<QLabel>, [](QObject* o) { return FromQString(As<QLabel>(o)->text()); },
        [](QObject* o, const std::string& v) { As<QLabel>(o)->setText(ToQString(v)); }));
    b.push_back(Scalar(
        "Caption", pkString, Is<QAbstractButton>,
        [](QObject* o) { return FromQString(As<QAbstractButton>(o)->text()); },
        [](QObject* o, const std::string& v) { As<QAbstractButton>(o)->setText(ToQString(v)); }));
    b.push_back(Scalar(
        "Caption", pkString, Is<QGroupBox>, [](QObject* o) { return FromQString(As<QGroupBox>(o)->title()); },
        [](QObject* o, const std::string& v) { As<QGroupBox>(o)->setTitle(ToQString(v)); }));

    b.push_back(Scalar(
        "Text", pkString, Is<QLineEdit>, [](QObject* o) { return FromQString(As<QLineEdit>(o)->text()); },
        [](QObject* o, const std::string& v) { As<QLineEdit>(o)->setText(ToQString(v)); }));
    b.push_back(Scalar(
        "Text", pkString, Is<QComboBox>, [](QObject* o) { return FromQString(As<QComboBox>(o)->currentText()); },
        [](QObject* o, const std::string& v) {
            auto* combo = As<QComboBox>(o);
            if (combo->isEditable())
                combo->setEditText(ToQString(v));
            else
                combo->setCurrentIndex(combo->findText(ToQString(v)));
        }));
    b.push_back(Scalar(
        "Text", pkString, Is<QPlainTextEdit>,
        [](QObject* o) { return FromQString(As<QPlainTextEdit>(o)->toPlainText()); },
        [](QObject* o, const std::string& v) { As<QPlainTextEdit>(o)->setPlainText(ToQString(v)); }));
    b.push_back(List(
        "Lines", pkStrings, Is<QPlainTextEdit>,
        [](QObject* o) {
            auto text = As<QPlainTextEdit>(o)->toPlainText();
            return text.isEmpty() ? TStrings{} : Lines(text.split('\n'));
        },
        [](QObject* o, const TStrings& v) { As<QPlainTextEdit>(o)->setPlainText(QLines(v).join('\n')); }));

    b.push_back(List(
        "Items", pkStrings, Is<QComboBox>,
        [](QObject* o) {
            auto* combo = As<QComboBox>(o);
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items.push_back(combo->itemText(i));
            return Lines(items);
        },
        [](QObject* o, const TStrings& v) {
            auto* combo = As<QComboBox>(o);
            const int selected = combo->currentIndex();
            // The edit text of an editable box is the user's, not an item: it stays.
            const QString edit = combo->currentText();
            combo->clear();
            combo->addItems(QLines(v));
            combo->setCurrentIndex(selected < combo->count() ? selected : -1);
            if (combo->isEditable() && selected < 0)
                combo->setEditText(edit);
        }));
    b.push_back(List(
        "Items", pkStrings, Is<QListWidget>,
        [](QObject* o) {
            auto* list = As<QListWidget>(o);
            QStringList items;
            for (int i = 0; i < list->count(); ++i)
                items.push_back(list->item(i)->text());
            return Lines(items);
        },
        [](QObject* o, const TStrings& v) { ReplaceItems(As<QListWidget>(o), v); }));
    b.push_back(List(
        "Columns", pkListColumns, Is<QTreeWidget>,
        [](QObject* o) {
            auto* header = As<QTreeWidget>(o)->headerItem();
            QStringList items;
            for (int i = 0; i < header->columnCount(); ++i)
                items.push_back(header->text(i));
            return Lines(items);
        },
        [](QObject* o, const TStrings& v) { As<QTreeWidget>(o)->setHeaderLabels(QLines(v)); }));
    b.push_back(List(
        "Items", pkTreeNodes, Is<QTreeWidget>,
        [](QObject* o) {
            auto* tree = As<QTreeWidget>(o);
            QStringList items;
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                items.push_back(tree->topLevelItem(i)->text(0));
            return Lines(items);
        },
        [](QObject* o, const TStrings& v) {
            auto* tree = As<QTreeWidget>(o);
            for (int i = 0; i < tree->topLevelItemCount() && i < static_cast<int>(v.size()); ++i)
                tree->topLevelItem(i)->setText(0, ToQString(v[static_cast<size_t>(i)]));
        }));

    b.push_back(Scalar(
        "ItemIndex", pkInteger, Is<QComboBox>,
        [](QObject* o) { return std::to_string(As<QComboBox>(o)->currentIndex()); },
        [](QObject* o, const std::string& v) { As<QComboBox>(o)->setCurrentIndex(StrToInt(v)); }));
    b.push_back(Scalar(
        "Position", pkInteger, Is<QProgressBar>,
        [](QObject* o) { return std::to_string(As<QProgressBar>(o)->value()); },
        [](QObject* o, const std::string& v) { As<QProgressBar>(o)->setValue(StrToInt(v)); }));
    b.push_back(Scalar(
        "Checked", pkEnumeration,
        [](QObject* o) { return Is<QAbstractButton>(o) && As<QAbstractButton>(o)->isCheckable(); },
        [](QObject* o) { return BoolText(As<QAbstractButton>(o)->isChecked()); },
        [](QObject* o, const std::string& v) { As<QAbstractButton>(o)->setChecked(TextBool(v)); }));
    b.push_back(Scalar(
        "Checked", pkEnumeration, [](QObject* o) { return Is<QGroupBox>(o) && As<QGroupBox>(o)->isCheckable(); },
        [](QObject* o) { return BoolText(As<QGroupBox>(o)->isChecked()); },
        [](QObject* o, const std::string& v) { As<QGroupBox>(o)->setChecked(TextBool(v)); }));

    b.push_back(Scalar(
        "Hint", pkString, Is<QWidget>, [](QObject* o) { return FromQString(As<QWidget>(o)->toolTip()); },
        [](QObject* o, const std::string& v) { As<QWidget>(o)->setToolTip(ToQString(v)); }));
    // Visible is the widget's own flag, as designed, not whether its window happens to be on the screen.
    b.push_back(Scalar(
        "Visible", pkEnumeration, Is<QWidget>, [](QObject* o) { return BoolText(!As<QWidget>(o)->isHidden()); },
        [](QObject* o, const std::string& v) { As<QWidget>(o)->setVisible(TextBool(v)); }));
    b.push_back(Scalar(
        "Enabled", pkEnumeration, Is<QWidget>, [](QObject* o) { return BoolText(As<QWidget>(o)->isEnabled()); },
        [](QObject* o, const std::string& v) { As<QWidget>(o)->setEnabled(TextBool(v)); }));
    b.push_back(Geometry(
        "Left", [](QWidget* w) { return w->x(); }, [](QWidget* w, int v) { w->move(v, w->y()); }));
    b.push_back(Geometry(
        "Top", [](QWidget* w) { return w->y(); }, [](QWidget* w, int v) { w->move(w->x(), v); }));
    b.push_back(Geometry(
        "Width", [](QWidget* w) { return w->width(); }, [](QWidget* w, int v) { w->resize(v, w->height()); }));
    b.push_back(Geometry(
        "Height", [](QWidget* w) { return w->height(); }, [](QWidget* w, int v) { w->resize(w->width(), v); }));
}

TQtPropertyRegistry& TQtPropertyRegistry::Instance()
{
    static TQtPropertyRegistry registry;
    return registry;
}

void TQtPropertyRegistry::Register(TQtPropertyBinding Binding)
{
    FBindings.insert(FBindings.begin(), std::move(Binding));
}

const TQtPropertyBinding* TQtPropertyRegistry::Find(QObject* Object, const std::string& Name) const
{
    if (!Object)
        return nullptr;
    for (const auto& binding : FBindings)
        if (SameText(binding.Name, Name) && binding.Applies(Object))
            return &binding;
    return nullptr;
}

std::vector<TPropertyInfo> TQtPropertyRegistry::Properties(QObject* Object) const
{
    std::vector<TPropertyInfo> result;
    if (!Object)
        return result;
    for (const auto& binding : FBindings)
    {
        bool known = std::any_of(result.begin(), result.end(),
                                 [&](const TPropertyInfo& p) { return SameText(p.Name, binding.Name); });
        if (!known && binding.Applies(Object))
            result.push_back({binding.Name, binding.Kind});
    }
    return result;
}

std::string QtClassName(QObject* Object)
{
    if (!Object)
        return {};
    auto own = Object->property("orbClassName");
    if (own.isValid())
        return own.toString().toStdString();
    if (TabOf(Object))
        return "TTabSheet";
    static const std::vector<std::pair<std::function<bool(QObject*)>, const char*>> kinds = {
        {Is<QLabel>, "TLabel"},
        {Is<QCheckBox>, "TCheckBox"},
        {Is<QRadioButton>, "TRadioButton"},
        {Is<QAbstractButton>, "TButton"},
        {Is<QComboBox>, "TComboBox"},
        {Is<QLineEdit>, "TEdit"},
        {Is<QPlainTextEdit>, "TMemo"},
        {Is<QProgressBar>, "TProgressBar"},
        {Is<QGroupBox>, "TGroupBox"},
        {Is<QTabWidget>, "TPageControl"},
        {Is<QListWidget>, "TListBox"},
        {Is<QTreeWidget>, "TTreeView"},
        {IsWindow, "TForm"},
        {Is<QWidget>, "TPanel"},
    };
    for (const auto& [applies, name] : kinds)
        if (applies(Object))
            return name;
    return "TComponent";
}

TQtComponent::TQtComponent(QObject* Object, std::string ClassName) : FObject(Object), FClassName(std::move(ClassName))
{}

TQtComponent::~TQtComponent()
{
    SetFrame(false);
}

void TQtComponent::SetFrame(bool Value)
{
    auto& frames = Frames();
    for (auto it = frames.begin(); it != frames.end();)
        it = it->second == this ? frames.erase(it) : std::next(it);
    FFrame = Value;
    if (Value && FObject)
        frames[FObject.data()] = this;
}

std::string TQtComponent::Name() const
{
    return FObject ? FObject->objectName().toStdString() : std::string();
}

std::string TQtComponent::ClassName() const
{
    return FClassName.empty() ? QtClassName(FObject.data()) : FClassName;
}

void TQtComponent::Collect(QObject* Parent, std::vector<IComponent*>& Result)
{
    for (QObject* child : Parent->children())
    {
        const QString name = child->objectName();
        // Qt's own helper objects (qt_...) are not components, but the pages of a tab widget sit inside one.
        const bool named = !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
        auto frame = Frames().find(child);
        if (frame != Frames().end())
        {
            if (named)
                Result.push_back(frame->second);
            continue; // the frame owns what is inside it
        }
        if (named)
        {
            auto& slot = FChildren[child];
            if (!slot || slot->Object() != child)
                slot = std::make_unique<TQtComponent>(child);
            Result.push_back(slot.get());
        }
        Collect(child, Result);
    }
}

std::vector<IComponent*> TQtComponent::Components()
{
    std::vector<IComponent*> result;
    if (!FForm && !FFrame)
        return result;
    // Wrappers of objects destroyed since the last scan go; the address may be reused by a new object.
    for (auto it = FChildren.begin(); it != FChildren.end();)
        it = it->second->Object() ? std::next(it) : FChildren.erase(it);
    if (FObject)
        Collect(FObject.data(), result);
    return result;
}

std::vector<TPropertyInfo> TQtComponent::Properties()
{
    return TQtPropertyRegistry::Instance().Properties(FObject.data());
}

const TQtPropertyBinding& TQtComponent::Binding(const std::string& Name, bool List) const
{
    const auto* binding = TQtPropertyRegistry::Instance().Find(FObject.data(), Name);
    if (!binding || (List != static_cast<bool>(binding->GetLines)))
        throw Exception("Property " + Name + " does not exist on " + this->Name());
    return *binding;
}

std::string TQtComponent::GetPropertyText(const std::string& Name)
{
    return Binding(Name, false).GetText(FObject.data());
}

void TQtComponent::SetPropertyText(const std::string& Name, const std::string& Value)
{
    Binding(Name, false).SetText(FObject.data(), Value);
}

TStrings TQtComponent::GetPropertyLines(const std::string& Name)
{
    return Binding(Name, true).GetLines(FObject.data());
}

void TQtComponent::SetPropertyLines(const std::string& Name, const TStrings& Lines)
{
    Binding(Name, true).SetLines(FObject.data(), Lines);
}

bool TQtComponent::IsComboBox() const
{
    return Is<QComboBox>(FObject.data());
}

bool TQtComponent::HandleAllocated() const
{
    auto* widget = As<QWidget>(FObject.data());
    return FForm && widget && widget->windowHandle() != nullptr;
}

TRect TQtComponent::NormalBounds() const
{
    auto* widget = As<QWidget>(FObject.data());
    if (!widget)
        return {};
    QRect r = widget->isMaximized() || widget->isMinimized() ? widget->normalGeometry() : widget->geometry();
    return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

} // namespace orb
