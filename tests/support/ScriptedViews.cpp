#include "support/ScriptedViews.h"

#include "base/Exceptions.h"

namespace orb::test
{

TModalResult TScriptedDialogs::ShowLocalizedDialog(const std::string& Caption, const std::string& Text,
                                                   TMsgDlgType Icon, const std::vector<std::string>& ButtonCaptions,
                                                   const std::vector<TMsgDlgBtn>& Buttons)
{
    Dialogs.push_back({Caption, Text, Icon, ButtonCaptions, Buttons});
    return Answer;
}

void TScriptedDialogs::ShowException(const std::string& SenderClassName, std::exception_ptr E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const std::exception& error)
    {
        Exceptions.emplace_back(SenderClassName, error.what());
    }
    catch (...)
    {
        Exceptions.emplace_back(SenderClassName, "(not an exception)");
    }
}

void TScriptedModalWait::ShowModal(TWaitWindow Window, const std::function<void()>& OnCancel)
{
    Shown.push_back(Window);
    const int closedBefore = static_cast<int>(Closed.size());
    if (OnShow)
        OnShow(Window, OnCancel);
    FMainThread.ProcessUntil([&] { return static_cast<int>(Closed.size()) > closedBefore; });
}

void TScriptedModalWait::Close(TWaitWindow Window)
{
    Closed.push_back(Window);
}

TScriptedViews::TScriptedViews()
{
    InstallViews(
        {.MainThread = &MainThread, .Dialogs = &Dialogs, .ModalWait = &ModalWait, .UpdateProgress = &UpdateProgress});
}

TScriptedViews::~TScriptedViews()
{
    ResetViews();
}

} // namespace orb::test
