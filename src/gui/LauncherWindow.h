#pragma once

class QApplication;

namespace orb
{

/// The window front end from the settings files to the end of the message loop: builds the launcher session in
/// the working directory, the windows in their start-up order and their views, starts the session and the login
/// window and runs the message loop. An error while starting is reported and ends the run with 1 (before the
/// report dialog can exist, a plain message box says it). Returns the message loop's result.
int RunLauncherWindow(QApplication& Application);

} // namespace orb
