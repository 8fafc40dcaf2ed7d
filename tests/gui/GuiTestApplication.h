#pragma once

#include <functional>

namespace orb::test
{

/// Runs Fn as soon as the event loop of the modal window about to be shown is running.
void WhenModal(std::function<void()> Fn);

} // namespace orb::test
