#include "localisation/PropertyManager.h"

#include "localisation/ComponentModel.h"
#include "localisation/Ini32SaveLoad.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace orb;
using orb::test::ReadBytes;
using orb::test::TempDir;
using orb::test::WriteBytes;

namespace
{

/// A login-like window in memory with the component kinds translation knows.
struct Window
{
    TMemoryComponent Form{"TForm_Orb_Loader", "Form_Orb_Loader"};
    TMemoryComponent* Label = nullptr;
    TMemoryComponent* Button = nullptr;
    TMemoryComponent* Combo = nullptr;
    TMemoryComponent* Radio = nullptr;
    TMemoryComponent* Tree = nullptr;
    TMemoryComponent* List = nullptr;
    TMemoryComponent* Frame = nullptr;
    TMemoryComponent* FrameLabel = nullptr;
    TPropertyManager* Manager = nullptr;

    Window()
    {
        Form.SetForm(true);
        Form.DefineString("Caption", "Design caption")
            .DefineString("Name", "Form_Orb_Loader")
            .DefineInteger("Left", 0)
            .DefineInteger("Width", 100)
            .DefineEnumeration("WindowState", {"wsNormal", "wsMinimized", "wsMaximized"}, "wsNormal");
        Label = &Form.Add("TLabel", "Label_Version");
        Label->DefineString("Caption", "Loader version - ").DefineString("Hint", "");
        Button = &Form.Add("TButton", "Button_OK");
        Button->DefineString("Caption", "Login").DefineString("Hint", "design hint").DefineInteger("Tag", 0);
        Combo = &Form.Add("TComboBox", "CB_Entry");
        Combo->SetComboBox(true);
        Combo->DefineLines("Items", pkStrings, {"a", "b"}).DefineInteger("ItemIndex", 1);
        Radio = &Form.Add("TRadioGroup", "RadioGroup");
        Radio->DefineLines("Items", pkStrings, {"x", "y"}).DefineInteger("ItemIndex", 0);
        Tree = &Form.Add("TTreeView", "TreeView");
        Tree->DefineLines("Items", pkTreeNodes, {"n1", "n2", "n3"});
        List = &Form.Add("TListView", "ListView");
        List->DefineLines("Columns", pkListColumns, {"c1", "c2"});
        Frame = &Form.Add("TFrame_Info", "Frame_Info");
        Frame->SetFrame(true);
        FrameLabel = &Frame->Add("TLabel", "Label_Info");
        FrameLabel->DefineString("Caption", "frame design");
        Manager = &Form.AddPropertyManager();
    }
};

struct PropertyManagerFixture : ::testing::Test
{
    TempDir Dir;
    Window W;

    std::string Language(const std::string& Text, const std::string& Name = "language.ini")
    {
        auto file = (Dir / Name).string();
        WriteBytes(file, Text);
        return file;
    }

    void TearDown() override { SetProcessLanguageStorage(nullptr); }
};

} // namespace

using PropertyManager = PropertyManagerFixture;

TEST_F(PropertyManager, TakesItsDefaultsFromTheOwner)
{
    EXPECT_EQ(W.Manager->LanguageSection, "Form_Orb_Loader");
    EXPECT_EQ(W.Manager->SettingsSection, "Form_Orb_Loader");
    EXPECT_EQ(W.Manager->CommonComponent, &W.Form);
    TPropertyManager loose;
    EXPECT_EQ(loose.LanguageSection, "Main");
    EXPECT_EQ(loose.LanguageStringsSection, "Strings");
    loose.SetCommonItemSeparator("  ");
    loose.SetCommonLineSeparator("");
    EXPECT_EQ(loose.CommonItemSeparator(), ";");
    EXPECT_EQ(loose.CommonLineSeparator(), " || ");
    loose.SetCommonLineSeparator("\\n");
    EXPECT_EQ(loose.CommonLineSeparator(), "\\n");
}

TEST_F(PropertyManager, ResolvesKeysToComponentsAndProperties)
{
    struct Case
    {
        const char* Key;
        IComponent* Component;
        const char* Property;
    } cases[] = {
        {"Caption", &W.Form, "Caption"},
        {" Label_Version.Caption ", W.Label, "Caption"},
        {"Form_Orb_Loader.Caption", &W.Form, "Caption"},
        {"label_version.Caption", W.Label, "Caption"},
        {"Frame_Info.Label_Info.Caption", W.FrameLabel, "Caption"},
        {"Nobody.Caption", nullptr, ""},
        {"Frame_Info.Nobody.Caption", nullptr, ""},
    };
    for (const auto& c : cases)
    {
        auto r = W.Manager->ResolveKey(c.Key);
        EXPECT_EQ(r.Component, c.Component) << c.Key;
        EXPECT_EQ(r.PropertyName, c.Property) << c.Key;
    }
}

TEST_F(PropertyManager, TranslatesTheWindowFromItsSection)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\n"
                                       "Caption=Connect to the system\n"
                                       "Button_OK.Caption=Log in\n"
                                       "Button_OK.Hint=\n"
                                       "Label_Version.Hint=First\\nSecond\n"
                                       "Missing_Component.Caption=nothing\n"
                                       "Button_OK.NoSuchProperty=nothing\n"
                                       "Button_OK.Tag=not a number\n"
                                       "Form_Orb_Loader.WindowState=wsMaximized\n"
                                       "Frame_Info.Label_Info.Caption=Inside the frame\n"
                                       "[Other]\nCaption=wrong section\n");
    W.Manager->SetCommonLineSeparator("\\n");
    W.Manager->LoadLanguage(true, true, false);
    EXPECT_EQ(W.Form.Value("Caption"), "Connect to the system");
    EXPECT_EQ(W.Button->Value("Caption"), "Log in");
    EXPECT_EQ(W.Button->Value("Hint"), "design hint"); // an empty value leaves the current text
    EXPECT_EQ(W.Label->Value("Hint"), "First\r\nSecond");
    EXPECT_EQ(W.Button->Value("Tag"), "0"); // a value that does not convert is skipped
    EXPECT_EQ(W.Form.Value("WindowState"), "wsMaximized");
    EXPECT_EQ(W.FrameLabel->Value("Caption"), "Inside the frame");
}

TEST_F(PropertyManager, TranslatesListsByTheirKindRules)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\n"
                                       "CB_Entry.Items=one; two ;three;\n"
                                       "RadioGroup.Items=only one piece\n"
                                       "TreeView.Items=N1;N2;N3;N4\n"
                                       "ListView.Columns=C1\n");
    W.Manager->LoadLanguage(false, true, false);
    EXPECT_EQ(W.Combo->Value("Items"), "one\ntwo\nthree");
    EXPECT_EQ(W.Combo->Value("ItemIndex"), "1");
    EXPECT_EQ(W.Radio->Value("Items"), "x\ny"); // a different number of pieces leaves a radio group alone
    EXPECT_EQ(W.Tree->Value("Items"), "N1\nN2\nN3");
    EXPECT_EQ(W.List->Value("Columns"), "C1\nc2");

    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nRadioGroup.Items=X;Y\n", "second.ini");
    W.Manager->LoadLanguage(false, true, false);
    EXPECT_EQ(W.Radio->Value("Items"), "X\nY");
    EXPECT_EQ(W.Radio->Value("ItemIndex"), "0");
}

TEST_F(PropertyManager, IgnoreListEntriesStopTranslation)
{
    struct Case
    {
        const char* Entry;
        IComponent* Component;
        const char* Property;
        bool Ignored;
    } cases[] = {
        {".Hint", W.Button, "Hint", true},        {".Hint", W.Label, "Hint", true},
        {".Hint", W.Label, "Caption", false},     {"Caption", &W.Form, "Caption", true},
        {"Caption", W.Label, "Caption", false},   {"label_version.caption", W.Label, "Caption", true},
        {"Button_OK", W.Button, "Caption", true}, {"Button_OK.", W.Button, "Caption", false},
        {"Button_OK.", W.Button, "", true},       {"", W.Button, "", false},
    };
    for (const auto& c : cases)
    {
        W.Manager->LanguageComponentIngnoreList = {c.Entry};
        EXPECT_EQ(W.Manager->IsIgnored(*c.Component, c.Property), c.Ignored)
            << c.Entry << " / " << c.Component->Name() << "." << c.Property;
    }
}

TEST_F(PropertyManager, IgnoredPairsKeepTheirDesignText)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nCaption=translated\nLabel_Version.Caption=translated\n"
                                       "Button_OK.Caption=translated\n");
    W.Manager->LanguageComponentIngnoreList = {"Caption", "Label_Version.Caption"};
    W.Manager->LoadLanguage(false, true, false);
    EXPECT_EQ(W.Form.Value("Caption"), "Design caption");
    EXPECT_EQ(W.Label->Value("Caption"), "Loader version - ");
    EXPECT_EQ(W.Button->Value("Caption"), "translated");
}

TEST_F(PropertyManager, AppliesTheSecondaryFileAfterThePrimary)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nCaption=primary\nButton_OK.Caption=primary\n"
                                       "[Strings]\nHello=primary\n");
    W.Manager->LanguageFile_Secondary =
        Language("[Form_Orb_Loader]\nCaption=secondary\n[Strings]\nHELLO=secondary\n", "secondary.ini");
    W.Manager->LanguageLoadStrings = true;
    W.Manager->LoadLanguage(true, true, false);
    EXPECT_EQ(W.Form.Value("Caption"), "secondary");
    EXPECT_EQ(W.Button->Value("Caption"), "primary");
    EXPECT_EQ(W.Manager->GetString("hello", "?"), "secondary");
    EXPECT_EQ(W.Manager->LanguageStrings.Items(0).ID(), "Hello");
}

TEST_F(PropertyManager, LoadsFreeStringsOnlyWhenAskedAndLetsTheEventChangeThem)
{
    W.Manager->LanguageFile = Language("[Strings]\nGreeting=Hello\\nworld\nEmpty=\n");
    W.Manager->SetCommonLineSeparator("\\n");
    W.Manager->LoadLanguage(true, false, false);
    EXPECT_EQ(W.Manager->GetString("Greeting", "none"), "none"); // LanguageLoadStrings is off
    W.Manager->LanguageLoadStrings = true;
    std::vector<std::string> seen;
    W.Manager->OnLanguageLoadString = [&](TPropertyManager&, const std::string& Id, std::string& Value) {
        seen.push_back(Id);
        if (Id == "Empty")
            Value = "filled";
    };
    W.Manager->LoadLanguage(true, false, false);
    EXPECT_EQ(W.Manager->GetString("greeting", "none"), "Hello\r\nworld");
    EXPECT_EQ(W.Manager->GetString("Empty", "none"), "filled");
    EXPECT_EQ(seen, (std::vector<std::string>{"Greeting", "Empty"}));
}

TEST_F(PropertyManager, PrefersTheProcessWideStorageAndFiresEventsInOrder)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nCaption=own file\n");
    auto global = Language("[Form_Orb_Loader]\nCaption=process-wide\n", "global.ini");
    SetProcessLanguageStorage(std::make_shared<TPropertySaveLoad>(global, smIni32));
    std::vector<std::string> events;
    W.Manager->OnLanguageBeforeLoad = [&](TPropertyManager&) { events.push_back("before"); };
    W.Manager->OnLanguageLoadProperty = [&](TPropertyManager&, IComponent& C, const std::string& P, std::string& V) {
        events.push_back(C.Name() + "." + P + "=" + V);
        V += "!";
    };
    W.Manager->OnLanguageAfterLoad = [&](TPropertyManager&) { events.push_back("after"); };
    W.Manager->LoadLanguage(true, true, false);
    EXPECT_EQ(W.Form.Value("Caption"), "process-wide!");
    EXPECT_EQ(events, (std::vector<std::string>{"before", "Form_Orb_Loader.Caption=process-wide", "after"}));
    EXPECT_EQ(W.Manager->LanguageSaveLoad(), ProcessLanguageStorage());
}

TEST_F(PropertyManager, SwitchingFilesReappliesAndKeepsTextsTheNewFileLacks)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nCaption=Erste\nButton_OK.Caption=Anmelden\n", "de.ini");
    W.Manager->LoadLanguage(true, true, false);
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nCaption=Premier\n", "fr.ini");
    W.Manager->LoadLanguage(true, true, false);
    EXPECT_EQ(W.Form.Value("Caption"), "Premier");
    EXPECT_EQ(W.Button->Value("Caption"), "Anmelden");
}

TEST_F(PropertyManager, DesignModeRemovesKeysThatNoLongerResolve)
{
    auto file = Language("[Form_Orb_Loader]\nCaption=x\nGone.Caption=y\nButton_OK.Nothing=z\n");
    W.Manager->LanguageFile = file;
    SetProcessLanguageStorage(std::make_shared<TPropertySaveLoad>(file, smIni32));
    W.Manager->LoadLanguage(false, true, true);
    TStrings names;
    ProcessLanguageStorage()->ReadSectionNames("Form_Orb_Loader", &names);
    EXPECT_EQ(names, (TStrings{"Caption"}));
}

TEST_F(PropertyManager, HooksTheWindowEventsAroundTheWindowsOwnHandlers)
{
    W.Manager->LanguageFile = Language("[Form_Orb_Loader]\nCaption=translated\n");
    W.Manager->LanguageAutoLoad = altAfterCreate;
    std::vector<std::string> calls;
    W.Form.FormEvents()->OnCreate = [&](IComponent& Sender) {
        calls.push_back("own create");
        W.Form.SetPropertyText("Caption", "set by the window");
    };
    W.Form.FormEvents()->OnShow = [&](IComponent&) { calls.push_back("own show:" + W.Form.Value("Caption")); };
    W.Manager->Loaded();
    W.Manager->HookFormEvents(); // a second hook changes nothing
    W.Form.DoCreate();
    EXPECT_EQ(W.Form.Value("Caption"), "translated"); // the translation overwrites the window's own text
    W.Form.SetPropertyText("Caption", "changed");
    W.Manager->LanguageAutoLoad = altBeforeShow;
    W.Form.DoShow();
    EXPECT_EQ(calls, (std::vector<std::string>{"own create", "own show:translated"}));
    W.Manager->UnhookFormEvents();
    calls.clear();
    W.Form.DoCreate();
    EXPECT_EQ(calls, (std::vector<std::string>{"own create"}));
}

TEST_F(PropertyManager, SavesAndRestoresSettingsWithTheWindowPosition)
{
    auto file = (Dir / "settings.ini").string();
    WriteBytes(file, "[Other]\nkeep=1\n");
    W.Manager->SettingsFile = file;
    W.Manager->SettingsSaveWindowPosition = true;
    W.Manager->SettingsComponentList = {"CB_Entry.Items", "Button_OK.Caption", "Nobody.Caption"};
    W.Button->SetPropertyText("Caption", "two\r\nlines");
    W.Form.Bounds = {10, 20, 310, 220};
    W.Form.SetPropertyText("WindowState", "wsMaximized");

    W.Manager->SaveSettings(); // no window handle yet: nothing happens
    EXPECT_EQ(ReadBytes(file), "[Other]\nkeep=1\n");

    W.Form.Handle = true;
    W.Manager->SaveSettings();
    TIni32SaveLoad saved(file);
    EXPECT_EQ(saved.ReadString("Other", "keep", ""), "1");
    EXPECT_EQ(saved.ReadString("Form_Orb_Loader", "Width", ""), "300");
    EXPECT_EQ(saved.ReadString("Form_Orb_Loader", "Height", ""), "200");
    EXPECT_EQ(saved.ReadString("Form_Orb_Loader", "WindowState", ""), "wsMaximized");
    EXPECT_EQ(saved.ReadString("Form_Orb_Loader", "CB_Entry.Items", ""), "a;b");
    EXPECT_EQ(saved.ReadString("Form_Orb_Loader", "Button_OK.Caption", ""), "two || lines");

    Window other;
    other.Manager->SettingsFile = file;
    other.Manager->LoadSettings();
    EXPECT_EQ(other.Form.Value("Left"), "10");
    EXPECT_EQ(other.Form.Value("Width"), "300");
    EXPECT_EQ(other.Form.Value("WindowState"), "wsMaximized");
    EXPECT_EQ(other.Button->Value("Caption"), "two\r\nlines");
}

TEST_F(PropertyManager, SavesTheWindowTextsIntoTheLanguageFile)
{
    auto file = (Dir / "out.ini").string();
    W.Manager->LanguageFile = file;
    W.Manager->LanguageComponentIngnoreList = {"RadioGroup.", "Label_Version.Hint"};
    W.Manager->LanguageStrings.Add("Message", "a\r\nb");
    W.Button->SetPropertyText("Hint", "-");
    W.Manager->SaveLanguage(true, true, false);
    TIni32SaveLoad saved(file);
    TStrings names;
    saved.ReadSectionNames("Form_Orb_Loader", &names);
    EXPECT_EQ(names, (TStrings{"Caption", "Label_Version.Caption", "Button_OK.Caption", "CB_Entry.Items",
                               "TreeView.Items", "ListView.Columns"}));
    EXPECT_EQ(saved.ReadString("Strings", "Message", ""), "a || b");
}

TEST_F(PropertyManager, TranslationReachesTheManagersOfFramesInside)
{
    auto& inner = W.Frame->Add("TFrame_Inner", "Frame_Inner");
    inner.SetFrame(true);
    inner.Add("TLabel", "Label_Deep").DefineString("Caption", "design");
    auto& frameManager = W.Frame->AddPropertyManager();
    auto& innerManager = inner.AddPropertyManager();
    EXPECT_EQ(frameManager.LanguageSection, "Frame_Info");
    auto global = Language("[Form_Orb_Loader]\nCaption=window\n[Frame_Info]\nLabel_Info.Caption=frame\n"
                           "[Frame_Inner]\nLabel_Deep.Caption=inner frame\n");
    SetProcessLanguageStorage(std::make_shared<TPropertySaveLoad>(global, smIni32));
    W.Manager->LoadLanguage(true, true, false);
    EXPECT_EQ(W.Form.Value("Caption"), "window");
    EXPECT_EQ(W.FrameLabel->Value("Caption"), "frame");
    EXPECT_EQ(inner.Components()[0]->GetPropertyText("Caption"), "inner frame");
    EXPECT_EQ(innerManager.CommonComponent, &inner);
}
