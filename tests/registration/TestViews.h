#pragma once

#include "base/Exceptions.h"
#include "base/Views.h"
#include "xml/VuvareXMLNode.h"

#include <map>
#include <string>
#include <vector>

namespace orb::test
{

/// Dialogs that record what they were asked to show and answer with a scripted result.
class TRecordingDialogs : public IDialogs
{
public:
    struct TDialog
    {
        std::string Caption;
        std::string Text;
        TMsgDlgType Icon;
        std::vector<std::string> ButtonCaptions;
    };
    std::vector<TDialog> Shown;
    std::vector<std::string> Messages;
    std::vector<std::pair<std::string, std::string>> Exceptions; // sender, message
    TModalResult Answer = TModalResult::mrOk;

    TModalResult ShowLocalizedDialog(const std::string& Caption, const std::string& Text, TMsgDlgType Icon,
                                     const std::vector<std::string>& ButtonCaptions,
                                     const std::vector<TMsgDlgBtn>&) override
    {
        Shown.push_back({Caption, Text, Icon, ButtonCaptions});
        return Answer;
    }
    void ShowMessage(const std::string& Text) override { Messages.push_back(Text); }
    void ShowException(const std::string& Sender, std::exception_ptr E) override
    {
        try
        {
            std::rethrow_exception(E);
        }
        catch (const std::exception& e)
        {
            Exceptions.emplace_back(Sender, e.what());
        }
    }
};

/// A modal wait without windows: runs the main thread's queue until a worker closes the window.
class TQueuedModalWait : public IModalWait
{
public:
    explicit TQueuedModalWait(TQueuedMainThread& Main) : FMain(Main) {}
    int Shown = 0;
    void ShowModal(TWaitWindow, const std::function<void()>&) override
    {
        ++Shown;
        FOpen = true;
        FMain.ProcessUntil([&] { return !FOpen; });
    }
    void Close(TWaitWindow) override { FOpen = false; }

private:
    TQueuedMainThread& FMain;
    bool FOpen = false;
};

/// An element with attributes only, standing for an account type of the client settings.
class TAttributeNode : public xml::IXMLNode
{
public:
    explicit TAttributeNode(std::map<std::string, std::string> Attributes) : FAttributes(std::move(Attributes)) {}
    std::string NodeName() const override { return "entry"; }
    xml::TNodeType NodeType() const override { return xml::ntElement; }
    std::string NodeValue() const override { return {}; }
    void SetNodeValue(const std::string&) override {}
    std::string Text() const override { return {}; }
    void SetText(const std::string&) override {}
    std::string Attributes(const std::string& Name) const override
    {
        auto it = FAttributes.find(Name);
        return it == FAttributes.end() ? std::string() : it->second;
    }
    void SetAttribute(const std::string& Name, const std::string& Value) override { FAttributes[Name] = Value; }
    bool HasAttribute(const std::string& Name) const override { return FAttributes.count(Name) != 0; }
    xml::IXMLNodeListPtr AttributeNodes() const override { return nullptr; }
    xml::IXMLNodeListPtr ChildNodes() const override { return nullptr; }
    bool HasChildNodes() const override { return false; }
    xml::IXMLNodePtr ParentNode() const override { return nullptr; }
    std::string XML() const override { return {}; }
    xml::IXMLNodePtr AddChild(const std::string&, int) override { return nullptr; }

private:
    std::map<std::string, std::string> FAttributes;
};

} // namespace orb::test
