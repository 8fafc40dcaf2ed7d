#pragma once

#include <string>

namespace orb::platform
{

/// Opens a web address, document or program with the desktop's default handler ("open") and returns
/// at once; raises EOSError when no handler can be started.
void ShellOpen(const std::string& Target);

/// The command of the user's web browser, or empty when the system names none (the desktop's handler then opens
/// addresses).
std::string GetDefaultBrowser();

/// Opens URL in the user's browser (GetDefaultBrowser, as one argument whatever it holds), or with the desktop's
/// handler when none is named; returns at once. Raises EOSError when nothing can be started.
void OpenInBrowser(const std::string& URL);

} // namespace orb::platform
