#include "registration/RegistrationUnit.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace orb
{
namespace
{

std::unique_ptr<TRField> MakeField(const std::string& Id, TFieltType Type = ftText, const std::string& Value = "")
{
    auto field = std::make_unique<TRField>();
    field->Id = Id;
    field->FieldType = Type;
    if (!Value.empty())
        field->SetCurrentValue(Value);
    return field;
}

/// Editors that hold control texts by field id and count their refreshes.
class ScriptedEditors : public IVisualFields
{
public:
    ScriptedEditors(TBundleFields& Page, int& UpdateCount) : FPage(Page), FUpdateCount(UpdateCount) {}
    std::map<std::string, std::string> Controls;

    void SetToVariable() override
    {
        for (const auto& field : FPage.Items)
        {
            auto it = Controls.find(field->Id);
            if (it != Controls.end())
                field->SetCurrentValue(it->second);
        }
    }
    void UpdateUI() override { ++FUpdateCount; }

private:
    TBundleFields& FPage;
    int& FUpdateCount;
};

TEST(TBundleFields, JSONArrayTextJoinsMembersWithoutTrailingComma)
{
    TBundleFields page;
    EXPECT_EQ(page.JSONArrayText(false), "");
    page.Add(MakeField("a", ftText, "1"));
    page.Add(MakeField("b"));
    EXPECT_EQ(page.JSONArrayText(false), R"( "a":"1", "b":null)");
}

TEST(TBundleFields, JSONArrayTextReadsEditorsOnlyWhenAsked)
{
    TBundleFields page;
    page.Add(MakeField("a"));
    int updates = 0;
    auto editors = std::make_unique<ScriptedEditors>(page, updates);
    editors->Controls["a"] = "typed";
    page.VisualFields = std::move(editors);
    EXPECT_EQ(page.JSONArrayText(false), R"( "a":null)");
    EXPECT_EQ(page.JSONArrayText(true), R"( "a":"typed")");
}

TEST(TBundleFields, LocalChecksMarkEmptyRequiredFieldsAndUnacceptedDeclarations)
{
    struct Case
    {
        TFieltType Type;
        bool Required;
        std::string Value;
        bool Warning;
    };
    const Case cases[] = {
        {ftText, true, "", true},
        {ftText, true, "   ", false}, // only the empty text fails
        {ftText, false, "", false},
        {ftBoolean, true, "false", false},
        {ftLocalYesNo, false, "", true},
        {ftLocalYesNo, false, "false", true},
        {ftLocalYesNo, false, "true", false},
        {ftLocalYesNoLink, true, "false", true},
        {ftLocalYesNoLink, false, "true", false},
    };
    for (const auto& c : cases)
    {
        TBundleFields page;
        auto& field = page.Add(MakeField("f", c.Type, c.Value));
        field.Required = c.Required;
        EXPECT_EQ(page.LocalValidateFields("Read and accept"), !c.Warning) << c.Type << " '" << c.Value << "'";
        EXPECT_EQ(field.Warning, c.Warning);
        bool local = c.Type == ftLocalYesNo || c.Type == ftLocalYesNoLink;
        EXPECT_EQ(field.WarningHint, local ? "Read and accept" : "");
    }
}

TEST(TBundleFields, LocalChecksKeepServiceWarningOnOtherFieldsAndRefreshEditors)
{
    TBundleFields page;
    auto& marked = page.Add(MakeField("nick", ftText, "x"));
    marked.Warning = true;
    marked.WarningHint = "taken";
    auto& required = page.Add(MakeField("name", ftText));
    required.Required = true;
    int updates = 0;
    auto editors = std::make_unique<ScriptedEditors>(page, updates);
    editors->Controls["name"] = "Ann";
    page.VisualFields = std::move(editors);

    EXPECT_FALSE(page.LocalValidateFields("r"));
    EXPECT_TRUE(marked.Warning);
    EXPECT_FALSE(required.Warning); // the editor's text was copied first
    EXPECT_EQ(updates, 1);
}

TEST(TBundleFields, HiddenFieldsAreCheckedLikeOthers)
{
    TBundleFields page;
    auto& field = page.Add(MakeField("h", ftHidden));
    field.Hidden = true;
    field.Required = true;
    EXPECT_FALSE(page.LocalValidateFields(""));
    EXPECT_TRUE(field.Warning);
}

TEST(TFields, GetParamsJoinsPagesAndSkipsEmptyOnes)
{
    TFields fields;
    auto page0 = std::make_unique<TBundleFields>();
    page0->Add(MakeField("entry", ftArray, "demo"));
    fields.AddBundle(std::move(page0));
    fields.AddBundle(std::make_unique<TBundleFields>());
    auto page2 = std::make_unique<TBundleFields>();
    page2->Add(MakeField("a", ftText, "1"));
    page2->Add(MakeField("b"));
    fields.AddBundle(std::move(page2));
    EXPECT_EQ(fields.GetParams(), R"( "entry":"demo", "a":"1", "b":null)");
    EXPECT_EQ(TFields().GetParams(), "");
}

TEST(TFields, LookupIsExactAndFindsFirstField)
{
    TFields fields;
    auto page0 = std::make_unique<TBundleFields>();
    page0->Add(MakeField("email", ftEmail, "first"));
    fields.AddBundle(std::move(page0));
    auto page1 = std::make_unique<TBundleFields>();
    page1->Add(MakeField("email", ftEmail, "second"));
    fields.AddBundle(std::move(page1));

    EXPECT_EQ(fields.GetFieldById("email")->CurrentValue(), "first");
    EXPECT_EQ(fields.GetFieldById("EMAIL"), nullptr);
    EXPECT_EQ(fields.GetFieldValueById("missing"), "");
    TRField outside;
    outside.Id = "email";
    EXPECT_TRUE(fields.IsExistField(outside));
    outside.Id = "phone";
    EXPECT_FALSE(fields.IsExistField(outside));
}

TEST(TFields, LinkToLaterPageIsResolvedWhenThatPageArrives)
{
    TFields fields;
    auto page0 = std::make_unique<TBundleFields>();
    auto& follower = page0->Add(MakeField("contact"));
    follower.Link = "email";
    fields.AddBundle(std::move(page0));
    EXPECT_EQ(follower.LinkField, nullptr);

    auto page1 = std::make_unique<TBundleFields>();
    page1->Add(MakeField("email", ftEmail, "a@b.c"));
    fields.AddBundle(std::move(page1));
    EXPECT_EQ(follower.LinkField, fields.GetFieldById("email"));
    EXPECT_EQ(follower.CurrentValue(), "a@b.c");

    // Removing the page drops the link instead of leaving it pointing at a destroyed field.
    fields.DeletePagesFrom(1);
    EXPECT_EQ(follower.LinkField, nullptr);
    EXPECT_EQ(follower.CurrentValue(), "");
}

TEST(TFields, MarkFieldsReplacesServiceWarningsAndKeepsLocalOnes)
{
    TFields fields;
    auto page = std::make_unique<TBundleFields>();
    auto& email = page->Add(MakeField("email", ftEmail));
    auto& nick = page->Add(MakeField("nick"));
    nick.Warning = true;
    nick.WarningHint = "old";
    auto& terms = page->Add(MakeField("terms", ftLocalYesNo));
    fields.AddBundle(std::move(page));
    EXPECT_FALSE(fields.Pages[0]->LocalValidateFields("accept"));
    ASSERT_TRUE(terms.Warning);

    fields.MarkFields(R"({"email": "Invalid address", "unknown": "skipped"})");
    EXPECT_TRUE(email.Warning);
    EXPECT_EQ(email.WarningHint, "Invalid address");
    EXPECT_FALSE(nick.Warning);
    EXPECT_EQ(nick.WarningHint, "");
    EXPECT_TRUE(terms.Warning);
    EXPECT_EQ(terms.WarningHint, "accept");
}

TEST(TFields, MarkFieldsReadsMemberValuesAsText)
{
    const std::pair<const char*, const char*> cases[] = {
        {R"({"f": 42})", "42"}, {R"({"f": -7})", "-7"},     {R"({"f": true})", ""},
        {R"({"f": null})", ""}, {R"({"f": {"x": 1}})", ""}, {R"({"f": "\u00fc"})", "\xC3\xBC"},
    };
    for (const auto& [json, hint] : cases)
    {
        TFields fields;
        auto page = std::make_unique<TBundleFields>();
        auto& field = page->Add(MakeField("f"));
        fields.AddBundle(std::move(page));
        fields.MarkFields(json);
        EXPECT_TRUE(field.Warning) << json;
        EXPECT_EQ(field.WarningHint, hint) << json;
    }
}

TEST(TFields, MarkFieldsWithTextThatIsNotAnObjectOnlyClears)
{
    for (const char* text : {"", "not json", "[1,2]", "\"email\"", "{broken"})
    {
        TFields fields;
        auto page = std::make_unique<TBundleFields>();
        auto& field = page->Add(MakeField("email"));
        field.Warning = true;
        fields.AddBundle(std::move(page));
        fields.MarkFields(text);
        EXPECT_FALSE(field.Warning) << text;
    }
}

} // namespace
} // namespace orb
