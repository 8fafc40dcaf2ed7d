#include "base/Exceptions.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

namespace orb
{

std::string SysErrorMessage(int Code)
{
    return std::system_category().message(Code);
}

std::string ExceptionClassName(const std::exception& E)
{
    if (const auto* own = dynamic_cast<const Exception*>(&E))
        return own->ClassName();
    // Standard errors get the names their counterparts carry in the system's reports.
    if (dynamic_cast<const std::bad_alloc*>(&E))
        return "EOutOfMemory";
    if (dynamic_cast<const std::out_of_range*>(&E))
        return "ERangeError";
    if (dynamic_cast<const std::invalid_argument*>(&E))
        return "EArgumentException";
    if (dynamic_cast<const std::system_error*>(&E))
        return "EOSError";
    return "Exception";
}

} // namespace orb
