#pragma once
// The completed window: every playlist entry by file name, the played ones selected.

#include <QWidget>

class ListBox;
class QLabel;
class QPushButton;

class Form4 : public QWidget {
    Q_OBJECT
public:
    static inline const QString kCaption = QStringLiteral("Ολοκληρωμένα - Completed");

    explicit Form4(QWidget *parent = nullptr);

    ListBox *List1;
    QPushButton *Command1;
    QLabel *Label2;
    QLabel *Label3;
    // Time left for the whole playlist.
    QLabel *Label4;

signals:
    // The frame's close box: treated like the "X" button, the window is only hidden.
    void closeRequested();
    // About to be seen: its rows are built on demand.
    void aboutToShow();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
