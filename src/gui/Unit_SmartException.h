#pragma once

#include "exception_dialog/SmartException.h"
#include "gui/QtForm.h"

#include <QPointer>

#include <exception>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace orb
{

/// The exception report dialog: the message beside a warning picture, or the whole report as read-only text;
/// Details switches the view, Copy puts the report on the clipboard, OK closes. Stays on top.
class TForm_SmartException : public TQtForm
{
    Q_OBJECT
public:
    /// Builds and translates the dialog; LanguageFile is read when no process-wide language is loaded yet.
    explicit TForm_SmartException(const std::string& LanguageFile = "resource/language/language_en_US.ini",
                                  QWidget* Parent = nullptr);

    /// The warning picture at the left edge.
    QLabel* Image = nullptr;
    /// The exception's message (simple view).
    QLabel* Label_Info = nullptr;
    /// The report (details view).
    QPlainTextEdit* Memo = nullptr;
    /// The bottom panel holding the buttons.
    QWidget* Panel_Action = nullptr;
    /// Switches between the two views.
    QPushButton* Button_Details = nullptr;
    /// Copies the report.
    QPushButton* Button_Copy = nullptr;
    /// Closes the dialog.
    QPushButton* Button_OK = nullptr;

    /// The window whose screen the dialog centres on; the screen at the origin when unset.
    QPointer<QWidget> MainWindow;
    /// The view state, captions and geometry rules behind the window.
    TSmartExceptionView View;

    /// Builds the report of E for Sender into the window and shows its simple view modally.
    void Report(const std::string& Sender, const std::exception_ptr& E);
    /// Fills the message and the report text from the process's report (after MakeException with UpdateGUI).
    void UpdateFromReport();
    /// Shows the message view; shows the dialog modally when it is not visible yet.
    void ShowSimple();
    /// Shows the report view; shows the dialog modally when it is not visible yet.
    void ShowDetails();
    /// The Details button: the other view.
    void Button_DetailsClick();
    /// The Copy button: the whole report onto the clipboard.
    void Button_CopyClick();
    /// The OK button: closes the dialog.
    void Button_OkClick();

    /// Height of the button panel.
    static constexpr int PanelHeight = 41;
    /// Size of each button.
    static constexpr int ButtonWidth = 75, ButtonHeight = 25;
    /// Width of the picture column.
    static constexpr int ImageWidth = 57;

protected:
    /// Names the report's text for assistive technology, besides the buttons.
    void LanguageLoaded() override;
    void showEvent(QShowEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;

private:
    QRect WorkArea() const;
    void Centre();
    void ShowIfHidden();
    void LayOut();
};

} // namespace orb
