#include "gui/QtForm.h"

#include "base/Views.h"
#include "launcher/LoginFlow.h"
#include "localisation/Unit_Language.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTabBar>

#include <set>

namespace orb
{

namespace
{

/// On a widget placed by hand: true while it stands at its mirror image.
const char* const MirroredProperty = "orbMirrored";
/// On the parent of such widgets: its width when they were last placed.
const char* const MirrorWidthProperty = "orbMirrorWidth";

/// True for a widget that its parent does not place itself (no layout, not a part of one of Qt's composite
/// widgets such as a tab widget, combo box or scroll area).
bool IsPlacedByHand(const QWidget* Widget)
{
    const QWidget* parent = Widget->parentWidget();
    if (!parent || Widget->isWindow())
        return false;
    if (Widget->objectName().startsWith("qt_") || parent->objectName().startsWith("qt_"))
        return false;
    if (parent->layout() && parent->layout()->indexOf(const_cast<QWidget*>(Widget)) >= 0)
        return false;
    const QMetaObject* kind = parent->metaObject();
    // Qt's own classes other than the plain containers place their parts themselves; our windows and panels
    // (class names in the orb namespace) place their children by hand.
    if (kind->className()[0] != 'Q')
        return true;
    return kind == &QWidget::staticMetaObject || kind == &QFrame::staticMetaObject ||
           kind == &QGroupBox::staticMetaObject || kind == &QDialog::staticMetaObject;
}

/// Vertical tab strips turn to face the other side with the window.
void FlipTabShape(QWidget* Widget)
{
    auto* tabs = qobject_cast<QTabBar*>(Widget);
    if (!tabs)
        return;
    switch (tabs->shape())
    {
    case QTabBar::RoundedWest:
        tabs->setShape(QTabBar::RoundedEast);
        break;
    case QTabBar::RoundedEast:
        tabs->setShape(QTabBar::RoundedWest);
        break;
    case QTabBar::TriangularWest:
        tabs->setShape(QTabBar::TriangularEast);
        break;
    case QTabBar::TriangularEast:
        tabs->setShape(QTabBar::TriangularWest);
        break;
    default:
        break;
    }
}

void WatchParentWidth(QWidget* Parent);

/// Keeps mirrored children at the same distance from their parent's right edge when the parent's width changes.
void FollowParentWidth(QWidget* Parent)
{
    const QVariant stored = Parent->property(MirrorWidthProperty);
    if (stored.isValid() && stored.toInt() != Parent->width())
    {
        const int delta = Parent->width() - stored.toInt();
        for (QWidget* child : Parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->property(MirroredProperty).toBool() && IsPlacedByHand(child))
                child->move(child->x() + delta, child->y());
    }
    Parent->setProperty(MirrorWidthProperty, Parent->width());
    WatchParentWidth(Parent);
}

/// Follows the width of the parents of hand-placed widgets (a hidden page gets its final size only when shown).
class TMirrorWatch : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::Resize || Event->type() == QEvent::Show)
            if (auto* widget = qobject_cast<QWidget*>(Watched))
                FollowParentWidth(widget);
        return false;
    }
};

void WatchParentWidth(QWidget* Parent)
{
    if (Parent->property("orbMirrorWatched").toBool())
        return;
    static TMirrorWatch* watch = new TMirrorWatch(qApp);
    Parent->installEventFilter(watch);
    Parent->setProperty("orbMirrorWatched", true);
}

/// The caption as an accessible name: no mnemonic marker, no trailing colon.
QString CaptionName(const QString& Caption)
{
    static const QRegularExpression appendedLetter(R"(\s*\(&[A-Za-z]\))");
    QString name = StripMnemonic(QString(Caption).remove(appendedLetter)).trimmed();
    while (name.endsWith(':') || name.endsWith(u'\uFF1A'))
        name = name.chopped(1).trimmed();
    return name;
}

/// The text of a control that can carry a mnemonic: a button's or check box's caption, a buddied label's caption.
QString MnemonicText(QWidget* Control)
{
    if (auto* button = qobject_cast<QAbstractButton*>(Control))
        return button->text();
    if (auto* label = qobject_cast<QLabel*>(Control); label && label->buddy())
        return label->text();
    return {};
}

void SetMnemonicText(QWidget* Control, const QString& Text)
{
    if (auto* button = qobject_cast<QAbstractButton*>(Control))
        button->setText(Text);
    else if (auto* label = qobject_cast<QLabel*>(Control))
        label->setText(Text);
}

/// True for characters no keyboard types with one key: Chinese, Japanese and Korean script.
bool IsIdeographic(QChar Char)
{
    switch (Char.script())
    {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return true;
    default:
        return false;
    }
}

/// The letter after a single "&" (lower case), or a null character.
QChar MnemonicOf(const QString& Text)
{
    for (qsizetype i = 0; i + 1 < Text.size(); ++i)
        if (Text[i] == '&')
        {
            if (Text[i + 1] != '&')
                return Text[i + 1].toLower();
            ++i;
        }
    return {};
}

} // namespace

bool IsRightToLeftLanguage(const std::string& Code)
{
    const QString code = QString::fromStdString(Code).toLower();
    return code.startsWith("ar") || code.startsWith("he");
}

void ApplyLanguageDirection()
{
    const auto direction = IsRightToLeftLanguage(LanguageCode) ? Qt::RightToLeft : Qt::LeftToRight;
    // Every window without a direction of its own follows the application's at once.
    if (QGuiApplication::layoutDirection() != direction)
        QGuiApplication::setLayoutDirection(direction);
}

QString StripMnemonic(const QString& Caption)
{
    QString text;
    text.reserve(Caption.size());
    for (qsizetype i = 0; i < Caption.size(); ++i)
    {
        if (Caption[i] == '&' && i + 1 < Caption.size())
            ++i;
        else if (Caption[i] == '&')
            continue;
        text += Caption[i];
    }
    return text;
}

void AssignMnemonics(const std::vector<QWidget*>& Controls)
{
    std::set<QChar> used;
    for (QWidget* control : Controls)
        if (control)
            if (const QChar letter = MnemonicOf(MnemonicText(control)); !letter.isNull())
                used.insert(letter);
    for (QWidget* control : Controls)
    {
        if (!control)
            continue;
        const QString text = MnemonicText(control);
        if (text.isEmpty() || !MnemonicOf(text).isNull())
            continue;
        // Positions in the caption as written ("&&" stands for one shown "&"), first letters of words first.
        std::vector<qsizetype> firsts, others;
        bool wordStart = true;
        for (qsizetype i = 0; i < text.size(); ++i)
        {
            const QChar c = text[i];
            if (c == '&' && i + 1 < text.size() && text[i + 1] == '&')
            {
                ++i;
                wordStart = true;
                continue;
            }
            if (c.isLetterOrNumber() && !IsIdeographic(c))
                (wordStart ? firsts : others).push_back(i);
            wordStart = !c.isLetterOrNumber();
        }
        firsts.insert(firsts.end(), others.begin(), others.end());
        bool assigned = false;
        for (qsizetype i : firsts)
            if (used.insert(text[i].toLower()).second)
            {
                SetMnemonicText(control, text.left(i) + '&' + text.mid(i));
                assigned = true;
                break;
            }
        // A caption in Chinese, Japanese or Korean gets a Latin letter after it, as those desktops write it.
        if (!assigned && firsts.empty())
            for (char letter = 'A'; letter <= 'Z'; ++letter)
                if (used.insert(QChar(letter).toLower()).second)
                {
                    // Before a closing colon: "密码(&B)：".
                    qsizetype end = text.size();
                    while (end > 0 && (text[end - 1].isSpace() || text[end - 1] == ':' || text[end - 1] == u'\uFF1A'))
                        --end;
                    SetMnemonicText(control, text.left(end) + "(&" + QChar(letter) + ")" + text.mid(end));
                    break;
                }
    }
}

void SetAccessibleNames(QWidget* Root)
{
    for (QLabel* label : Root->findChildren<QLabel*>())
        if (QWidget* buddy = label->buddy())
            buddy->setAccessibleName(CaptionName(label->text()));
    for (QAbstractButton* button : Root->findChildren<QAbstractButton*>())
        if (!button->text().isEmpty())
            button->setAccessibleName(CaptionName(button->text()));
}

void SetDesignGeometry(QWidget* Widget, const QRect& Geometry)
{
    QWidget* parent = Widget->parentWidget();
    const bool mirrored = parent && parent->isRightToLeft() && IsPlacedByHand(Widget);
    if (parent && IsPlacedByHand(Widget))
        FollowParentWidth(parent);
    Widget->setGeometry(mirrored ? QRect(parent->width() - Geometry.x() - Geometry.width(), Geometry.y(),
                                         Geometry.width(), Geometry.height())
                                 : Geometry);
    if (Widget->property(MirroredProperty).toBool() != mirrored)
        FlipTabShape(Widget);
    Widget->setProperty(MirroredProperty, mirrored);
}

void MirrorChildren(QWidget* Root)
{
    for (QWidget* widget : Root->findChildren<QWidget*>())
    {
        if (!IsPlacedByHand(widget))
            continue;
        QWidget* parent = widget->parentWidget();
        FollowParentWidth(parent);
        const bool mirrored = parent->isRightToLeft();
        if (widget->property(MirroredProperty).toBool() == mirrored)
            continue;
        widget->move(parent->width() - widget->x() - widget->width(), widget->y());
        widget->setProperty(MirroredProperty, mirrored);
        FlipTabShape(widget);
    }
}

TQtForm::TQtForm(const std::string& ClassName, QWidget* Parent) : QDialog(Parent), FReflection(this, ClassName)
{
    setObjectName(QString::fromStdString(ClassName.size() > 1 ? ClassName.substr(1) : ClassName));
    // The writing direction follows the language: set before any component exists, and again at every load of a
    // language (the hook runs before the windows are re-translated).
    static const int directionHook = AddLanguageLoadedHook([](TLanguage&) { ApplyLanguageDirection(); });
    (void)directionHook;
    ApplyLanguageDirection();
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
    auto afterLoad = std::move(PropertyManager.OnLanguageAfterLoad);
    PropertyManager.OnLanguageAfterLoad = [this, afterLoad = std::move(afterLoad)](TPropertyManager& Sender) {
        if (afterLoad)
            afterLoad(Sender);
        LanguageLoaded();
    };
    PropertyManager.Loaded();
    if (FReflection.Events.OnCreate)
        FReflection.Events.OnCreate(FReflection);
    FApplicationForm = ApplicationForm;
    if (ApplicationForm)
        RegisterApplicationForm(&FReflection);
    // The components were placed for left-to-right text.
    MirrorChildren(this);
    LanguageLoaded();
}

void TQtForm::LanguageLoaded()
{
    SetAccessibleNames(this);
}

void TQtForm::Guarded(const std::function<void()>& Handler)
{
    // Qt cannot carry an exception through its event loop: it goes to the application's handler here, which
    // shows information as a plain message and every other error as the exception report.
    try
    {
        Handler();
    }
    catch (...)
    {
        try
        {
            ApplicationEventsException(ClassName(), std::current_exception());
        }
        catch (...)
        {
            // No dialogs installed: nothing more can be shown.
        }
    }
}

void TQtForm::changeEvent(QEvent* Event)
{
    // Arrives after every component has taken the new direction.
    if (Event->type() == QEvent::LayoutDirectionChange)
        MirrorChildren(this);
    QDialog::changeEvent(Event);
}

void TQtForm::showEvent(QShowEvent* Event)
{
    // Components added since the last direction change (pages filled at run time) take the window's side.
    MirrorChildren(this);
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
