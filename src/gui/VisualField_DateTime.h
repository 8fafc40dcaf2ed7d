#pragma once

#include "gui/VisualField_Common.h"

#include <QDate>

class QDateEdit;

namespace orb
{

/// A date picker showing the date as yyyy-MM-dd; a field without a value starts on 20 May 2013.
class TVisualField_DateTime : public TVisualField_Common
{
    Q_OBJECT
public:
    /// Builds the editor of AField under the editors already in Parent.
    TVisualField_DateTime(TRField* AField, QWidget* Parent);

    /// The date picker.
    QDateEdit* DateTimePicker_Value = nullptr;

    /// The date a field without a value starts on.
    static QDate InitialDate() { return QDate(2013, 5, 20); }

    void SetToVariable() override;
    void GetFromVariable() override;
    void SetHint(const QString& Hint) override;
};

} // namespace orb
