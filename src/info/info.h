#pragma once
// The "?" menu: the information texts and the about window.

class App;
class Form3;

class Info {
public:
    explicit Info(App &app)
        : app(app)
    {
    }

    void mnuinfoEn_Click();
    void mnuinfogr_Click();
    void mnu_instr_Click();

    // The about window's own handlers.
    void Form3_Load(Form3 &form);
    void Form3_Timer1_Timer(Form3 &form);
    void Form3_Label1_Click();

private:
    App &app;
};
