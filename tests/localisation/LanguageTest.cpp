#include "localisation/ComponentModel.h"
#include "localisation/Ini32SaveLoad.h"
#include "localisation/Unit_Language.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace orb;
using orb::test::SourceDir;
using orb::test::TempDir;
using orb::test::WriteBytes;

TEST(FormatTemplate, FillsAndEscapesPlaceholders)
{
    struct Case
    {
        const char* Template;
        std::vector<std::string> Args;
        const char* Expected;
    } cases[] = {
        {"{0} and {0}", {"x"}, "x and x"},
        {"{{0}}", {"x"}, "{0}"},
        {"a {{0}} b {0}", {"x"}, "a {0} b x"},
        {"{0}", {"{0}"}, "{0}"},     // inserted text is not expanded again for the same index
        {"{0}", {"{1}", "y"}, "y"},  // but it is for higher indexes
        {"{1} {0}", {"a"}, "{1} a"}, // tokens beyond the arguments stay
        {"{{ }} {{{", {}, "{ } {{"},
        {"{0}{1}{2}", {"", "b"}, "b{2}"},
        {"{{0}", {"x"}, "{x"},
        {"{10}{1}", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k"}, "kb"},
        {"Copyright {0}", {"2026"}, "Copyright 2026"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatTemplate(c.Template, c.Args), c.Expected) << c.Template;
}

namespace
{

struct LanguageFixture : ::testing::Test
{
    TempDir Dir;
    std::string SavedPath = ResourcePath;
    std::string SavedCode = LanguageCode;

    void SetUp() override { ResourcePath = Dir.Path().string(); }

    void TearDown() override
    {
        LanguageTable.reset();
        SetProcessLanguageStorage(nullptr);
        ResourcePath = SavedPath;
        LanguageCode = SavedCode;
    }

    void File(const std::string& Code, const std::string& Text)
    {
        WriteBytes(Dir / "language" / ("language_" + Code + ".ini"), Text);
    }
};

} // namespace

using Language = LanguageFixture;

TEST_F(Language, BuildsTheFileNameAndFallsBackToEnglish)
{
    File("de_DE", "");
    LanguageCode = "de_DE";
    EXPECT_EQ(GetLanguageFileName(), (Dir / "language" / "language_de_DE.ini").string());
    LanguageCode = "xx_XX";
    EXPECT_EQ(GetLanguageFileName(), (Dir / "language" / "language_en_US.ini").string());
}

TEST_F(Language, LooksUpMessagesAndCaptions)
{
    File("en_US", "[Messages]\nOK=OK\ncancel=Cancel\nEmptyFields=Please fill in: {0}\nTwoLines=one\\ntwo\n"
                  "Blank=\n[Form_Updater]\nCaption=Update\n");
    LanguageCode = "xx_XX"; // no such file: the English one is used
    LanguageTable = std::make_unique<TLanguage>();
    EXPECT_EQ(LanguageTable->Get("OK"), "OK");
    EXPECT_EQ(LanguageTable->Cancel, "Cancel"); // the key is written in another letter case
    EXPECT_EQ(LanguageTable->Yes, "Unknown:Yes");
    EXPECT_EQ(LanguageTable->Get("Nothing"), "Unknown:Nothing");
    EXPECT_EQ(LanguageTable->Get("TwoLines"), "one\r\ntwo");
    EXPECT_EQ(LanguageTable->Get("EmptyFields", {"Login, Password"}), "Please fill in: Login, Password");
    EXPECT_EQ(LanguageTable->Get("Caption"), "Unknown:Caption"); // window sections are not messages
    EXPECT_TRUE(LanguageTable->HasMessage("ok"));
    EXPECT_FALSE(LanguageTable->HasMessage("Blank"));
    EXPECT_EQ(LanguageTable->Get("Blank"), "");
    EXPECT_FALSE(LanguageTable->HasMessage("Nothing"));
}

TEST_F(Language, ReadsFilesWithEveryLineEndUnderAResourcePathWithBackslashesOrSlashes)
{
    struct TCase
    {
        const char* Name;
        std::string Text;
    };
    const TCase cases[] = {
        {"CR LF", "\xEF\xBB\xBF[Messages]\r\nOK=Gut\r\nTwoLines=eins\\nzwei\r\n"},
        {"LF", "[Messages]\nOK=Gut\nTwoLines=eins\\nzwei\n"},
        {"CR LF, no final line end", "[Messages]\r\nOK=Gut\r\nTwoLines=eins\\nzwei"},
    };
    const std::string dir = Dir.Path().string();
    std::string withSlashes = dir, withBackslashes = dir;
    std::replace(withSlashes.begin(), withSlashes.end(), '\\', '/');
#ifdef _WIN32
    std::replace(withBackslashes.begin(), withBackslashes.end(), '/', '\\');
#endif
    for (const auto& c : cases)
    {
        File("de_DE", c.Text);
        for (const std::string& path :
             {withBackslashes, withSlashes, withBackslashes + (withBackslashes == withSlashes ? "/" : "\\")})
        {
            ResourcePath = path;
            LanguageCode = "de_DE";
            LanguageTable = std::make_unique<TLanguage>();
            EXPECT_EQ(LanguageTable->Get("OK"), "Gut") << c.Name << " under " << path;
            EXPECT_EQ(LanguageTable->Get("TwoLines"), "eins\r\nzwei") << c.Name << " under " << path;
        }
    }
}

TEST_F(Language, WithoutAnyFileEveryLookupIsUnknown)
{
    LanguageCode = "en_US";
    LanguageTable = std::make_unique<TLanguage>();
    EXPECT_EQ(LanguageTable->Ok, "Unknown:OK");
    EXPECT_EQ(LanguageTable->Warning, "Unknown:Warning");
}

TEST_F(Language, ChangingTheLanguageKeepsTextsTheNewFileLacksAndRetranslatesWindows)
{
    File("en_US", "[Messages]\nOK=OK\nOnlyEnglish=English text\n[Form_Updater]\nCaption=Update Progress\n"
                  "Button_Cancel.Caption=Cancel\n");
    File("de_DE", "[Messages]\nok=Gut\n[Form_Updater]\nCaption=Aktualisierung\n");
    TMemoryComponent form("TForm_Updater", "Form_Updater");
    form.SetForm(true);
    form.DefineString("Caption", "design");
    form.Add("TButton", "Button_Cancel").DefineString("Caption", "design");
    auto& manager = form.AddPropertyManager();
    RegisterApplicationForm(&form);

    LanguageCode = "en_US";
    LanguageTable = std::make_unique<TLanguage>();
    manager.LoadLanguage(true, true, false);
    EXPECT_EQ(form.Value("Caption"), "Update Progress");

    std::vector<std::string> loaded;
    int hook = AddLanguageLoadedHook([&](TLanguage& L) { loaded.push_back(L.Get("OK")); });
    LanguageCode = "de_DE";
    LanguageTable->ChangeLanguage();
    RemoveLanguageLoadedHook(hook);
    UnregisterApplicationForm(&form);

    EXPECT_EQ(LanguageTable->Ok, "Gut");
    EXPECT_EQ(LanguageTable->Get("OnlyEnglish"), "English text");
    EXPECT_EQ(LanguageTable->PropertyManager.LanguageStrings.GetItem("OK")->ID(), "OK");
    EXPECT_EQ(form.Value("Caption"), "Aktualisierung");
    EXPECT_EQ(form.Components()[0]->GetPropertyText("Caption"), "Cancel");
    EXPECT_EQ(loaded, (std::vector<std::string>{"Gut"}));
}

TEST_F(Language, TheSameFileIsNotReadAgain)
{
    File("en_US", "[Messages]\nOK=first\n");
    LanguageCode = "en_US";
    LanguageTable = std::make_unique<TLanguage>();
    File("en_US", "[Messages]\nOK=second\n");
    LanguageTable->ChangeLanguage();
    EXPECT_EQ(LanguageTable->Ok, "first");
}

namespace
{

/// Every key the system looks up in the English file, by section.
struct RequiredKeys
{
    const char* Section;
    std::vector<std::string> Keys;
};

const RequiredKeys kRequired[] = {
    {"Messages",
     {"OK",
      "Cancel",
      "Yes",
      "No",
      "Input",
      "Confirmation",
      "Information",
      "Warning",
      "RequestAbortedMessage",
      "Confirm",
      "Error",
      "Message",
      "mbOK",
      "mbOk",
      "mbYes",
      "mbNo",
      "EmptyFields",
      "PleaseInputUsername",
      "ServerConnectionError",
      "NewVersionAvailable",
      "PoweredByCaption",
      "NewPasswordField",
      "ConfirmPasswordField",
      "ConfirmPasswordError",
      "ResetCodeField",
      "PasswordFormat",
      "VerificationCodeSent",
      "PasswordSuccessfullyReset",
      "LoginHasControlCharacters",
      "PasswordServiceMisconfigured",
      "WaitingForOtherLauncher",
      "OtherLauncherUpdating",
      "UpdateIndexUnsigned",
      "UpdateSignatureMalformed",
      "UpdateSignatureInvalid",
      "UpdateIndexRolledBack",
      "UpdateIndexExpired",
      "UpdateIndexBadAttribute",
      "UpdateFileHashMismatch"}},
    {"Form_Registration",
     {"Page", "Next", "Submit", "Done", "StartTrading", "WaitingValidation", "SuccessfullRegistration",
      "Label_Caption.Caption", "Close", "CancelRegistration", "ReadAndAccept", "PleaseSelect"}},
    {"Form_SmartException", {"Details", "Simple", "Copy"}},
    {"Form_Orb_Loader", {"TabSheet_Login.Caption", "Button_OK.Caption", "Label_Username.Caption"}},
    {"Form_Updater", {"Caption", "Label_UpdatingFileCaption.Caption", "Button_Cancel.Caption"}},
    {"Form_Progress", {"Caption", "Label_Status.Caption", "Button_Break.Caption"}},
};

} // namespace

TEST(LanguageFile, EnglishFileHoldsEveryKeyTheSystemLooksUp)
{
    TIni32SaveLoad ini((SourceDir() / "resource" / "language" / "language_en_US.ini").string());
    ASSERT_FALSE(ini.Lines().empty()) << "resource/language/language_en_US.ini is missing";
    for (const auto& section : kRequired)
    {
        // Loaded the way the system loads it: keys matched ignoring letter case, so "mbOK" serves "mbOk".
        TStrings names, values;
        ini.ReadSectionNames(section.Section, &names);
        ini.ReadSectionValues(section.Section, &values);
        ASSERT_EQ(names.size(), values.size());
        TStringValues table;
        for (size_t i = 0; i < names.size(); ++i)
            table.Add(names[i], values[i]);
        for (const auto& key : section.Keys)
        {
            const auto* item = table.GetItem(key);
            EXPECT_TRUE(item && !item->Value().empty()) << section.Section << "/" << key;
        }
    }
    EXPECT_NE(ini.ReadString("Messages", "PoweredByCaption", "").find("{0}"), std::string::npos);
    EXPECT_NE(ini.ReadString("Messages", "EmptyFields", "").find("{0}"), std::string::npos);
    EXPECT_NE(ini.ReadString("Form_Registration", "Page", "").find("{0}"), std::string::npos);
}
