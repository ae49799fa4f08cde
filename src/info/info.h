#pragma once
// The "?" menu: the information texts and the about window.

#include <functional>

class Form3;

class Info {
public:
    // The about window, made anew after the user closed it, is reached through form3.
    explicit Info(std::function<Form3 &()> form3)
        : form3(std::move(form3))
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
    std::function<Form3 &()> form3;
};
