#pragma once

#include <string>
#include <vector>

namespace orb::platform::posix
{

/// Starts File with the arguments Args (Args[0] is the program name the new process sees), inheriting
/// the environment (Environment: "NAME=value" entries set or replaced for the new process alone), the descriptors
/// that are not close-on-exec and the working directory. The new
/// process is detached: it is handed to init at once, so it never lingers as a zombie of ours.
/// Returns 0 when the program runs, otherwise the errno value of the failed start.
int SpawnDetached(const std::string& File, const std::vector<std::string>& Args,
                  const std::vector<std::string>& Environment = {});

/// The full path of Name found in the directories of PATH (Name itself when it holds a slash);
/// empty when there is none.
std::string FindInPath(const std::string& Name);

} // namespace orb::platform::posix
