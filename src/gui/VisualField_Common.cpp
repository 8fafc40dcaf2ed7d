#include "gui/VisualField_Common.h"

#include "gui/QtComponent.h"
#include "gui/VisualField_CheckBox.h"
#include "gui/VisualField_ComboBox.h"
#include "gui/VisualField_DateTime.h"
#include "gui/VisualField_Edit.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include <optional>

namespace orb
{

namespace
{

/// The container's column of editors; the stretch at its end keeps the editors at the top.
QVBoxLayout* EditorColumn(QWidget* Parent)
{
    auto* layout = qobject_cast<QVBoxLayout*>(Parent->layout());
    if (!layout)
    {
        delete Parent->layout();
        layout = new QVBoxLayout(Parent);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->setSpacing(6);
        layout->addStretch(1);
    }
    return layout;
}

} // namespace

void FollowReadingDirection(QWidget* Root)
{
    // A label or edit aligns by the direction of its text by default: an English caption would stay on the left in
    // a right-to-left window. An absolute alignment follows the window instead.
    const Qt::Alignment side = (Root->isRightToLeft() ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignAbsolute;
    const auto align = [side](Qt::Alignment Current) -> std::optional<Qt::Alignment> {
        if (Current & (Qt::AlignHCenter | Qt::AlignJustify))
            return std::nullopt;
        return (Current & Qt::AlignVertical_Mask) | side;
    };
    for (QLabel* label : Root->findChildren<QLabel*>())
        if (const auto alignment = align(label->alignment()))
            label->setAlignment(*alignment);
    for (QLineEdit* edit : Root->findChildren<QLineEdit*>())
        if (const auto alignment = align(edit->alignment()))
            edit->setAlignment(*alignment);
}

QFont& TVisualField_Common::CaptionFont()
{
    static QFont font;
    return font;
}

TVisualField_Common::TVisualField_Common(TRField* AField, QWidget* Parent) : QFrame(nullptr), Field(AField)
{
    setObjectName("VisualField_" + QString::fromStdString(AField->Id));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    Label_Caption = new QLabel(this);
    Label_Caption->setObjectName("Label_Caption");
    Label_Caption->setWordWrap(true);
    Label_Caption->setFont(CaptionFont());
    column->addWidget(Label_Caption);
    Panel_Value = new QFrame(this);
    Panel_Value->setObjectName("Panel_Value");
    auto* value = new QHBoxLayout(Panel_Value);
    value->setContentsMargins(2, 2, 2, 2);
    value->setSpacing(4);
    column->addWidget(Panel_Value);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    // Appended under the editors already there, above the closing stretch.
    if (Parent)
    {
        QVBoxLayout* layout = EditorColumn(Parent);
        setParent(Parent);
        layout->insertWidget(layout->count() - 1, this);
    }
}

TVisualField_Common::~TVisualField_Common() = default;

void TVisualField_Common::FinishCreate()
{
    Label_Caption->setText(ToQString(Field->Name + (Field->Required ? " *" : "")));
    // A screen reader names the input by the field's caption (a check box carries its own text).
    for (QWidget* input : Panel_Value->findChildren<QWidget*>())
        if ((input->focusPolicy() & Qt::TabFocus) && input->accessibleName().isEmpty())
            input->setAccessibleName(ToQString(Field->Name));
    SetHint(ToQString(Field->Hint));
    GetFromVariable();
    UpdateUI();
    FollowReadingDirection(this);
    Created = true;
    // A layout shows a widget added to a visible container only later, from the event loop; the page is complete
    // at once.
    if (parentWidget())
        show();
}

void TVisualField_Common::UpdateUI()
{
    setToolTip(ToQString(Field->Warning ? Field->WarningHint : Field->Hint));
    if (Field->Warning)
    {
        QPalette palette = Panel_Value->palette();
        palette.setColor(QPalette::Window, QColor(255, 0, 0));
        Panel_Value->setPalette(palette);
        Panel_Value->setAutoFillBackground(true);
    }
    else
    {
        Panel_Value->setPalette(QPalette());
        Panel_Value->setAutoFillBackground(false);
    }
}

void TVisualField_Common::changeEvent(QEvent* Event)
{
    QFrame::changeEvent(Event);
    if (Event->type() == QEvent::StyleChange && Created)
        UpdateUI();
    if (Event->type() == QEvent::LayoutDirectionChange)
        FollowReadingDirection(this);
}

void TVisualField_Common::ClearWarning()
{
    if (!Field->Warning || !Created)
        return;
    Field->Warning = false;
    setToolTip(ToQString(Field->Hint));
    UpdateUI();
}

TVisualFields::TVisualFields(TBundleFields& Fields, QWidget* Parent) : FParent(Parent)
{
    for (const auto& item : Fields.Items)
    {
        TRField* field = item.get();
        if (field->Hidden)
            continue;
        TVisualField_Common* editor = nullptr;
        switch (field->FieldType)
        {
        case ftBoolean:
        case ftYesNo:
        case ftYesNoLink:
        case ftLocalYesNoLink:
        case ftLocalYesNo:
            editor = new TVisualField_CheckBox(field, Parent);
            break;
        case ftNumeric:
            editor = new TVisualField_Numeric(field, Parent);
            break;
        case ftText:
        case ftAlpha:
        case ftAlphanumeric:
        case ftEmail:
            editor = new TVisualField_Edit(field, Parent);
            break;
        case ftPassword:
            editor = new TVisualField_Password(field, Parent);
            break;
        case ftDate:
            editor = new TVisualField_DateTime(field, Parent);
            break;
        case ftArray:
            editor = new TVisualField_ComboBox(field, Parent);
            break;
        case ftHidden:
        case ftMap:
            break;
        }
        if (editor)
            FItems.emplace_back(editor);
    }
}

TVisualFields::~TVisualFields()
{
    // Every control the container holds goes, the last first.
    if (FParent)
    {
        const auto children = FParent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            delete *it;
    }
    for (auto it = FItems.rbegin(); it != FItems.rend(); ++it)
        delete it->data();
}

void TVisualFields::SetToVariable()
{
    for (const auto& editor : FItems)
        if (editor)
            editor->SetToVariable();
}

void TVisualFields::UpdateUI()
{
    for (const auto& editor : FItems)
        if (editor)
            editor->UpdateUI();
}

} // namespace orb
