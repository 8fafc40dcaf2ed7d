#pragma once

#include <string>

namespace orb::platform
{

/// Opens a web address, document or program with the desktop's default handler ("open") and returns
/// at once; raises EOSError when no handler can be started.
void ShellOpen(const std::string& Target);

} // namespace orb::platform
