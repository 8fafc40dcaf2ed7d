#pragma once

#include "gui/QtModalWaitForm.h"

#include <functional>

class QLabel;
class QPushButton;

namespace orb
{

/// The connection progress window ("Server Connection Information"): shown modally while a request thread
/// runs, closed by that thread; Cancel runs the caller's action (the runner starts the launcher anew).
class TForm_Progress : public TQtModalWaitForm
{
    Q_OBJECT
public:
    /// Builds the window and translates it from its language section.
    explicit TForm_Progress(QWidget* Parent = nullptr);

    /// The application's icon.
    QLabel* Image = nullptr;
    /// "Connect to server ..."; never changes while the window shows.
    QLabel* Label_Status = nullptr;
    /// The bottom panel.
    QFrame* Panel_Action = nullptr;
    /// "Cancel".
    QPushButton* Button_Break = nullptr;

    /// The Cancel button: the action ShowModal was given.
    void Button_BreakClick();

    /// Called on the user-interface thread each time the window has been shown modally (tests look in here).
    std::function<void(TForm_Progress& Sender)> OnShown;

protected:
    void showEvent(QShowEvent* Event) override;
};

} // namespace orb
