#include "registration/RegistrationRec.h"

#include <gtest/gtest.h>

namespace orb
{
namespace
{

std::unique_ptr<TRField> MakeField(const std::string& Id, const std::string& Value = "")
{
    auto field = std::make_unique<TRField>();
    field->Id = Id;
    if (!Value.empty())
        field->SetCurrentValue(Value);
    return field;
}

TEST(TRField, NewFieldIsEmptyBooleanWithEmptyList)
{
    TRField field;
    EXPECT_EQ(field.FieldType, ftBoolean);
    EXPECT_TRUE(field.Id.empty());
    EXPECT_FALSE(field.Hidden || field.Warning || field.Required);
    ASSERT_NE(field.Value, nullptr);
    EXPECT_TRUE(field.Value->empty());
    EXPECT_EQ(field.LinkField, nullptr);
    EXPECT_EQ(field.CurrentValue(), "");
}

TEST(TRField, LinkedFieldSendsFollowedValueUntilItHasItsOwn)
{
    auto email = MakeField("email", "a@b.c");
    auto contact = MakeField("contact_email");
    contact->Link = "email";
    contact->LinkField = email.get();
    EXPECT_EQ(contact->JSONPairText(), R"( "contact_email":"a@b.c")");

    contact->SetCurrentValue("x@y.z");
    EXPECT_EQ(contact->JSONPairText(), R"( "contact_email":"x@y.z")");
    EXPECT_EQ(email->JSONPairText(), R"( "email":"a@b.c")");

    // Writing the empty text brings the followed value back.
    contact->SetCurrentValue("");
    EXPECT_EQ(contact->CurrentValue(), "a@b.c");
}

TEST(TRField, CurrentValueFollowsChainOfLinks)
{
    auto a = MakeField("a", "root");
    auto b = MakeField("b");
    auto c = MakeField("c");
    b->Link = "a";
    b->LinkField = a.get();
    c->Link = "b";
    c->LinkField = b.get();
    EXPECT_EQ(c->CurrentValue(), "root");
}

TEST(TRField, LinkWithoutResolvedFieldGivesEmptyValue)
{
    auto field = MakeField("a");
    field->Link = "nowhere";
    EXPECT_EQ(field->CurrentValue(), "");
    EXPECT_EQ(field->JSONPairText(), R"( "a":null)");
}

TEST(TRField, LinksThatLoopEndWithEmptyValue)
{
    auto a = MakeField("a");
    auto b = MakeField("b");
    a->Link = "b";
    a->LinkField = b.get();
    b->Link = "a";
    b->LinkField = a.get();
    EXPECT_EQ(a->CurrentValue(), "");
    EXPECT_EQ(b->JSONPairText(), R"( "b":null)");
}

TEST(TRField, HiddenFieldSendsShownTextOfItsSingleEntry)
{
    auto field = MakeField("source");
    field->Hidden = true;
    field->Value->push_back({"key", "launcher"});
    EXPECT_EQ(field->JSONPairText(), R"( "source":"launcher")");

    field->Value->push_back({"key2", "other"});
    EXPECT_EQ(field->JSONPairText(), R"( "source":null)");
}

TEST(TRField, FieldsWithoutEditorAndWithoutValueSendNull)
{
    for (TFieltType type : {ftMap, ftHidden, ftText, ftLocalYesNo})
    {
        auto field = MakeField("f");
        field->FieldType = type;
        field->Value->push_back({"k", "v"});
        EXPECT_EQ(field->JSONPairText(), R"( "f":null)") << type;
    }
}

TEST(TRField, IdIsInsertedWithoutEscaping)
{
    auto field = MakeField("we\"ird", "v");
    EXPECT_EQ(field->JSONPairText(), " \"we\"ird\":\"v\"");
}

TEST(TRField, TypeStringsMapExactlyAndCaseSensitively)
{
    const std::pair<const char*, TFieltType> cases[] = {
        {"BOOLEAN", ftBoolean},
        {"NUMERIC", ftNumeric},
        {"TEXT", ftText},
        {"ALPHA", ftAlpha},
        {"ALPHANUMERIC", ftAlphanumeric},
        {"PASSWORD", ftPassword},
        {"DATE", ftDate},
        {"EMAIL", ftEmail},
        {"YES_NO", ftYesNo},
        {"HIDDEN", ftHidden},
        {"ARRAY", ftArray},
        {"MAP", ftMap},
        {"YES_NO_WITH_LINK", ftYesNoLink},
        {"LOCAL_BOOLEAN_WITH_URL", ftLocalYesNoLink},
        {"LOCAL_BOOLEAN", ftLocalYesNo},
        {"boolean", ftHidden},
        {"TEXT ", ftHidden},
        {"", ftHidden},
        {"SOMETHING", ftHidden},
    };
    for (const auto& [text, type] : cases)
        EXPECT_EQ(TRField::StrToFieldType(text), type) << text;
    EXPECT_EQ(static_cast<int>(ftLocalYesNoLink), 13);
    EXPECT_EQ(static_cast<int>(ftLocalYesNo), 14);
}

TEST(EscapeJSONString, EscapesEveryCharacterAsTheServiceExpects)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain text 123", "plain text 123"},
        {"\xC3\xBC", "\\u00FC"}, // u with diaeresis
        {"a\nb", "a\\nb"},
        {"a/b", "a\\/b"},
        {"\x7F", "\x7F"},
        {"\"q\"", "\\\"q\\\""},
        {"back\\slash", "back\\\\slash"},
        {"\b\t\f\r", "\\b\\t\\f\\r"},
        {std::string("\0\x01\x0B\x1F", 4), "\\u0000\\u0001\\u000B\\u001F"},
        {"\xE2\x82\xAC", "\\u20AC"},            // euro sign
        {"\xF0\x9F\x98\x80", "\\uD83D\\uDE00"}, // outside the basic plane: two escapes
        {"", ""},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(EscapeJSONString(input), expected) << input;
}

TEST(EscapeJSONString, ResultIsSevenBitText)
{
    std::string all;
    for (int c = 1; c < 0x80; ++c)
        all += static_cast<char>(c);
    all += "\xC3\xA9\xD0\x96\xE4\xB8\xAD";
    for (unsigned char c : EscapeJSONString(all))
        EXPECT_LT(c, 0x80);
}

} // namespace
} // namespace orb
