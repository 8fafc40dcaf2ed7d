#pragma once

#include "gui/QtForm.h"
#include "registration/RegistrationExchange.h"

#include <QPixmap>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QTimer;

namespace orb
{

/// The "New Account" wizard: asks the registration service for the fields of each page, shows them with the
/// field editors, checks each page before moving on, sends the completed form and finally shows the new login and
/// password with a button that starts trading with them. It works as a window of its own or embedded in the login
/// window's registration tab; every decision belongs to its exchange, the window only binds widgets to it.
class TForm_Registration : public TQtForm, public IRegistrationView
{
    Q_OBJECT
public:
    /// Builds the window and loads its captions from the language section "Form_Registration".
    explicit TForm_Registration(QWidget* Parent = nullptr);
    ~TForm_Registration() override;

    /// The exchange with the registration service; the creator sets URL, ProviderId, Language, Entries and
    /// ShowUserCredentials on it before showing the window.
    TRegistrationExchange Exchange{this};
    /// Runs when the wizard closes itself; Ok after the start-trading button (the new account is in
    /// RegistrationInfo()).
    std::function<void(TForm_Registration& Sender, bool Ok)> OnRegistrationClose;
    /// The new account once the registration is done.
    const TRInfo& RegistrationInfo() const { return Exchange.RegistrationInfo; }
    /// True when the window closed with OK (the start-trading button).
    bool ClosedWithOk() const { return FClosedWithOk; }

    /// Places the window inside Parent without a frame (the login window's registration tab).
    void Embed(QWidget* Parent);

    /// The text for MsgID from the section "Form_Registration", or "Unknown:" followed by MsgID.
    std::string Translate(const std::string& MsgID) const;
    /// The same text with its placeholders {0}, {1} ... replaced by Args.
    std::string Translate(const std::string& MsgID, const std::vector<std::string>& Args) const;

    /// Showing: records the caption font for the editors, fills the account types and sends the first request.
    void FormShow();
    /// May the wizard close now? Refused while "registrate" is on its way; asks while the registration would be
    /// lost; free once the wizard has ended.
    bool FormCloseQuery();
    /// Submit (Next): checks the page, then moves on or sends the request the state calls for.
    void Button_SubmitClick();
    /// Back, or Start Trading once the account exists.
    void Button_BackClick();
    /// The account type changed: asks for the first page of the new type (refused changes are undone).
    void ComboBox_SystemTypeChange(int Index);
    /// One frame of the waiting animation.
    void Timer_ProgressTimer();
    /// A wheel step up over the fields: 8 pixels up.
    void ScrollBox_FieldsMouseWheelUp();
    /// A wheel step down over the fields: 8 pixels down.
    void ScrollBox_FieldsMouseWheelDown();
    /// Applies the exchange's control states to the widgets.
    void UpdateControls() override;

    /// The pictures: 0 to 7 the frames of the waiting animation, 8 the success mark, each 64 by 64.
    static const std::vector<QPixmap>& ImageList();

    QWidget* Panel_Top = nullptr;             ///< the system-type block and the caption line
    QLabel* Label_SystemType = nullptr;       ///< "System Type"
    QComboBox* ComboBox_SystemType = nullptr; ///< the account types
    QFrame* Bevel_Top = nullptr;              ///< the separator under the system-type block
    QLabel* Label_Caption = nullptr;          ///< the form's explanation, or the service's warning
    QScrollArea* ScrollBox_Fields = nullptr;  ///< the editors of the page on screen
    QWidget* Panel_Fields = nullptr;          ///< the scrolled column holding the editors
    QWidget* Panel_Info = nullptr;            ///< waiting, done and error screen
    QLabel* Label_Message = nullptr;          ///< bold message of the info screen
    QLabel* Image = nullptr;                  ///< the animation frame or the success mark
    QWidget* Panel_LoginPassword = nullptr;   ///< the new credentials
    QLabel* Label_Login = nullptr;            ///< "Login:"
    QLabel* Label_Lgn = nullptr;              ///< the new login
    QLabel* Label_Password = nullptr;         ///< "Password:"
    QLabel* Label_Pswd = nullptr;             ///< the new password
    QWidget* Panel_Successfull = nullptr;     ///< where the credentials were sent
    QLabel* Label_SendTo = nullptr;           ///< "Your login and password have been sent to"
    QLabel* Label_Email = nullptr;            ///< the e-mail address
    QFrame* Bevel_Bottom = nullptr;           ///< the separator above the action strip
    QFrame* Panel_Action = nullptr;           ///< the bottom strip
    QPushButton* Button_Back = nullptr;       ///< "Back" (Enter), or "Start Trading" at the end
    QLabel* Label_Page = nullptr;             ///< "Page n"
    QPushButton* Button_Submit = nullptr;     ///< "Next" / "Submit" (Escape) / "Close"
    QTimer* Timer_Progress = nullptr;         ///< the waiting animation, every 100 ms

protected:
    std::unique_ptr<IVisualFields> CreateVisualFields(TBundleFields& Page) override;
    void ShowCaption(const std::string& Text) override;
    void ShowMessage(const std::string& Text) override;
    void CloseWindow(bool Ok) override;

    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    /// A new layout direction moves the texts to its reading side.
    void changeEvent(QEvent* Event) override;

public:
    /// Closing goes through FormCloseQuery.
    void reject() override;

private:
    void BuildLayout();
    void FillSystemTypes();
    void PlaceActionButtons();
    void PropertyManagerLanguageAfterLoad();

    int FTag = 0;
    bool FShown = false;
    bool FCloseAllowed = false;
    bool FClosedWithOk = false;
    bool FBackCentred = false;
    QString FBackCaption;
};

} // namespace orb
