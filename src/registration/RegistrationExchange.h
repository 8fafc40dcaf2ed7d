#pragma once

#include "registration/RegistrationUnit.h"
#include "xml/VuvareXMLNode.h"

#include <nlohmann/json_fwd.hpp>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orb
{

class THttpClient;

/// The state of the registration wizard.
enum TRegistrationState
{
    rsInit,
    rsStarted,
    rsFieldsComplete,
    rsRegistrateBegin,
    rsRegistrateEnd,
    rsError,
    rsWarningFields,
    rsWarningRegistrate
};

/// How the wizard window's controls look in the current state and page; the window only applies it.
struct TRegistrationControls
{
    bool BackVisible = false;           ///< Button_Back
    std::string BackCaption;            ///< empty: the designed "Back"; otherwise the start-trading text
    bool BackCentred = false;           ///< Button_Back centred in the bottom strip
    std::string PageText;               ///< Label_Page
    bool PageVisible = false;           ///< Label_Page
    bool InfoVisible = false;           ///< Panel_Info (ScrollBox_Fields shows exactly when it does not)
    bool CaptionVisible = false;        ///< Label_Caption
    bool ResetCaption = false;          ///< Label_Caption shows its designed text again (not a service warning)
    std::string CaptionText;            ///< that designed text, when ResetCaption
    bool ImageVisible = false;          ///< Image
    int ImageIndex = -1;                ///< the picture to show, or -1 to leave it to the animation
    bool SubmitVisible = true;          ///< Button_Submit
    std::string SubmitCaption;          ///< Button_Submit
    bool SystemTypeEnabled = false;     ///< ComboBox_SystemType
    bool SeparatorsVisible = false;     ///< the two separator lines
    bool TimerRunning = false;          ///< Timer_Progress (the waiting animation)
    bool ActionVisible = true;          ///< Panel_Action
    std::string MessageText;            ///< Label_Message
    bool MessageBold = true;            ///< Label_Message
    bool LoginPasswordVisible = false;  ///< Panel_LoginPassword
    bool SuccessfullVisible = false;    ///< Panel_Successfull
    std::string Login, Password, Email; ///< Label_Lgn, Label_Pswd, Label_Email
};

/// What the registration exchange asks of the wizard window; every call comes on the user-interface thread.
class IRegistrationView
{
public:
    virtual ~IRegistrationView() = default;
    /// Builds the editors of Page in the fields area; none when the view shows no editors.
    virtual std::unique_ptr<IVisualFields> CreateVisualFields(TBundleFields& Page) = 0;
    /// Refreshes the window's controls after a change of state or page.
    virtual void UpdateControls() = 0;
    /// Shows the service's warning in the caption line.
    virtual void ShowCaption(const std::string& Text) = 0;
    /// Shows why the registration cannot go on in the message area.
    virtual void ShowMessage(const std::string& Text) = 0;
    /// Closes the window; Ok hands the new credentials to the login window.
    virtual void CloseWindow(bool Ok) = 0;
};

/// The registration wizard's exchange with the JSON-RPC registration service: builds every request, runs each on
/// a worker thread of its own, turns answers into pages of fields and moves the wizard's state. Lives on the
/// user-interface thread; answers are handed over through the installed IMainThread and never reach an exchange
/// that has been destroyed.
class TRegistrationExchange
{
public:
    /// View may be none (then nothing is shown).
    explicit TRegistrationExchange(IRegistrationView* View = nullptr);
    ~TRegistrationExchange();
    TRegistrationExchange(const TRegistrationExchange&) = delete;
    TRegistrationExchange& operator=(const TRegistrationExchange&) = delete;

    /// The address of the registration service.
    std::string URL;
    /// The broker's identifier at the service.
    std::string ProviderId;
    /// The language code sent with "fields" requests, such as en_US.
    std::string Language;
    /// The User-Agent of every request; the process-wide default of the HTTP providers unless set.
    std::string UserAgent;
    /// The account types: elements with "name", "value" and optionally "regoffice".
    std::vector<xml::IXMLNodePtr> Entries;
    /// Show login and password at the end.
    bool ShowUserCredentials = true;
    /// The text of a key of the window's language section; "Unknown:" and the key when none is set.
    std::function<std::string(const std::string&)> Translator;

    /// All pages received so far; page 0 holds the account-type field.
    TFields Fields;
    /// The last "fields" answer said completed.
    bool RequestCompleted = false;
    /// The result of the registration.
    TRInfo RegistrationInfo;
    /// The body of the last answer, as received.
    std::string Response;

    /// The wizard's state.
    TRegistrationState State() const { return FState; }
    /// The page on screen.
    int PageIndex() const { return FPageIndex; }
    /// The selected position of the system-type list; -1 when there are no account types.
    int SystemTypeIndex() const { return FSystemTypeIndex; }
    /// True while a request is on its way.
    bool Busy() const { return FBusy; }

    /// The window is shown: empties the form, selects the first account type and sends the first request.
    void FormShow();
    /// Submit: checks the page, then moves to a known later page or sends the request the state calls for.
    /// Ignored while a request is on its way.
    void Button_SubmitClick();
    /// Back: to the previous real page, or in rsRegistrateEnd closes the window with OK.
    void Button_BackClick();
    /// The system type changed to Index: discards the later pages and asks for the new account type's first
    /// page. Returns false when the change is refused (a request is on its way, or the state or page forbid it).
    bool ComboBox_SystemTypeChange(int Index);
    /// May the window close now? Asks for confirmation where the registration would be lost.
    bool FormCloseQuery();

    /// Builds and starts the request the current state calls for.
    void SendRequest();
    /// Handles the answer in Response.
    void HandleAnswer();
    /// Applies an error answer of the service.
    void HandleError(const std::string& Data);
    /// Forms page 0 from the first answer and applies the first account type.
    void HandleFirstAnswer();
    /// The page of a "fields" answer, or none when the answer has no result.
    std::unique_ptr<TBundleFields> ParseFieldsAnswer(const std::string& Data);
    /// A field from its description object.
    std::unique_ptr<TRField> ParseField(const nlohmann::ordered_json& Object);
    /// Fills Info from a "registrate" answer; leaves it empty when the answer has no result.
    void ReadRegistrationResult(const std::string& Data, TRInfo& Info);
    /// The account-type value at a position of the system-type list ("value" or "value:regoffice").
    std::string GetEntryValue(int Index) const;
    /// Shows page Index: the page on screen keeps its editors' contents, then Index gets new editors.
    void ShowPage(int Index);
    /// How the window's controls look now (applied by the window's UpdateControls).
    TRegistrationControls Controls() const;
    /// The service's reason shown in rsError; empty when the registration failed without one.
    const std::string& ErrorMessage() const { return FErrorMessage; }
    /// Sets the state and refreshes the window.
    void SetState(TRegistrationState State);
    /// The text of a key of the window's language section.
    std::string Translate(const std::string& MsgID) const;
    /// A failed request: reported through the exception report; a lost "registrate" answer ends in rsError.
    void HandleException(std::exception_ptr E);

    /// The "fields" request text around the member list Params.
    std::string FieldsRequestText(const std::string& Params) const;
    /// The "registrate" request text around the member list Params.
    std::string RegistrateRequestText(const std::string& Params) const;

    /// The number of request workers of all exchanges still running (they end soon after their exchange).
    static int RunningRequests();

private:
    struct TLifetime;
    void StartRequest(const std::string& Request);
    void Deliver(std::string Body, std::exception_ptr Error);

    IRegistrationView* FView;
    std::shared_ptr<THttpClient> FHttp;
    std::shared_ptr<TLifetime> FLifetime;
    TRegistrationState FState = rsInit;
    int FPageIndex = 0;
    int FSystemTypeIndex = -1;
    bool FBusy = false;
    std::string FErrorMessage;
};

} // namespace orb
