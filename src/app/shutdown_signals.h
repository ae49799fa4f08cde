#pragma once
// SIGTERM, SIGINT and SIGHUP, and the desktop session's end, take the same road as
// closing the main window.

#include <functional>

namespace shutdown_signals {

// Calls onShutdown in the Qt thread when one of the signals arrives or the session ends.
void install(const std::function<void()> &onShutdown);

} // namespace shutdown_signals
