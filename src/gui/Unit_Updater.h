#pragma once

#include "gui/QtModalWaitForm.h"

#include <QPointer>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orb
{

/// The update window ("Update Progress"): the file being updated, the file and total progress with their bars,
/// and Cancel. It shows modally while the update worker runs and refuses to close until the worker closes it.
class TForm_Updater : public TQtModalWaitForm, public IUpdateProgress
{
    Q_OBJECT
public:
    /// Builds the window and translates it from its language section.
    explicit TForm_Updater(QWidget* Parent = nullptr);

    QLabel* Label_UpdatingFileCaption = nullptr;  ///< "Updating File:"
    QLabel* Label_UpdatingFile = nullptr;         ///< the file being updated
    QFrame* Bevel1 = nullptr;                     ///< the line under the file name
    QLabel* Label_FileProgressCaption = nullptr;  ///< "File progress:"
    QLabel* Label_FileProgress = nullptr;         ///< kilobytes of the current file
    QProgressBar* ProgressBar_File = nullptr;     ///< progress of the current file
    QLabel* Label_TotalProgressCaption = nullptr; ///< "Total progress:"
    QLabel* Label_TotalProgress = nullptr;        ///< kilobytes of the whole update
    QProgressBar* ProgressBar_Total = nullptr;    ///< progress of the whole update
    QFrame* Panel_Action = nullptr;               ///< the bottom panel
    QPushButton* Button_Cancel = nullptr;         ///< "Cancel"

    /// The login window, hidden during the update and shown again afterwards; may be unset.
    QPointer<QWidget> LoginWindow;

    /// The Cancel button: the action ShowModal was given (the worker is asked to stop).
    void Button_CancelClick();

    void SetUpdatingFile(const std::string& FileName) override;
    void SetFileProgress(const std::string& Text, int Position) override;
    void SetTotalProgress(const std::string& Text, int Position) override;
    void SetLoginWindowVisible(bool Visible) override;
};

} // namespace orb
