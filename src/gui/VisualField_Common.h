#pragma once

#include "registration/RegistrationUnit.h"

#include <QFont>
#include <QFrame>
#include <QPointer>

#include <vector>

class QLabel;

namespace orb
{

/// The editor of one registration field: a frame with a caption line above a value area that holds the control.
/// It copies the field's value into the control when built, copies it back when asked, shows the field's warning
/// as a red frame around the control and clears it as soon as the user changes the control.
class TVisualField_Common : public QFrame
{
    Q_OBJECT
public:
    ~TVisualField_Common() override;

    /// The caption line: the field's name, with " *" when the field is required.
    QLabel* Label_Caption = nullptr;
    /// The value area around the control, 2 pixels of padding on every side.
    QFrame* Panel_Value = nullptr;
    /// True once construction has finished; changes before that are not the user's.
    bool Created = false;
    /// The field shown; not owned.
    TRField* Field = nullptr;

    /// Control to field.
    virtual void SetToVariable() = 0;
    /// Field to control.
    virtual void GetFromVariable() = 0;
    /// Puts the field's Hint on the control itself (the argument is not used).
    virtual void SetHint(const QString& Hint) = 0;
    /// Shows the field's warning state.
    virtual void UpdateUI();
    /// The user changed the control: a warning shown on a built editor goes away.
    void ClearWarning();

    /// The font of every editor's caption line (the wizard's own caption line, recorded when it is shown).
    static QFont& CaptionFont();

protected:
    /// The common part of the construction before the control exists: the frame placed under the editors
    /// already in Parent.
    TVisualField_Common(TRField* AField, QWidget* Parent);
    /// Ends the common construction once the control is in the value area: caption, value, look, Created.
    void FinishCreate();
    /// A new style (a skin change) may have put back the palettes from before the warning: shows it again. A new
    /// layout direction moves the texts to its reading side.
    void changeEvent(QEvent* Event) override;
};

/// Puts the text of every label (except centred ones) and every line edit in Root on the side the widgets' layout
/// direction reads from: right-aligned right to left, left-aligned otherwise, whatever script the text is in.
void FollowReadingDirection(QWidget* Root);

/// The editors of one page in page order, placed in a container (the wizard's scrolling area); owns them.
class TVisualFields : public IVisualFields
{
public:
    /// Builds an editor for every visible field of Fields, in order, inside Parent.
    TVisualFields(TBundleFields& Fields, QWidget* Parent);
    /// Destroys the editors, the last first.
    ~TVisualFields() override;
    TVisualFields(const TVisualFields&) = delete;
    TVisualFields& operator=(const TVisualFields&) = delete;

    /// The container the editors are placed in.
    QWidget* Parent() const { return FParent; }
    /// The number of editors.
    size_t Count() const { return FItems.size(); }
    /// The editor at Index (nullptr once Qt destroyed it with its container).
    TVisualField_Common* operator[](size_t Index) const { return FItems.at(Index); }

    void SetToVariable() override;
    void UpdateUI() override;

private:
    QPointer<QWidget> FParent;
    std::vector<QPointer<TVisualField_Common>> FItems;
};

} // namespace orb
