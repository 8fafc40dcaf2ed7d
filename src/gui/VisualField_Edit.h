#pragma once

#include "gui/VisualField_Common.h"

class QLineEdit;

namespace orb
{

/// A one-line edit box filling the value area (text, letters, alphanumerics, e-mail addresses).
class TVisualField_Edit : public TVisualField_Common
{
    Q_OBJECT
public:
    /// Builds the editor of AField under the editors already in Parent.
    TVisualField_Edit(TRField* AField, QWidget* Parent);

    /// The edit box.
    QLineEdit* Edit_Value = nullptr;

    void SetToVariable() override;
    void GetFromVariable() override;
    void SetHint(const QString& Hint) override;
};

/// The edit box with every character shown as '*'.
class TVisualField_Password : public TVisualField_Edit
{
    Q_OBJECT
public:
    /// Builds the editor of AField under the editors already in Parent.
    TVisualField_Password(TRField* AField, QWidget* Parent);
};

/// The edit box that accepts only digits as typed input.
class TVisualField_Numeric : public TVisualField_Edit
{
    Q_OBJECT
public:
    /// Builds the editor of AField under the editors already in Parent.
    TVisualField_Numeric(TRField* AField, QWidget* Parent);
};

} // namespace orb
