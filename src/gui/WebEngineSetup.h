#pragma once

namespace orb
{

/// Prepares the process for the embedded browser (shared OpenGL contexts, the sandbox when running as root, quiet
/// start-up logging). Call once in every process that creates windows, before the QApplication exists.
void PrepareWebEngine();

} // namespace orb
