#pragma once
// The about window: a picture, a blinking link to the maker's page and an OK button.

#include <QLabel>
#include <QWidget>

class QGroupBox;
class QPushButton;
class QTextBrowser;
class QTimer;

// A label that reports clicks, for the link.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};

class Form3 : public QWidget {
    Q_OBJECT
public:
    explicit Form3(QWidget *parent = nullptr);

    QGroupBox *Frame3;
    QPushButton *Command1;
    QTextBrowser *WebBrowser1;
    ClickLabel *Label1;
    QLabel *Picture3;
    QTimer *Timer1;
};
