#pragma once
// The about window: a picture, a blinking link to the maker's page and an OK button.

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;
class QTextBrowser;
class QTimer;

class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(QWidget *parent = nullptr);

    QGroupBox *Frame3;
    QPushButton *Command1;
    QTextBrowser *WebBrowser1;
    QLabel *Label1;
    QLabel *Picture3;
    QTimer *Timer1;
};
