#include "platform/UILanguage.h"

#include "PlatformTestUtil.h"

#include <gtest/gtest.h>

using orb::platform::LangIdFromLocaleName;
using orb::test::ScopedEnv;

TEST(UILanguage, LocaleNamesMapToWindowsLanguageIdentifiers)
{
    struct Case
    {
        const char* Name;
        uint16_t Primary;
        uint16_t Sub;
    };
    const Case cases[] = {
        {"de_AT.UTF-8", 0x07, 1}, {"de_DE", 0x07, 1},       {"en", 0x09, 1},    {"ru_RU.KOI8-R", 0x19, 1},
        {"pt_BR@euro", 0x16, 1},  {"zh_TW.UTF-8", 0x04, 1}, {"zh_CN", 0x04, 2}, {"zh_HK", 0x04, 3},
        {"zh_SG", 0x04, 4},       {"zh_MO", 0x04, 5},       {"zh", 0x04, 0},    {"zh-Hant-HK", 0x04, 3},
        {"zh-Hans", 0x04, 2},     {"id_ID", 0x21, 1},       {"in_ID", 0x21, 1}, {"he_IL", 0x0D, 1},
        {"iw_IL", 0x0D, 1},       {"fr_CA:fr:en", 0x0C, 1}, {"DE_de", 0x07, 1},
    };
    for (const auto& c : cases)
    {
        uint16_t id = LangIdFromLocaleName(c.Name);
        EXPECT_EQ(id & 0x3FF, c.Primary) << c.Name;
        EXPECT_EQ(id >> 10, c.Sub) << c.Name;
    }
    for (const char* none : {"", "C", "POSIX", "C.UTF-8", "xx_YY", ":de_DE"})
        EXPECT_EQ(LangIdFromLocaleName(none), 0) << none;
}

#ifdef _WIN32
#include <windows.h>

TEST(UILanguage, LocaleNamesMapAsWindowsMapsThem)
{
    // Windows names its locales with hyphens; each maps to the primary language Windows itself gives it, and
    // Chinese, where the launcher tells the scripts apart by the sub-language, to the whole identifier.
    for (const wchar_t* name : {L"de-AT", L"de-DE", L"en-US", L"en-GB", L"ru-RU", L"pt-BR", L"fr-CA", L"it-IT",
                                L"zh-TW", L"zh-CN", L"zh-HK", L"zh-SG", L"zh-MO", L"he-IL", L"id-ID", L"ar-KW",
                                L"ja-JP", L"ko-KR", L"tr-TR", L"pl-PL", L"uk-UA", L"vi-VN", L"th-TH"})
    {
        std::string narrow(name, name + wcslen(name));
        const uint16_t windows = LANGIDFROMLCID(LocaleNameToLCID(name, 0));
        const uint16_t mask = PRIMARYLANGID(windows) == LANG_CHINESE ? 0xFFFF : 0x3FF;
        EXPECT_EQ(LangIdFromLocaleName(narrow) & mask, windows & mask) << narrow;
    }
}

TEST(UILanguage, IsTheUsersInterfaceLanguage)
{
    uint16_t id = orb::platform::UserInterfaceLanguage();
    ASSERT_NE(id, 0);
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    ASSERT_GT(LCIDToLocaleName(MAKELCID(id, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0), 0);
    std::string narrow(name, name + wcslen(name));
    EXPECT_EQ(LangIdFromLocaleName(narrow) & 0x3FF, id & 0x3FF) << narrow;
}
#else
TEST(UILanguage, FirstSetVariableOfLanguageLcAllLcMessagesLangDecides)
{
    ScopedEnv language("LANGUAGE", std::nullopt);
    ScopedEnv all("LC_ALL", std::nullopt);
    ScopedEnv messages("LC_MESSAGES", std::nullopt);
    ScopedEnv lang("LANG", std::nullopt);
    EXPECT_EQ(orb::platform::UserInterfaceLanguage(), 0);
    orb::platform::SetEnvironmentValue("LANG", "ru_RU.UTF-8");
    EXPECT_EQ(orb::platform::UserInterfaceLanguage() & 0x3FF, 0x19);
    orb::platform::SetEnvironmentValue("LC_MESSAGES", "it_IT");
    EXPECT_EQ(orb::platform::UserInterfaceLanguage() & 0x3FF, 0x10);
    orb::platform::SetEnvironmentValue("LC_ALL", "C");
    EXPECT_EQ(orb::platform::UserInterfaceLanguage(), 0);
    orb::platform::SetEnvironmentValue("LANGUAGE", "");
    EXPECT_EQ(orb::platform::UserInterfaceLanguage(), 0);
    orb::platform::SetEnvironmentValue("LANGUAGE", "zh_HK:en");
    EXPECT_EQ(orb::platform::UserInterfaceLanguage(), 0x0C04);
}
#endif
