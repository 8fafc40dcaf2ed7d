#include "registration/RegistrationExchange.h"

#include "base/TextUtils.h"
#include "base/Views.h"
#include "exception_dialog/Worker.h"
#include "localisation/Unit_Language.h"
#include "net/HTTPDataProvider.h"
#include "registration/HttpClient.h"
#include "registration/JsonText.h"

#include <atomic>
#include <memory>

namespace orb
{

namespace
{

/// The member Name of Object, or null when Object is not an object or lacks it.
const TJson& Member(const TJson& Object, const char* Name)
{
    static const TJson none;
    if (!Object.is_object())
        return none;
    auto it = Object.find(Name);
    return it == Object.end() ? none : *it;
}

bool IsTrue(const TJson& Value)
{
    return Value.is_boolean() && Value.get<bool>();
}

} // namespace

struct TRegistrationExchange::TLifetime
{
    explicit TLifetime(TRegistrationExchange* AOwner) : Owner(AOwner) {}
    /// Cleared by the destructor (on the user-interface thread) before the exchange goes away.
    std::atomic<bool> Alive{true};
    TRegistrationExchange* Owner;
};

TRegistrationExchange::TRegistrationExchange(IRegistrationView* View)
    : FView(View), FHttp(std::make_shared<THttpClient>()), FLifetime(std::make_shared<TLifetime>(this))
{
    FHttp->Headers = {"Accept: text/javascript", "Content-Type: application/json", "Content-Encoding: utf-8"};
    UserAgent = DefaultUserAgent();
}

TRegistrationExchange::~TRegistrationExchange()
{
    // A worker still on its way finds the exchange gone and drops its answer.
    FLifetime->Alive = false;
    FHttp->Abort();
}

int TRegistrationExchange::RunningRequests()
{
    // Only the exchanges start detached workers.
    return RunningDetachedWorkers();
}

std::string TRegistrationExchange::Translate(const std::string& MsgID) const
{
    return Translator ? Translator(MsgID) : "Unknown:" + MsgID;
}

std::string TRegistrationExchange::FieldsRequestText(const std::string& Params) const
{
    return R"({"jsonrpc": "2.0", "method": "fields", "params": {"fields": {)" + Params + "}," + R"("providerId": ")" +
           ProviderId + R"(", "language":")" + Language + R"("}, "id":"1"})";
}

std::string TRegistrationExchange::RegistrateRequestText(const std::string& Params) const
{
    return R"({"jsonrpc": "2.0", "method": "registrate", "params": {"fields": {)" + Params + "}," +
           R"("providerId": ")" + ProviderId + R"("}, "id":"1"})";
}

void TRegistrationExchange::SetState(TRegistrationState State)
{
    FState = State;
    if (FView)
        FView->UpdateControls();
}

void TRegistrationExchange::FormShow()
{
    FPageIndex = 0;
    Fields.Pages.clear();
    RequestCompleted = false;
    RegistrationInfo = {};
    FSystemTypeIndex = Entries.empty() ? -1 : 0;
    FErrorMessage.clear();
    SetState(rsInit);
    SendRequest();
}

void TRegistrationExchange::SendRequest()
{
    if (FBusy)
        return;
    switch (FState)
    {
    case rsInit:
        StartRequest(FieldsRequestText(""));
        break;
    case rsWarningFields:
        SetState(rsStarted);
        [[fallthrough]];
    case rsStarted:
        StartRequest(FieldsRequestText(Fields.GetParams()));
        break;
    case rsFieldsComplete:
    case rsWarningRegistrate: {
        std::string params = Fields.GetParams();
        SetState(rsRegistrateBegin);
        StartRequest(RegistrateRequestText(params));
        break;
    }
    case rsRegistrateEnd:
    case rsError:
        if (FView)
            FView->CloseWindow(false);
        break;
    case rsRegistrateBegin:
        break;
    }
}

void TRegistrationExchange::StartRequest(const std::string& Request)
{
    FBusy = true;
    FHttp->UserAgent = UserAgent;
    // The worker holds the client and the lifetime, so both outlive an exchange destroyed while it runs.
    auto body = std::make_shared<std::string>();
    StartDetachedWorker(
        [http = FHttp, url = URL, request = Request, body] { *body = http->Send("POST", url, request).Body; },
        [life = FLifetime, body](std::exception_ptr Error) {
            if (life->Alive)
                life->Owner->Deliver(std::move(*body), std::move(Error));
        },
        [life = FLifetime] { return life->Alive.load(); });
}

void TRegistrationExchange::Deliver(std::string Body, std::exception_ptr Error)
{
    FBusy = false;
    if (!Error)
    {
        Response = std::move(Body);
        try
        {
            HandleAnswer();
        }
        catch (...)
        {
            Error = std::current_exception();
        }
    }
    if (Error)
        HandleException(Error);
}

void TRegistrationExchange::HandleException(std::exception_ptr E)
{
    // The "registrate" answer is lost: the account may or may not exist, and waiting longer cannot tell.
    if (FState == rsRegistrateBegin)
        SetState(rsError);
    try
    {
        Dialogs().ShowException("TRequestThread", E);
    }
    catch (...)
    {
        // No dialogs installed: nothing can show the report.
    }
}

void TRegistrationExchange::HandleAnswer()
{
    HandleError(Response);
    switch (FState)
    {
    case rsInit:
        HandleFirstAnswer();
        SetState(Fields.Pages.empty() ? rsError : rsStarted);
        break;
    case rsStarted:
        if (auto page = ParseFieldsAnswer(Response))
        {
            Fields.AddBundle(std::move(page));
            ShowPage(static_cast<int>(Fields.Pages.size()) - 1);
        }
        break;
    case rsRegistrateBegin: {
        // An answer with neither result nor error cannot be taken for a created account.
        auto answer = ParseJson(Response);
        if (!Member(answer, "result").is_object())
        {
            SetState(rsError);
            break;
        }
        TRInfo info;
        ReadRegistrationResult(Response, info);
        RegistrationInfo = info;
        SetState(rsRegistrateEnd);
        break;
    }
    default:
        break;
    }
}

void TRegistrationExchange::HandleError(const std::string& Data)
{
    auto answer = ParseJson(Data);
    if (answer.is_discarded() || !answer.is_object() || !answer.contains("error"))
        return;
    const TJson& error = answer["error"];
    int code = StrToIntDef(Trim(JsonValueText(Member(error, "code"))), 0);
    std::string message = JsonValueText(Member(error, "message"));
    std::string data;
    if (error.is_object() && error.contains("data"))
        data = error["data"].is_string() ? error["data"].get<std::string>() : error["data"].dump();

    if (code == -32001 || code == -32005)
    {
        SetState(RequestCompleted ? rsWarningRegistrate : rsWarningFields);
        if (FView)
            FView->ShowCaption(message);
        Fields.MarkFields(data);
        ShowPage(FPageIndex);
    }
    else
    {
        FErrorMessage = message.empty() ? data : message;
        SetState(rsError);
        if (FView)
            FView->ShowMessage(FErrorMessage);
    }
}

void TRegistrationExchange::HandleFirstAnswer()
{
    auto page = ParseFieldsAnswer(Response);
    if (!page || page->Count() == 0)
        return;
    (*page)[0].Id = "entry";
    Fields.AddBundle(std::move(page));
    // The user may have picked another type while this answer was retried: the form follows the box.
    if (FSystemTypeIndex < 0 || FSystemTypeIndex >= static_cast<int>(Entries.size()))
        FSystemTypeIndex = Entries.empty() ? -1 : 0;
    Fields.Pages[0]->Items[0]->SetCurrentValue(GetEntryValue(FSystemTypeIndex));
    SetState(rsStarted);
    SendRequest();
}

std::unique_ptr<TBundleFields> TRegistrationExchange::ParseFieldsAnswer(const std::string& Data)
{
    auto answer = ParseJson(Data);
    if (answer.is_discarded() || !answer.is_object() || !answer.contains("result"))
        return nullptr;
    const TJson& result = answer["result"];
    auto page = std::make_unique<TBundleFields>();
    RequestCompleted = IsTrue(Member(result, "completed"));
    const TJson& fields = Member(result, "fields");
    if (fields.is_array())
        for (const auto& description : fields)
        {
            if (!description.is_object())
                continue;
            auto field = ParseField(description);
            if (!Fields.IsExistField(*field))
                page->Add(std::move(field));
        }
    if (RequestCompleted)
        SetState(rsFieldsComplete);
    return page;
}

std::unique_ptr<TRField> TRegistrationExchange::ParseField(const TJson& Object)
{
    auto field = std::make_unique<TRField>();
    field->Id = JsonValueText(Member(Object, "id"));
    field->Name = JsonValueText(Member(Object, "name"));
    field->Hidden = IsTrue(Member(Object, "hidden"));
    field->FieldType = TRField::StrToFieldType(JsonValueText(Member(Object, "type")));
    field->Hint = JsonValueText(Member(Object, "hint"));
    field->Link = JsonValueText(Member(Object, "link"));
    field->Required = IsTrue(Member(Object, "required"));
    if (Object.contains("value"))
    {
        const TJson& value = Object["value"];
        if (value.is_array())
        {
            for (const auto& entry : value)
                field->Value->push_back({JsonValueText(Member(entry, "val1")), JsonValueText(Member(entry, "val2"))});
            if (value.size() >= 2)
                field->FieldType = ftArray;
        }
        else
        {
            std::string text = JsonValueText(value);
            field->Value->push_back({text, text});
        }
    }
    if (!field->Link.empty())
        if (TRField* linked = Fields.GetFieldById(field->Link))
            field->Value = linked->Value;
    return field;
}

void TRegistrationExchange::ReadRegistrationResult(const std::string& Data, TRInfo& Info)
{
    auto answer = ParseJson(Data);
    if (answer.is_discarded())
        return;
    const TJson& result = Member(answer, "result");
    if (!result.is_object())
        return;
    Info.Login = JsonValueText(Member(result, "LOGIN"));
    Info.Password = JsonValueText(Member(result, "PASSWORD"));
    Info.Schema = JsonValueText(Member(result, "SCHEMA"));
    if (FSystemTypeIndex >= 0 && FSystemTypeIndex < static_cast<int>(Entries.size()))
        Info.Entry = Entries[FSystemTypeIndex]->Attributes("name");
    Info.Email = Fields.GetFieldValueById("email");
}

std::string TRegistrationExchange::GetEntryValue(int Index) const
{
    if (Index < 0 || Index >= static_cast<int>(Entries.size()))
        return {};
    const auto& entry = Entries[Index];
    std::string value = entry->Attributes("value");
    if (entry->HasAttribute("regoffice"))
        value += ":" + entry->Attributes("regoffice");
    return value;
}

void TRegistrationExchange::ShowPage(int Index)
{
    auto valid = [this](int I) { return I >= 0 && I < static_cast<int>(Fields.Pages.size()); };
    if (valid(FPageIndex))
    {
        auto& current = *Fields.Pages[FPageIndex];
        current.UpdateVisualFields();
        current.VisualFields.reset();
    }
    FPageIndex = Index;
    if (valid(Index) && FView)
        Fields.Pages[Index]->VisualFields = FView->CreateVisualFields(*Fields.Pages[Index]);
    if (FView)
        FView->UpdateControls();
}

void TRegistrationExchange::Button_SubmitClick()
{
    if (FBusy)
        return;
    // Once the wizard has ended the button only closes the window.
    if (FState == rsError || FState == rsRegistrateEnd)
    {
        SendRequest();
        return;
    }
    if (FPageIndex >= 0 && FPageIndex < static_cast<int>(Fields.Pages.size()) &&
        !Fields.Pages[FPageIndex]->LocalValidateFields(Translate("ReadAndAccept")))
    {
        if (FView)
            FView->UpdateControls();
        return;
    }
    if (FPageIndex + 1 < static_cast<int>(Fields.Pages.size()))
        ShowPage(FPageIndex + 1);
    else
        SendRequest();
}

void TRegistrationExchange::Button_BackClick()
{
    if (FState == rsRegistrateEnd)
    {
        if (FView)
            FView->CloseWindow(true);
        return;
    }
    ShowPage(FPageIndex - 1);
    if (FPageIndex <= 0)
        ShowPage(1);
}

bool TRegistrationExchange::ComboBox_SystemTypeChange(int Index)
{
    if (FBusy || FState == rsRegistrateBegin || FState == rsRegistrateEnd || FPageIndex >= 2)
        return false;
    FSystemTypeIndex = Index;
    if (Fields.Pages.empty())
        return true;
    if (FPageIndex >= 1 && FPageIndex < static_cast<int>(Fields.Pages.size()))
        Fields.Pages[FPageIndex]->VisualFields.reset();
    Fields.DeletePagesFrom(1);
    FPageIndex = 0;
    // The new account type starts a new form: a completion of the old one no longer holds.
    RequestCompleted = false;
    if (Fields.Pages[0]->Count() > 0)
        Fields.Pages[0]->Items[0]->SetCurrentValue(GetEntryValue(Index));
    SetState(rsStarted);
    SendRequest();
    return true;
}

TRegistrationControls TRegistrationExchange::Controls() const
{
    TRegistrationControls c;
    const int pages = static_cast<int>(Fields.Pages.size());
    const bool warning = FState == rsWarningFields || FState == rsWarningRegistrate;
    c.BackVisible = FPageIndex >= 2 && FState != rsError;
    c.PageText = FormatTemplate(Translate("Page"), {std::to_string(FPageIndex)});
    c.InfoVisible = FState == rsRegistrateBegin || FState == rsRegistrateEnd || FState == rsError;
    const bool fieldsVisible = !c.InfoVisible;
    c.PageVisible =
        fieldsVisible && (pages > 2 || (pages == 2 && FState != rsFieldsComplete && FState != rsWarningRegistrate));
    c.CaptionVisible = fieldsVisible || warning;
    c.ImageVisible = FState != rsError;
    c.SubmitCaption = FPageIndex == pages - 1 && FState != rsStarted ? Translate("Submit") : Translate("Next");
    c.SystemTypeEnabled = FPageIndex < 2 && FState != rsRegistrateBegin && FState != rsRegistrateEnd;
    c.SeparatorsVisible = FState != rsInit;
    if (FState == rsRegistrateEnd)
    {
        c.ImageIndex = 8;
        c.SubmitVisible = false;
        c.PageVisible = false;
        c.BackCaption = Translate("StartTrading");
        c.BackCentred = true;
        c.Login = RegistrationInfo.Login;
        c.Password = RegistrationInfo.Password;
        c.LoginPasswordVisible = ShowUserCredentials;
        c.BackVisible = ShowUserCredentials;
        c.SuccessfullVisible = true;
        c.Email = RegistrationInfo.Email;
    }
    c.TimerRunning = FState == rsRegistrateBegin;
    c.ActionVisible = FState != rsRegistrateBegin;
    c.MessageText = FState == rsRegistrateBegin ? Translate("WaitingValidation") : Translate("SuccessfullRegistration");
    c.ResetCaption = !warning;
    if (c.ResetCaption)
        c.CaptionText = Translate("Label_Caption.Caption");
    if (FState == rsError)
    {
        c.SubmitCaption = Translate("Close");
        c.MessageBold = false;
        // The service's own reason stays readable across later refreshes.
        c.MessageText = FErrorMessage.empty() ? "Fails Initialization" : FErrorMessage;
        c.LoginPasswordVisible = false;
        c.ActionVisible = false;
    }
    return c;
}

bool TRegistrationExchange::FormCloseQuery()
{
    switch (FState)
    {
    case rsRegistrateBegin:
        return false;
    case rsRegistrateEnd:
    case rsError:
        return true;
    default:
        return Dialogs().ShowLocalizedDialog("Confirm", Translate("CancelRegistration"), TMsgDlgType::mtConfirmation,
                                             {}, {TMsgDlgBtn::mbOK, TMsgDlgBtn::mbCancel}) == TModalResult::mrOk;
    }
}

} // namespace orb
