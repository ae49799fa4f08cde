#pragma once
// A sorted list box as the program's lists need it: rows kept in case-insensitive order,
// whole-row lookup without regard to case in logarithmic time, a current index that code
// can set without running any handler, and multiple selection (or check boxes standing
// for the selection).

#include <QAbstractListModel>
#include <QListView>
#include <vector>

class ListBoxModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    int insertSorted(const QString &text);
    // Merges rows in at their sorted places in one step, keeping every check.
    void insertSortedMany(std::vector<QString> rows);
    void setAll(std::vector<QString> rows);
    void removeAt(int row);
    void clearAll();
    int findExact(const QString &text) const;
    const QString &at(int row) const { return m_rows[size_t(row)]; }

    bool checkable = false;
    bool isChecked(int row) const { return m_checked[size_t(row)] != 0; }
    void setChecked(int row, bool on);

private:
    std::vector<QString> m_rows;
    std::vector<char> m_checked;
};

class ListBox : public QListView {
    Q_OBJECT
public:
    // Rows equal without regard to case have equal keys.
    static QString foldKey(const QString &text);

    enum class Selection { Extended, Checks };
    explicit ListBox(Selection mode = Selection::Extended, QWidget *parent = nullptr);

    int count() const { return m_model->rowCount(); }
    QString text(int row) const;
    // Text of the current row, "" without one.
    QString currentText() const;

    // Adds at the sorted place and returns the new row's index.
    int addItem(const QString &text);
    void removeItem(int row);
    void clear();
    // Replaces every row at once (sorted here), far cheaper than adding one by one.
    void setItems(std::vector<QString> rows);
    // Adds many rows in one step; checks stay and the current row stays on its entry.
    void addItems(std::vector<QString> rows);

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

    // The horizontal scroll bar for rows wider than the box.
    void enableHorizontalScroll();

signals:
    // The user (mouse or keyboard) moved the current row.
    void userClicked();
    void userDoubleClicked();

private:
    void onCurrentChanged();

    ListBoxModel *m_model;
    Selection m_mode;
    bool m_settingInCode = false;
};
