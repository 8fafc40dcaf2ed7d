#include "platform/UILanguage.h"

#include "platform/Environment.h"

namespace orb::platform
{

uint16_t UserInterfaceLanguage()
{
    // The precedence gettext gives the variables that choose the language of messages.
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
    {
        auto value = GetEnvironmentValue(name);
        if (value && !value->empty())
            return LangIdFromLocaleName(*value);
    }
    return 0;
}

} // namespace orb::platform
