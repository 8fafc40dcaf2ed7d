#pragma once

#include "gui/VisualField_Common.h"

class QComboBox;

namespace orb
{

/// A drop-down list of the field's entries: a value can only be picked from the list (typing opens the list and
/// is discarded); while nothing is picked it shows the grey "PleaseSelect" placeholder.
class TVisualField_ComboBox : public TVisualField_Common
{
    Q_OBJECT
public:
    /// Builds the editor of AField under the editors already in Parent.
    TVisualField_ComboBox(TRField* AField, QWidget* Parent);

    /// The drop-down list.
    QComboBox* ComboBox_Value = nullptr;

    /// The text of the placeholder (the wizard's "PleaseSelect" text).
    static QString& PleaseSelectText();

    void SetToVariable() override;
    void GetFromVariable() override;
    void SetHint(const QString& Hint) override;
    /// Also gives the placeholder its grey again (a new style may have put back an earlier palette).
    void UpdateUI() override;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
};

} // namespace orb
