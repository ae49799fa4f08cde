#pragma once
// Screen readers see the secondary windows as windows: Qt gives a plain top-level widget the
// role of a filler.

namespace windowroles {
// Installs the accessibility factory once; later calls do nothing.
void install();
} // namespace windowroles
