#include "platform/UILanguage.h"

#include <windows.h>

namespace orb::platform
{

uint16_t UserInterfaceLanguage()
{
    return GetUserDefaultUILanguage();
}

} // namespace orb::platform
