#include "gui/VisualField_Edit.h"

#include "gui/QtComponent.h"

#include <QLayout>
#include <QLineEdit>
#include <QRegularExpressionValidator>

namespace orb
{

TVisualField_Edit::TVisualField_Edit(TRField* AField, QWidget* Parent) : TVisualField_Common(AField, Parent)
{
    Edit_Value = new QLineEdit(Panel_Value);
    Edit_Value->setObjectName("Edit_Value");
    Panel_Value->layout()->addWidget(Edit_Value);
    FinishCreate();
    connect(Edit_Value, &QLineEdit::textChanged, this, [this] { ClearWarning(); });
}

void TVisualField_Edit::SetToVariable()
{
    Field->SetCurrentValue(FromQString(Edit_Value->text()));
}

void TVisualField_Edit::GetFromVariable()
{
    Edit_Value->setText(ToQString(Field->CurrentValue()));
}

void TVisualField_Edit::SetHint(const QString& /*Hint*/)
{
    Edit_Value->setToolTip(ToQString(Field->Hint));
}

TVisualField_Password::TVisualField_Password(TRField* AField, QWidget* Parent) : TVisualField_Edit(AField, Parent)
{
    Edit_Value->setEchoMode(QLineEdit::Password);
    // The style's own mask character differs between desktops; the field always shows '*'.
    Edit_Value->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
}

TVisualField_Numeric::TVisualField_Numeric(TRField* AField, QWidget* Parent) : TVisualField_Edit(AField, Parent)
{
    // Only typed input is refused: a value the field already held stays as it is.
    Edit_Value->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), Edit_Value));
}

} // namespace orb
