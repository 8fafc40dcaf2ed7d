#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace orb
{

/// Environment variables (name, value) given to a new process on top of the launcher's own.
using TEnvironment = std::vector<std::pair<std::string, std::string>>;

/// Starts the program Path with the command line Parameters and returns at once. The new process
/// inherits the environment (with the variables of Environment set or replaced for it alone), the open handles
/// and the working directory; nobody waits for it.
/// Raises EOSError whose message ends with CR LF and "(Path Parameters)" when it cannot be started.
/// It sits in the platform layer because the connection progress window restarts the launcher with it.
void RunProgram(const std::string& Path, const std::string& Parameters, const TEnvironment& Environment = {});

namespace platform
{

/// Full path of the running executable.
std::filesystem::path ExecutablePath();

/// Splits a command line into arguments the way the Windows start-up code does: blanks separate,
/// double quotes group, a backslash before a quote escapes it.
std::vector<std::string> SplitCommandLine(const std::string& CommandLine);

} // namespace platform
} // namespace orb
