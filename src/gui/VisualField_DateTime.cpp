#include "gui/VisualField_DateTime.h"

#include "gui/QtComponent.h"

#include <QDateEdit>
#include <QLayout>
#include <QStringList>

namespace orb
{

TVisualField_DateTime::TVisualField_DateTime(TRField* AField, QWidget* Parent) : TVisualField_Common(AField, Parent)
{
    DateTimePicker_Value = new QDateEdit(InitialDate(), Panel_Value);
    DateTimePicker_Value->setObjectName("DateTimePicker_Value");
    DateTimePicker_Value->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    DateTimePicker_Value->setCalendarPopup(true);
    Panel_Value->layout()->addWidget(DateTimePicker_Value);
    FinishCreate();
    connect(DateTimePicker_Value, &QDateEdit::dateChanged, this, [this] { ClearWarning(); });
}

void TVisualField_DateTime::SetToVariable()
{
    Field->SetCurrentValue(FromQString(DateTimePicker_Value->date().toString(QStringLiteral("yyyy-MM-dd"))));
}

void TVisualField_DateTime::GetFromVariable()
{
    const QString value = ToQString(Field->CurrentValue());
    if (value.isEmpty())
        return;
    // Year, month and day with hyphens between; anything else keeps the picker's date.
    const QStringList parts = value.split('-');
    if (parts.size() != 3)
        return;
    bool okYear = false, okMonth = false, okDay = false;
    const QDate date(parts[0].trimmed().toInt(&okYear), parts[1].trimmed().toInt(&okMonth),
                     parts[2].trimmed().toInt(&okDay));
    if (okYear && okMonth && okDay && date.isValid())
        DateTimePicker_Value->setDate(date);
}

void TVisualField_DateTime::SetHint(const QString& /*Hint*/)
{
    DateTimePicker_Value->setToolTip(ToQString(Field->Hint));
}

} // namespace orb
