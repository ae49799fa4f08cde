#pragma once
// Keyboard access to the main window: Enter on a playlist entry plays it as a double click does.

class ListBox;

namespace keyboard_access {
void install(ListBox &playlist);
} // namespace keyboard_access
