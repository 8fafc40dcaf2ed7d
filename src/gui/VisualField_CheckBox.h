#pragma once

#include "gui/VisualField_Common.h"

#include <functional>

class QCheckBox;
class QLabel;

namespace orb
{

/// A check box with the caption beside it and, under the caption, the link of the field's first entry (when it
/// has an address), with a red warning panel behind them.
class TVisualField_CheckBox : public TVisualField_Common
{
    Q_OBJECT
public:
    /// Builds the editor of AField under the editors already in Parent.
    TVisualField_CheckBox(TRField* AField, QWidget* Parent);

    /// The check box.
    QCheckBox* CheckBox_Value = nullptr;
    /// The caption beside the box (word-wrapped; a click on it ticks the box).
    QLabel* Label_CheckBoxCaption = nullptr;
    /// The link label: blue, underlined, hand cursor.
    QLabel* Label_Value = nullptr;
    /// The red panel behind the value area, shown while the field is marked.
    QFrame* Panel_Warning = nullptr;

    /// Opens a link in the embedded browser window (Owner, caption, address); replaceable for tests.
    using TOpenLink = std::function<int(QWidget* Owner, const QString& Caption, const QString& URL)>;
    /// The way links are opened; the embedded browser window unless replaced.
    static TOpenLink& OpenLink();

    void SetToVariable() override;
    void GetFromVariable() override;
    void SetHint(const QString& Hint) override;
    void UpdateUI() override;
    /// The click on the link label: the first entry's address in the embedded browser window.
    void Label_ValueClick();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    void PlaceWarning();
};

} // namespace orb
