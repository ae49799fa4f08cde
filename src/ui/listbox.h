#pragma once
// A sorted list box as the program's lists need it: rows kept in alphabetical order,
// whole-row lookup without regard to case in logarithmic time, a current index that code
// can set without running any handler, and multiple selection (or check boxes standing
// for the selection).

#include "ui/listbox_model.h"

#include <QListView>
#include <vector>

class ListBox : public QListView {
    Q_OBJECT
public:
    enum class Selection { Extended, Checks };
    explicit ListBox(Selection mode = Selection::Extended, QWidget *parent = nullptr);

    int count() const { return m_model->rowCount(); }
    // Check boxes stand for the selection.
    bool checkBoxes() const { return m_mode == Selection::Checks; }
    QString text(int row) const;
    // Text of the current row, "" without one.
    QString currentText() const;

    // Adds at the sorted place and returns the new row's index.
    int addItem(const QString &text);
    void removeItem(int row);
    void clear();
    // Replaces every row at once (sorted here), far cheaper than adding one by one; returns,
    // for each row, which of the given rows it is.
    std::vector<int> setItems(QStringList rows);
    // Adds many rows in one step; checks, selection and the current row stay on their entries.
    void addItems(QStringList rows);
    // Every row's text, shared with the box: no copy is made until one side changes.
    const QStringList &items() const;
    // Removes the rows whose flag is not set; the others keep selection and current row.
    void keepItems(const std::vector<char> &keep);

    // Index of the row equal to text without regard to case, or -1.
    int findExact(const QString &text) const;

    int listIndex() const;
    // Makes row current (-1: none). Runs no handler; callers run the click handling.
    void setListIndex(int row);

    bool isSelected(int row) const;
    void setSelected(int row, bool on);
    void clearSelection();
    // Selects exactly the given rows in one step.
    void selectOnly(const std::vector<int> &rows);

    // The horizontal scroll bar for rows wider than the box; rows are never cut short.
    void enableHorizontalScroll();
    // Draws the entry's row bold after a "▶" and lets its accessible name say it plays
    // wherever the cursor goes; "" marks none.
    void setPlayingEntry(const QString &entry);

signals:
    // The user (mouse or keyboard) moved the current row.
    void userClicked();
    void userDoubleClicked();

protected:
    void changeEvent(QEvent *event) override;

private:
    void onCurrentChanged();
    void measureRows();
    std::vector<int> selectedRows() const;
    // Puts selection and current row back after the rows moved (moved[old] = new, -1: gone).
    void followMoves(const std::vector<int> &moved, const std::vector<int> &selected, int current);

    ListBoxModel *m_model;
    Selection m_mode;
    bool m_settingInCode = false;
    bool m_wholeRows = false;
};
