#pragma once
// Keyboard and screen-reader access to the main window: Enter on a playlist entry plays it as
// a double click does, and every control without a caption of its own gets a name.

class App;
class Form1;

namespace keyboard_access {
void install(App &app);
// Names for the controls that show no caption (lists, text boxes, the volume bar, the player).
void nameControls(Form1 &f);
} // namespace keyboard_access
