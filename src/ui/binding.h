#pragma once
// Connects every control, menu and timer event to its handler.

class App;
class Form2;
class Form3;
class Form4;

namespace ui {
void bind(App &app);
void bindForm2(App &app, Form2 &form);
void bindForm3(App &app, Form3 &form);
void bindForm4(App &app, Form4 &form);
} // namespace ui
